#include "document_import.h"

#include <uuid/uuid.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <set>
#include <utility>
#include <vector>

#include "import_layout.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace kvad::host {
namespace {

// Line type of a description line, which carries no VAT code.
constexpr std::int32_t kDescriptionLine = 2;

std::string N(std::int64_t value) {
    return std::to_string(value);
}

Variant Scalar(Connection& db, const std::string& sql) {
    auto rs = db.Query(sql);
    return rs->Eof() ? Variant::Null() : rs->Value(0);
}

std::int32_t WholeOrZero(const Variant& value) {
    return value.IsBlank() ? 0 : value.ToLong();
}

// The order id of a filter "IE91_ID = <number>", blanks allowed around its parts.
std::int32_t OrderId(const std::string& filter) {
    const std::string text = Trim(filter);
    const std::string name = "IE91_ID";
    std::size_t i = name.size();
    auto refuse = [&]() -> std::int32_t {
        throw ImportRefusal(outcome::kBadFilter,
                            "Filtro '" + filter + "' non valido: atteso IE91_ID = <numero>");
    };
    if (text.size() <= i || !EqualsNoCase(text.substr(0, i), name)) {
        return refuse();
    }
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    if (i >= text.size() || text[i] != '=') {
        return refuse();
    }
    const std::string digits = Trim(text.substr(i + 1));
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
        return refuse();
    }
    return static_cast<std::int32_t>(std::stol(digits));
}

std::string NewGuid() {
    uuid_t id;
    ::uuid_generate(id);
    std::array<char, 37> text{};
    ::uuid_unparse_upper(id, text.data());
    return text.data();
}

// What a run reads and checks before it writes.
struct Order {
    std::int32_t id = 0;
    std::int32_t company = 0;
    std::string documentCode;
    std::string section;
    DateTime date;
};

Order ReadOrder(Connection& db, const ImportLayout& layout, std::int32_t id) {
    auto h = db.Query("SELECT * FROM IE93_NSOTESTATA INNER JOIN IE91_NSOFILES ON IE91_ID = "
                      "IE93_ID_IE91 WHERE IE93_ID_IE91 = " +
                      N(id));
    if (h->Eof()) {
        throw ImportRefusal(outcome::kNotDecoded,
                            "L'ordine " + N(id) + " non è stato decodificato");
    }
    auto value = [&](const char* column) { return h->Value(layout.SourceOf(column)); };
    Order order;
    order.id = id;
    order.company = h->Value("IE91_DITTA_CG18").ToLong();

    const std::int32_t kind = WholeOrZero(value("DO11_TIPOCF_CG44"));
    const std::int32_t customer = WholeOrZero(value("DO11_CLIFOR_CG44"));
    if (customer == 0) {
        throw ImportRefusal(outcome::kNoCustomer, "Cliente mancante: l'ordine non è associato a "
                                                  "un cliente dell'anagrafica");
    }
    if (Scalar(db, "SELECT COUNT(*) FROM CG44_CLIFOR WHERE CG44_DITTA_CG18 = " + N(order.company) +
                       " AND CG44_TIPOCF = " + N(kind) + " AND CG44_CLIFOR = " + N(customer))
            .ToLong() == 0) {
        throw ImportRefusal(outcome::kNoCustomer, "Cliente " + N(customer) +
                                                      " non presente in anagrafica per la ditta " +
                                                      N(order.company));
    }
    order.documentCode = RightTrim(value("DO11_DOCUM_MG36").Text());
    if (order.documentCode.empty()) {
        throw ImportRefusal(outcome::kNoDocumentCode, "Codice documento mancante");
    }
    if (db.Query("SELECT 1 FROM MG3G_DOCDITTA WHERE MG3G_DITTA_CG18 = " + N(order.company) +
                 " AND MG3G_CODDOCUM_MG36 = " + SqlQuoted(order.documentCode))
            ->Eof()) {
        throw ImportRefusal(outcome::kNoDocumentCode, "Codice documento " + order.documentCode +
                                                          " non previsto per la ditta " +
                                                          N(order.company));
    }
    order.section = RightTrim(value("DO11_SEZDOC").Text());
    if (order.section.empty()) {
        throw ImportRefusal(outcome::kNoSection, "Sezionale del documento mancante");
    }
    const Variant date = value("DO11_DATADOC");
    if (date.IsBlank()) {
        throw ImportRefusal(outcome::kNoDate, "Data del documento mancante");
    }
    order.date = date.ToDate().DateOnly();
    return order;
}

void CheckLines(Connection& db, const ImportLayout& layout, const Order& order) {
    auto lines = db.Query("SELECT * FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " + N(order.id) +
                          " ORDER BY IE95_DO30_PROGRIGA");
    if (lines->Eof()) {
        throw ImportRefusal(outcome::kBadLines, "L'ordine non ha righe da importare");
    }
    const std::string vat = layout.SourceOf("DO30_ALIVA_CG28");
    const std::string type = layout.SourceOf("DO30_INDTIPORIGA");
    std::set<std::int32_t> numbers;
    for (; !lines->Eof(); lines->MoveNext()) {
        const Variant number = lines->Value("IE95_DO30_PROGRIGA");
        if (number.IsBlank()) {
            throw ImportRefusal(outcome::kBadLines, "Una riga dell'ordine non ha numero");
        }
        const std::int32_t line = number.ToLong();
        if (!numbers.insert(line).second) {
            throw ImportRefusal(outcome::kBadLines,
                                "La riga " + N(line) + " compare più volte nell'ordine");
        }
        const bool description =
            !type.empty() && WholeOrZero(lines->Value(type)) == kDescriptionLine;
        if (!vat.empty() && !description && lines->Value(vat).IsBlank()) {
            throw ImportRefusal(outcome::kNoVatCode, "Riga " + N(line) + ": codice IVA mancante");
        }
    }
}

// An ERP document already made from the same NSO order refuses the run.
void CheckNotImported(Connection& db, const ImportLayout& layout, const Order& order) {
    auto same = [&](const char* column) {
        return "ISNULL(" + std::string(column) + ", '') = ISNULL(" + layout.SourceOf(column) +
               ", '')";
    };
    auto document = db.Query(
        "SELECT TOP 1 DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC FROM "
        "IE93_NSOTESTATA INNER JOIN DO12_DOCTESTARIF ON DO12_DITTA_CG18 = " +
        N(order.company) + " AND " + same("DO12_FEIDDOC") + " AND " + same("DO12_FEDATADOC") +
        " AND " + same("DO12_FEIDSOGGETTO") +
        " INNER JOIN DO11_DOCTESTATA ON DO11_DITTA_CG18 = DO12_DITTA_CG18 AND DO11_NUMREG_CO99 "
        "= DO12_NUMREG_CO99 WHERE IE93_ID_IE91 = " +
        N(order.id));
    if (document->Eof()) {
        return;
    }
    const Variant date = document->Value("DO11_DATADOC");
    throw ImportRefusal(outcome::kAlreadyImported,
                        "Ordine già importato nel documento " +
                            RightTrim(document->Value("DO11_DOCUM_MG36").Text()) + " " +
                            RightTrim(document->Value("DO11_SEZDOC").Text()) + "/" +
                            document->Value("DO11_NUMDOC").Text() +
                            (date.IsBlank() ? "" : " del " + date.ToDate().DateOnly().ToText()));
}

// The next number of a counter row: after the counter's last number and after the highest
// number the documents already carry, so that documents made elsewhere are never numbered
// twice. `where` selects the counter row, `highest` reads the documents' highest number.
std::int32_t NextNumber(Connection& db, const std::string& table, const std::string& column,
                        const std::string& where, const std::string& highest,
                        const std::string& insertColumns, const std::string& insertValues) {
    const Variant last = Scalar(db, "SELECT " + column + " FROM " + table + " WHERE " + where);
    const std::int32_t next =
        std::max(last.IsBlank() ? 0 : last.ToLong(), WholeOrZero(Scalar(db, highest))) + 1;
    if (last.IsNull()) {
        db.Execute("INSERT INTO " + table + " (" + insertColumns + ", " + column + ") VALUES (" +
                   insertValues + ", " + N(next) + ")");
    } else {
        db.Execute("UPDATE " + table + " SET " + column + " = " + N(next) + " WHERE " + where);
    }
    return next;
}

// What a layout field writes: its decoded column, or, when that column holds the SQL literal of
// a text, the text itself between quotes (NULL for no text). Only header columns hold literals.
std::string SourceValue(Connection& db, const LayoutField& field, std::int32_t id) {
    if (!field.sourceIsLiteral) {
        return field.source;
    }
    const Variant literal = Scalar(db, "SELECT " + field.source +
                                           " FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + N(id));
    const std::string text = literal.IsNull() ? std::string() : TextOfSqlLiteral(literal.Text());
    return text.empty() ? "NULL" : SqlQuoted(text);
}

// INSERT ... SELECT of one ERP table: the object's own columns, then the layout's columns read
// from the decoded rows of the order. The own values come from the counter rows just written
// (`joins`), so that every value of the statement is compared with a column and its text is
// the same for every order: one translation and one prepared statement serve them all.
void Insert(Connection& db, const ImportLayout& layout, const std::string& table,
            const std::vector<std::pair<std::string, std::string>>& own, const std::string& joins,
            bool lines, std::int32_t id) {
    std::string columns;
    std::string values;
    for (const auto& [column, value] : own) {
        columns += (columns.empty() ? "" : ", ") + column;
        values += (values.empty() ? "" : ", ") + value;
    }
    for (const LayoutField& field : layout.FieldsOf(table)) {
        columns += ", " + field.column;
        values += ", " + SourceValue(db, field, id);
    }
    db.Execute("INSERT INTO " + table + " (" + columns + ") SELECT " + values + " FROM " +
               (lines ? "IE95_NSOCORPO" : "IE93_NSOTESTATA") + joins + " WHERE " +
               (lines ? "IE95_ID_IE91 = " : "IE93_ID_IE91 = ") + N(id));
}

void WriteDocument(Connection& db, const ImportLayout& layout, const Order& order) {
    const std::string company = N(order.company);
    const std::int32_t registration = NextNumber(
        db, "CO99_NUMREG", "CO99_ULTIMO", "CO99_DITTA_CG18 = " + company,
        "SELECT MAX(DO11_NUMREG_CO99) FROM DO11_DOCTESTATA WHERE DO11_DITTA_CG18 = " + company,
        "CO99_DITTA_CG18", company);
    const std::string code = SqlQuoted(order.documentCode);
    const std::string section = SqlQuoted(order.section);
    const std::string year = N(order.date.year);
    const std::string counter = "DO10_DITTA_CG18 = " + company + " AND DO10_DOCUM_MG36 = " + code +
                                " AND DO10_SEZDOC = " + section + " AND DO10_ANNODOC = " + year;
    NextNumber(db, "DO10_NUMERAZIONE", "DO10_ULTIMO", counter,
               "SELECT MAX(DO11_NUMDOC) FROM DO11_DOCTESTATA WHERE DO11_DITTA_CG18 = " + company +
                   " AND DO11_DOCUM_MG36 = " + code + " AND DO11_SEZDOC = " + section +
                   " AND DO11_ANNODOC = " + year,
               "DO10_DITTA_CG18, DO10_DOCUM_MG36, DO10_SEZDOC, DO10_ANNODOC",
               company + ", " + code + ", " + section + ", " + year);
    // The company and the registration number are the registration counter's row, the
    // document's number and year the document counter's row.
    const std::string registrationRow = " INNER JOIN CO99_NUMREG ON CO99_DITTA_CG18 = " + company;

    Insert(db, layout, "DO11_DOCTESTATA",
           {{"DO11_DITTA_CG18", "CO99_DITTA_CG18"},
            {"DO11_NUMREG_CO99", "CO99_ULTIMO"},
            {"DO11_NUMDOC", "DO10_ULTIMO"},
            {"DO11_ANNODOC", "DO10_ANNODOC"}},
           registrationRow + " INNER JOIN DO10_NUMERAZIONE ON " + counter, false, order.id);
    db.Execute("UPDATE DO11_DOCTESTATA SET DO11_GUID = " + SqlQuoted(NewGuid()) +
               " WHERE DO11_DITTA_CG18 = " + company +
               " AND DO11_NUMREG_CO99 = " + N(registration));
    for (const char* table : {"DO12_DOCTESTARIF", "DO13_DOCPIEDE"}) {
        const std::string prefix = std::string(table).substr(0, 4);
        Insert(
            db, layout, table,
            {{prefix + "_DITTA_CG18", "CO99_DITTA_CG18"}, {prefix + "_NUMREG_CO99", "CO99_ULTIMO"}},
            registrationRow, false, order.id);
    }
    for (const char* table : kLineTables) {
        const std::string prefix = std::string(table).substr(0, 4);
        Insert(db, layout, table,
               {{prefix + "_DITTA_CG18", "CO99_DITTA_CG18"},
                {prefix + "_NUMREG_CO99", "CO99_ULTIMO"},
                {prefix + "_PROGRIGA", "IE95_DO30_PROGRIGA"}},
               registrationRow, true, order.id);
    }
}

} // namespace

void StandInDocumentImport::Run() {
    code_ = 0;
    text_.clear();
    try {
        if (!connection_) {
            throw ImportRefusal(outcome::kNoConnection, "Connessione al database non impostata");
        }
        Connection& db = *connection_;
        const std::int32_t id = OrderId(filter_);
        const ImportLayout layout = LoadImportLayout(db, layout_);
        const Order order = ReadOrder(db, layout, id);
        CheckLines(db, layout, order);
        CheckNotImported(db, layout, order);

        // Nested in the caller's transaction when it holds one: a failure takes back only what
        // this run wrote.
        TransactionScope transaction(db);
        WriteDocument(db, layout, order);
        transaction.Commit();
    } catch (const ImportRefusal& refusal) {
        code_ = refusal.Code();
        text_ = refusal.what();
    }
}

} // namespace kvad::host
