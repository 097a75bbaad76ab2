#include "host/master_data.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "csv_reader.h"
#include "demo_master_files.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "kvad_nso/variant.h"
#include "master_cells.h"
#include "text_encoding.h"

namespace kvad::host {
namespace {

// The values of one row by field name; a field the file does not have is absent.
using Row = std::map<std::string, Variant>;

class Writer;

struct Definition {
    MasterKind info;
    std::vector<Field> fields;
    std::function<void(Writer&, const Row&, std::size_t line)> write;
    // The listing: a query whose columns are the fields in order ({company} replaced).
    std::string list;
};

std::string Literal(const Variant& value) {
    if (const std::string* text = value.AsString()) {
        return "'" + ReplaceAll(*text, "'", "''") + "'";
    }
    return value.Text();
}

// Writes rows for one company through working recordsets, so that values travel as bound
// parameters.
class Writer {
  public:
    Writer(Connection& db, std::int32_t company, std::string file)
        : db_(db), company_(company), file_(std::move(file)) {}

    [[nodiscard]] Connection& Db() { return db_; }
    [[nodiscard]] std::int32_t Company() const { return company_; }

    /// Adds or updates the row of `table` with these key values.
    void Upsert(const std::string& table, const std::vector<std::pair<std::string, Variant>>& key,
                const std::vector<std::pair<std::string, Variant>>& values) {
        std::string where;
        for (const auto& [column, value] : key) {
            where += (where.empty() ? " WHERE " : " AND ") + column + " = " + Literal(value);
        }
        auto rs = db_.OpenRecordset("SELECT * FROM " + table + where);
        if (rs->Eof()) {
            rs->AddNew();
            for (const auto& [column, value] : key) {
                rs->SetValue(column, value);
            }
        }
        for (const auto& [column, value] : values) {
            rs->SetValue(column, value);
        }
        rs->Update();
    }

    /// The master record of customer `code`, or Null when the company has no such customer.
    [[nodiscard]] Variant CustomerRecord(const Variant& code) {
        auto rs = db_.Query("SELECT CG44_CODICE_CG16 FROM CG44_CLIFOR WHERE CG44_DITTA_CG18 = " +
                            std::to_string(company_) +
                            " AND CG44_TIPOCF = 0 AND CG44_CLIFOR = " + Literal(code));
        return rs->Eof() ? Variant::Null() : rs->Value(0);
    }

    void RequireCustomer(const Variant& code, std::size_t line) {
        if (CustomerRecord(code).IsNull()) {
            throw MasterDataError(file_, line, "customer",
                                  "unknown customer " + code.Text() +
                                      " (load it with the customers first)");
        }
    }

    void RequireItem(const Variant& code, std::size_t line) {
        auto rs = db_.Query("SELECT 1 FROM MG66_ANAGRART WHERE MG66_DITTA_CG18 = " +
                            std::to_string(company_) + " AND MG66_CODART = " + Literal(code));
        if (rs->Eof()) {
            throw MasterDataError(file_, line, "item",
                                  "unknown item " + code.Text() +
                                      " (load it with the items first)");
        }
    }

  private:
    Connection& db_;
    std::int32_t company_;
    std::string file_;
};

// The columns of a row that go to the kind's table, by the fields' column names.
std::vector<std::pair<std::string, Variant>> Columns(const std::vector<Field>& fields,
                                                     const Row& row, bool key) {
    std::vector<std::pair<std::string, Variant>> out;
    for (const Field& f : fields) {
        const auto found = row.find(f.name);
        if (f.key == key && *f.column != '\0' && found != row.end()) {
            out.emplace_back(f.column, found->second);
        }
    }
    return out;
}

// A writer for kinds kept in one table of the company (with fixed columns such as the kind of
// customer).
auto TableWriter(std::string table, std::string companyColumn,
                 std::vector<std::pair<std::string, Variant>> fixed, std::vector<Field> fields) {
    return [table = std::move(table), companyColumn = std::move(companyColumn),
            fixed = std::move(fixed),
            fields = std::move(fields)](Writer& w, const Row& row, std::size_t) {
        std::vector<std::pair<std::string, Variant>> key;
        if (!companyColumn.empty()) {
            key.emplace_back(companyColumn, w.Company());
        }
        key.insert(key.end(), fixed.begin(), fixed.end());
        const auto keys = Columns(fields, row, true);
        key.insert(key.end(), keys.begin(), keys.end());
        w.Upsert(table, key, Columns(fields, row, false));
    };
}

void WriteCustomer(Writer& w, const Row& row, std::size_t /*line*/) {
    const Variant& code = row.at("customer");
    Variant record = row.contains("master") ? row.at("master") : Variant::Null();
    if (record.IsNull()) {
        record = w.CustomerRecord(code);
    }
    if (record.IsNull()) {
        auto rs = w.Db().Query("SELECT MAX(CG16_CODICE) FROM CG16_ANAGRAFICA");
        const Variant last = rs->Value(0);
        record = (last.IsNull() ? 0 : last.ToLong()) + 1;
    }
    std::vector<std::pair<std::string, Variant>> master;
    for (const auto& [name, column] : std::initializer_list<std::pair<const char*, const char*>>{
             {"name", "CG16_RAGSOC"},
             {"vat_number", "CG16_PARTIVA"},
             {"fiscal_code", "CG16_CODFISCALE"},
             {"valid", "CG16_FLGANAGVAL"},
             {"valid_from", "CG16_DATAINIZIOVAL"},
             {"valid_to", "CG16_DATAFINEVAL"}}) {
        if (row.contains(name)) {
            master.emplace_back(column, row.at(name));
        }
    }
    w.Upsert("CG16_ANAGRAFICA", {{"CG16_CODICE", record}}, master);
    w.Upsert(
        "CG44_CLIFOR",
        {{"CG44_DITTA_CG18", w.Company()}, {"CG44_TIPOCF", std::int16_t{0}}, {"CG44_CLIFOR", code}},
        {{"CG44_CODICE_CG16", record}});
    if (row.contains("dismissed")) {
        w.Upsert("MG19_CLIFORVA",
                 {{"MG19_DITTA_CG18", w.Company()},
                  {"MG19_TIPOCF_CG44", std::int16_t{0}},
                  {"MG19_CLIFOR_CG44", code}},
                 {{"MG19_DATADISMIS", row.at("dismissed")}});
    }
}

const std::vector<Field> kOfficeFields = {
    {"office", "CG1M_CODICE", Form::Text, 50, true, true, "IPA code of the office"},
    {"customer", "", Form::Code, 0, true, true, "the customer whose master record it belongs to"},
    {"name", "CG1M_NOME", Form::Text, 60, false, false, "name of the office"},
    {"address", "CG1M_INDIRIZZO", Form::Text, 40, false, false, "street and number"},
    {"city", "CG1M_COMUNE", Form::Text, 40, false, false, "town"},
    {"postal_code", "CG1M_CAP", Form::Text, 10, false, false, "postal code"},
};

void WriteOffice(Writer& w, const Row& row, std::size_t line) {
    w.RequireCustomer(row.at("customer"), line);
    const Variant record = w.CustomerRecord(row.at("customer"));
    w.Upsert("CG1M_UFFICIOPA",
             {{"CG1M_CODICE_CG16", record},
              {"CG1M_TIPOCF_CG44", std::int16_t{0}},
              {"CG1M_CODICE", row.at("office")}},
             Columns(kOfficeFields, row, false));
}

const std::vector<Field> kDestinationFields = {
    {"customer", "MG22_CLIFOR_CG44", Form::Code, 0, true, true, "the customer"},
    {"destination", "MG22_CODDESTIN", Form::Text, 10, true, true, "destination code"},
    {"name", "MG22_DESTRAGSOC", Form::Text, 200, false, false,
     "name of the destination (searched when the delivery location is not known)"},
    {"address", "MG22_INDIRIZZO", Form::Text, 200, false, false, "street and number"},
    {"city", "MG22_COMUNE", Form::Text, 100, false, false, "town"},
    {"postal_code", "MG22_CAP", Form::Text, 10, false, false, "postal code"},
    {"delivery_location", "MG22_IDDELIVERYLOCATIONNSO", Form::Text, 100, false, false,
     "the delivery-location id that NSO orders give for it"},
};

const std::vector<Field> kItemFields = {
    {"item", "MG66_CODART", Form::Text, 50, true, true,
     "item code (orders give it as the seller's item id)"},
    {"description", "MG66_DESCART", Form::Text, 200, false, false, "description"},
    {"vat_code", "MG66_ALIVA_CG28", Form::Text, 10, false, false, "VAT code"},
    {"standard_id", "MG66_AICMINSANNSO", Form::Text, 100, false, false,
     "standard item id of NSO orders (GTIN, AIC, ministerial code)"},
};

const std::vector<Field> kCustomerItemFields = {
    {"customer", "MG73_CLIFOR_CG44", Form::Code, 0, true, true, "the customer"},
    {"customer_code", "MG73_ARTCLIFOR", Form::Text, 100, true, true,
     "the customer's own code for the item"},
    {"item", "MG73_CODART_MG66", Form::Text, 50, false, true, "the item"},
    {"option", "MG73_OPZIONE_MG5E", Form::Option, 20, false, false, "the item's option"},
};

const std::vector<Field> kDescriptionFields = {
    {"item", "MG87_CODART_MG66", Form::Text, 50, true, true, "the item"},
    {"option", "MG87_OPZIONE_MG5E", Form::Option, 20, true, false, "the item's option"},
    {"description", "MG87_DESCART", Form::Text, 4000, true, true,
     "a description that orders give for it"},
};

const std::vector<Field> kVatFields = {
    {"code", "CG28_CODICE", Form::Text, 10, true, true,
     "VAT code (orders give the tax category: S, Z, E, AE, ...)"},
    {"description", "CG28_DESCRIZIONE", Form::Text, 100, false, false, "description"},
    {"rate", "CG28_ALIQUOTA", Form::Number, 0, false, false, "rate in percent"},
};

const std::vector<Field> kCurrencyFields = {
    {"code", "CG08_CODICE", Form::Text, 10, true, true, "ERP currency code"},
    {"iso", "CG08_SIGLA", Form::Currency, 3, false, true, "ISO code (EUR)"},
    {"description", "CG08_DESCRIZIONE", Form::Text, 100, false, false, "description"},
};

const std::vector<Field> kDocumentFields = {
    {"document", "MG3G_CODDOCUM_MG36", Form::Text, 10, true, true, "document code"},
    {"description", "MG3G_DESCRIZIONE", Form::Text, 100, false, false, "description"},
    {"section", "MG3G_SEZDEFAULT", Form::Text, 10, false, false, "default section"},
    {"warehouse", "MG3G_DEPDEFAULT_MG58", Form::Text, 10, false, false, "default warehouse"},
};

const std::vector<Field> kCustomerFields = {
    {"customer", "", Form::Code, 0, true, true, "customer code"},
    {"master", "", Form::Code, 0, false, false,
     "master record (shared by the companies); default: the customer's own, or a new one"},
    {"name", "", Form::Text, 200, false, false, "company name"},
    {"vat_number", "", Form::Vat, 11, false, false, "VAT number (11 digits, \"IT\" allowed)"},
    {"fiscal_code", "", Form::FiscalCode, 16, false, false,
     "fiscal code (16 characters or 11 digits)"},
    {"valid", "", Form::Flag, 0, false, false, "1 valid master record (the default), 0 not"},
    {"valid_from", "", Form::Date, 0, false, false, "first day of validity"},
    {"valid_to", "", Form::Date, 0, false, false, "last day of validity"},
    {"dismissed", "", Form::Date, 0, false, false, "no longer used from this day"},
};

MasterKind Info(const char* name, const char* meaning, const std::vector<Field>& fields) {
    MasterKind info{name, meaning, {}};
    for (const Field& f : fields) {
        info.columns.push_back({f.name, f.key, Mandatory(f), f.meaning});
    }
    return info;
}

const std::vector<Definition>& Definitions() {
    static const std::vector<Definition> definitions = [] {
        std::vector<Definition> d;
        const auto customerWriter = [](auto inner) {
            return [inner](Writer& w, const Row& row, std::size_t line) {
                w.RequireCustomer(row.at("customer"), line);
                inner(w, row, line);
            };
        };
        const auto itemWriter = [](auto inner) {
            return [inner](Writer& w, const Row& row, std::size_t line) {
                w.RequireItem(row.at("item"), line);
                inner(w, row, line);
            };
        };
        d.push_back({Info("vat-codes", "VAT codes", kVatFields), kVatFields,
                     TableWriter("CG28_TABCODIVA", "", {}, kVatFields),
                     "SELECT CG28_CODICE, CG28_DESCRIZIONE, CG28_ALIQUOTA FROM CG28_TABCODIVA "
                     "ORDER BY CG28_CODICE"});
        d.push_back({Info("currencies", "currencies with their ISO code", kCurrencyFields),
                     kCurrencyFields, TableWriter("CG08_TABVALUTE", "", {}, kCurrencyFields),
                     "SELECT CG08_CODICE, CG08_SIGLA, CG08_DESCRIZIONE FROM CG08_TABVALUTE "
                     "ORDER BY CG08_CODICE"});
        d.push_back(
            {Info("document-defaults", "document codes with their default section and warehouse",
                  kDocumentFields),
             kDocumentFields, TableWriter("MG3G_DOCDITTA", "MG3G_DITTA_CG18", {}, kDocumentFields),
             "SELECT MG3G_CODDOCUM_MG36, MG3G_DESCRIZIONE, MG3G_SEZDEFAULT, "
             "MG3G_DEPDEFAULT_MG58 FROM MG3G_DOCDITTA WHERE MG3G_DITTA_CG18 = {company} "
             "ORDER BY MG3G_CODDOCUM_MG36"});
        d.push_back(
            {Info("customers", "customers with their master record, validity and dismissal",
                  kCustomerFields),
             kCustomerFields, WriteCustomer,
             "SELECT CG44_CLIFOR, CG44_CODICE_CG16, CG16_RAGSOC, CG16_PARTIVA, CG16_CODFISCALE, "
             "CG16_FLGANAGVAL, CG16_DATAINIZIOVAL, CG16_DATAFINEVAL, MG19_DATADISMIS "
             "FROM CG44_CLIFOR "
             "INNER JOIN CG16_ANAGRAFICA ON CG16_CODICE = CG44_CODICE_CG16 "
             "LEFT OUTER JOIN MG19_CLIFORVA ON MG19_DITTA_CG18 = CG44_DITTA_CG18 AND "
             "MG19_TIPOCF_CG44 = CG44_TIPOCF AND MG19_CLIFOR_CG44 = CG44_CLIFOR "
             "WHERE CG44_DITTA_CG18 = {company} AND CG44_TIPOCF = 0 ORDER BY CG44_CLIFOR"});
        d.push_back({Info("offices", "public-administration offices (IPA codes) of the customers",
                          kOfficeFields),
                     kOfficeFields, WriteOffice,
                     "SELECT CG1M_CODICE, CG44_CLIFOR, CG1M_NOME, CG1M_INDIRIZZO, CG1M_COMUNE, "
                     "CG1M_CAP FROM CG1M_UFFICIOPA "
                     "INNER JOIN CG44_CLIFOR ON CG44_CODICE_CG16 = CG1M_CODICE_CG16 AND "
                     "CG44_TIPOCF = CG1M_TIPOCF_CG44 "
                     "WHERE CG44_DITTA_CG18 = {company} ORDER BY CG1M_CODICE, CG44_CLIFOR"});
        d.push_back(
            {Info("destinations", "delivery destinations of the customers, with their NSO location",
                  kDestinationFields),
             kDestinationFields,
             customerWriter(TableWriter("MG22_CLIFORDEST", "MG22_DITTA_CG18",
                                        {{"MG22_TIPOCF_CG44", std::int16_t{0}}},
                                        kDestinationFields)),
             "SELECT MG22_CLIFOR_CG44, MG22_CODDESTIN, MG22_DESTRAGSOC, MG22_INDIRIZZO, "
             "MG22_COMUNE, MG22_CAP, MG22_IDDELIVERYLOCATIONNSO FROM MG22_CLIFORDEST "
             "WHERE MG22_DITTA_CG18 = {company} AND MG22_TIPOCF_CG44 = 0 "
             "ORDER BY MG22_CLIFOR_CG44, MG22_CODDESTIN"});
        d.push_back({Info("items", "items with their standard id", kItemFields), kItemFields,
                     TableWriter("MG66_ANAGRART", "MG66_DITTA_CG18", {}, kItemFields),
                     "SELECT MG66_CODART, MG66_DESCART, MG66_ALIVA_CG28, MG66_AICMINSANNSO "
                     "FROM MG66_ANAGRART WHERE MG66_DITTA_CG18 = {company} ORDER BY MG66_CODART"});
        d.push_back(
            {Info("customer-items", "the customers' own codes for items", kCustomerItemFields),
             kCustomerItemFields,
             customerWriter(itemWriter(TableWriter("MG73_ARTCLIFOR", "MG73_DITTA_CG18",
                                                   {{"MG73_TIPOCF_CG44", std::int16_t{0}}},
                                                   kCustomerItemFields))),
             "SELECT MG73_CLIFOR_CG44, MG73_ARTCLIFOR, MG73_CODART_MG66, "
             "MG73_OPZIONE_MG5E FROM MG73_ARTCLIFOR WHERE MG73_DITTA_CG18 = {company} "
             "AND MG73_TIPOCF_CG44 = 0 ORDER BY MG73_CLIFOR_CG44, MG73_ARTCLIFOR"});
        d.push_back(
            {Info("item-descriptions", "descriptions by which orders name items",
                  kDescriptionFields),
             kDescriptionFields,
             itemWriter(TableWriter("MG87_ARTDESC", "MG87_DITTA_CG18", {}, kDescriptionFields)),
             "SELECT MG87_CODART_MG66, MG87_OPZIONE_MG5E, MG87_DESCART FROM "
             "MG87_ARTDESC WHERE MG87_DITTA_CG18 = {company} "
             "ORDER BY MG87_CODART_MG66, MG87_OPZIONE_MG5E, MG87_ID"});
        return d;
    }();
    return definitions;
}

const Definition& Find(const std::string& kind) {
    for (const Definition& d : Definitions()) {
        if (d.info.name == kind) {
            return d;
        }
    }
    std::string names;
    for (const Definition& d : Definitions()) {
        names += (names.empty() ? "" : ", ") + d.info.name;
    }
    throw std::invalid_argument("unknown kind of master data '" + kind + "' (kinds: " + names +
                                ")");
}

std::string Cell(const Variant& value) {
    if (value.Type() == VarType::Date) {
        return value.ToDate().DateOnly().ToText();
    }
    return value.Text();
}

// The rows of a file of one kind, each read and checked as it comes: the header first (every
// column known, none twice, the key and required columns present), then row by row, so that a
// large file is never held as rows.
class RowReader {
  public:
    RowReader(const Definition& definition, std::string_view text, std::string file)
        : definition_(definition), csv_(text), file_(std::move(file)) {
        ReadHeader();
    }

    /// The next row and the line it starts on; false at the end. Throws MasterDataError.
    bool Next(std::size_t& line, Row& row) {
        CsvRecord record;
        if (!NextRecord(record)) {
            return false;
        }
        line = record.line;
        RequireFieldCount(record);
        row = DefaultRow();
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            row[fields_[i]->name] = ReadAt(record, i);
        }
        return true;
    }

  private:
    bool NextRecord(CsvRecord& record) {
        try {
            return csv_.Next(record);
        } catch (const CsvError& e) {
            const std::size_t field = e.Field();
            throw MasterDataError(
                file_, e.Line(),
                field >= 1 && field <= fields_.size() ? fields_[field - 1]->name : "", e.what());
        }
    }

    void ReadHeader() {
        CsvRecord header;
        if (!NextRecord(header)) {
            throw MasterDataError(file_, 1, "",
                                  "the file is empty: its first line must name the columns");
        }
        for (const std::string& name : header.fields) {
            AddColumn(header.line, name);
        }
        for (const Field& f : definition_.fields) {
            if (Mandatory(f) && std::find(fields_.begin(), fields_.end(), &f) == fields_.end()) {
                throw MasterDataError(file_, header.line, f.name,
                                      f.key ? "the key column is missing"
                                            : "the column is missing");
            }
        }
    }

    void AddColumn(std::size_t line, const std::string& name) {
        const auto& known = definition_.fields;
        const auto field = std::find_if(known.begin(), known.end(),
                                        [&](const Field& f) { return EqualsNoCase(f.name, name); });
        if (field == known.end()) {
            std::string names;
            for (const Field& f : known) {
                names += (names.empty() ? "" : ", ") + std::string(f.name);
            }
            throw MasterDataError(file_, line, name,
                                  "unknown column (" + definition_.info.name + " has " + names +
                                      ")");
        }
        if (std::find(fields_.begin(), fields_.end(), &*field) != fields_.end()) {
            throw MasterDataError(file_, line, name, "the column is named twice");
        }
        fields_.push_back(&*field);
    }

    void RequireFieldCount(const CsvRecord& record) const {
        const std::size_t count = record.fields.size();
        if (count == fields_.size()) {
            return;
        }
        throw MasterDataError(file_, record.line,
                              count < fields_.size() ? fields_[count]->name : "",
                              std::to_string(count) + " fields where the header names " +
                                  std::to_string(fields_.size()));
    }

    // A row before its cells are read: a key option the file leaves out is the empty option.
    [[nodiscard]] Row DefaultRow() const {
        Row row;
        for (const Field& f : definition_.fields) {
            if (f.key && f.form == Form::Option) {
                row[f.name] = std::string();
            }
        }
        return row;
    }

    [[nodiscard]] Variant ReadAt(const CsvRecord& record, std::size_t i) const {
        try {
            return ReadCell(*fields_[i], record.fields[i]);
        } catch (const std::invalid_argument& e) {
            throw MasterDataError(file_, record.line, fields_[i]->name, e.what());
        }
    }

    const Definition& definition_;
    CsvReader csv_;
    std::string file_;
    std::vector<const Field*> fields_; ///< the header's columns, in its order
};

// The keys of the rows read so far, to refuse a key given twice (keys compare ignoring case,
// as the database compares them).
class KeyRegister {
  public:
    KeyRegister(const Definition& definition, std::string file)
        : definition_(definition), file_(std::move(file)) {}

    void Add(std::size_t line, const Row& row) {
        std::string key;
        for (const Field& f : definition_.fields) {
            if (const auto value = row.find(f.name); f.key && value != row.end()) {
                key += AsciiUpper(value->second.Text()) + '\x1f';
            }
        }
        const auto [previous, added] = lines_.emplace(std::move(key), line);
        if (!added) {
            throw MasterDataError(file_, line, KeyColumns(),
                                  "the same key as line " + std::to_string(previous->second));
        }
    }

  private:
    [[nodiscard]] std::string KeyColumns() const {
        std::string names;
        for (const Field& f : definition_.fields) {
            if (f.key) {
                names += (names.empty() ? "" : ", ") + std::string(f.name);
            }
        }
        return names;
    }

    const Definition& definition_;
    std::string file_;
    std::map<std::string, std::size_t> lines_;
};

// The file's text in UTF-8; bytes that are not text refuse the file where they stand.
std::string ReadableText(std::string bytes, const std::string& file, const std::string& encoding) {
    try {
        return TextOfFile(std::move(bytes), encoding);
    } catch (const EncodingError& e) {
        if (e.Line() == 0) {
            throw MasterDataError(file, 0, "", e.what());
        }
        throw MasterDataError(file, e.Line(), e.Character(),
                              std::string(e.what()) +
                                  (encoding.empty()
                                       ? ": save the file as UTF-8, or name its encoding with "
                                         "--encoding (for example ISO-8859-1 or UTF-16LE)"
                                       : ": check the encoding named with --encoding"));
    }
}

// Every row is read and checked before anything is written; only the keys are kept.
void CheckRows(const Definition& definition, std::string_view text, const std::string& file) {
    RowReader rows(definition, text, file);
    KeyRegister keys(definition, file);
    std::size_t line = 0;
    for (Row row; rows.Next(line, row);) {
        keys.Add(line, row);
    }
}

// A file's bytes, refused before they are read when it is not a regular file or is too large.
std::string ReadMasterFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        throw MasterDataError(path, 0, "", "the file does not exist");
    }
    if (ec) {
        throw MasterDataError(path, 0, "", "the file cannot be read (" + ec.message() + ")");
    }
    if (!fs::is_regular_file(status)) {
        throw MasterDataError(path, 0, "", "this is not a file (a folder, a device or the like)");
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > kMaxMasterFileBytes) {
        throw MasterDataError(path, 0, "",
                              "the file has " + std::to_string(size) + " bytes, more than the " +
                                  std::to_string(kMaxMasterFileBytes / (std::size_t{1024} * 1024)) +
                                  " MiB a file of master data may have: split it into smaller "
                                  "files and load each");
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (ec || !in) {
        throw MasterDataError(path, 0, "",
                              std::string("the file cannot be read (") +
                                  std::strerror(errno != 0 ? errno : EIO) + ")");
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<std::size_t>(in.gcount())); // shorter when it shrank meanwhile
    if (in.bad()) {
        throw MasterDataError(path, 0, "", "the file cannot be read (a read error)");
    }
    return bytes;
}

} // namespace

MasterDataError::MasterDataError(const std::string& file, std::size_t line,
                                 const std::string& column, const std::string& reason)
    : std::runtime_error(file + (line == 0 ? "" : ", line " + std::to_string(line)) +
                         (column.empty() ? "" : ", column " + column) + ": " + reason),
      file_(file), line_(line), column_(column) {}

MasterDataError::MasterDataError(const std::string& file, std::size_t line, std::size_t character,
                                 const std::string& reason)
    : std::runtime_error(file + ", line " + std::to_string(line) + ", character " +
                         std::to_string(character) + ": " + reason),
      file_(file), line_(line), character_(character) {}

const std::vector<MasterKind>& MasterKinds() {
    static const std::vector<MasterKind> kinds = [] {
        std::vector<MasterKind> out;
        for (const Definition& d : Definitions()) {
            out.push_back(d.info);
        }
        return out;
    }();
    return kinds;
}

std::size_t LoadMasterData(Connection& db, std::int32_t company, const std::string& kind,
                           std::string bytes, const std::string& fileName,
                           const std::string& encoding) {
    const Definition& definition = Find(kind);
    const std::string text = ReadableText(std::move(bytes), fileName, encoding);
    CheckRows(definition, text, fileName);

    // The rows are read again to be written, rather than kept from the check.
    RowReader rows(definition, text, fileName);
    Writer writer(db, company, fileName);
    TransactionScope transaction(db);
    std::size_t written = 0;
    std::size_t line = 0;
    for (Row row; rows.Next(line, row); ++written) {
        definition.write(writer, row, line);
    }
    transaction.Commit();
    return written;
}

std::size_t LoadMasterDataFile(Connection& db, std::int32_t company, const std::string& kind,
                               const std::string& path, const std::string& encoding) {
    return LoadMasterData(db, company, kind, ReadMasterFile(path), path, encoding);
}

MasterListing ListMasterData(Connection& db, std::int32_t company, const std::string& kind,
                             const std::string& search) {
    const Definition& definition = Find(kind);
    MasterListing listing;
    for (const Field& f : definition.fields) {
        listing.columns.emplace_back(f.name);
    }
    const std::string needle = AsciiLower(search);
    auto rs = db.Query(ReplaceAll(definition.list, "{company}", std::to_string(company)));
    for (; !rs->Eof(); rs->MoveNext()) {
        std::vector<std::string> row;
        bool match = needle.empty();
        for (int i = 0; i < rs->FieldCount(); ++i) {
            row.push_back(Cell(rs->Value(i)));
            match = match || AsciiLower(row.back()).find(needle) != std::string::npos;
        }
        if (match) {
            listing.rows.push_back(std::move(row));
        }
    }
    return listing;
}

std::vector<std::pair<std::string, std::size_t>> LoadDemoMasterData(Connection& db,
                                                                    std::int32_t company) {
    std::vector<std::pair<std::string, std::size_t>> loaded;
    for (const MasterKind& kind : MasterKinds()) {
        const std::string name = kind.name + ".csv";
        for (const DemoMasterFile& file : DemoMasterFiles()) {
            if (file.name == name) {
                loaded.emplace_back(
                    name, LoadMasterData(db, company, kind.name, std::string(file.text), name));
            }
        }
    }
    return loaded;
}

} // namespace kvad::host
