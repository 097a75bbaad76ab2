#include "app/review.h"

#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "app/edit_fields.h"
#include "app/order_ref.h"
#include "app/terminal_text.h"
#include "app/working_table.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

constexpr std::size_t kWidth = 100;

std::string Text(const kvad::Recordset& rs, const char* field) {
    return DisplayValue(rs.Value(field));
}

} // namespace

Verdict VerdictOf(std::int32_t status) {
    switch (status) {
    case kvad::kaVerificaOk:
        return Verdict::Ready;
    case kvad::kaVerificaWarning:
    case kvad::kaVerificaPuntoEsclamativo:
        return Verdict::Warning;
    case kvad::kaVerificaCritical:
    case kvad::kaVerificaCerottoRosso:
        return Verdict::Error;
    default:
        return Verdict::Unverified;
    }
}

namespace {

std::string ErpOrder(const kvad::Recordset& row) {
    if (row.Value("DO11_NUMREG_CO99").IsNull()) {
        return "";
    }
    return Text(row, "DO11_DOCUM_MG36") + " " + Text(row, "DO11_SEZDOC") + "/" +
           Text(row, "DO11_NUMDOC") + " of " + Text(row, "DO11_DATADOC");
}

std::string Plan(const kvad::Recordset& row, int code) {
    const bool main = Whole(row.Value("LIVELLO")) == 0;
    const std::string erp = ErpOrder(row);
    switch (code) {
    case kCodeNothing:
        return erp.empty() ? "not processed" : "nothing to do: already ERP order " + erp;
    case kCodeToClose:
        return "replaced: its ERP order " + erp + " will no longer be fulfilled";
    case kCodeToImport:
        return main ? "to import" : "to import with its chain";
    case kCodeNotImported:
        return "not imported: only the latest document of its chain is";
    case kCodeCancellation:
        return "marked processed at import, no document made";
    case kCodeDelivered:
        return "its ERP order " + erp + " has deliveries: left as it is";
    case kCodeBlocked:
        return "blocked: an older order of its chain has deliveries";
    default:
        return "processing code " + std::to_string(code);
    }
}

/// The current value of a decoded column named by a log entry; "" when the column is not one of
/// the editable fields (the name comes from the database and is never put into a statement).
std::string FieldValue(kvad::Connection& db, std::int32_t order, std::int32_t line,
                       const std::string& column) {
    const EditField* field = FindEditField(column);
    if (field == nullptr || field->line != (line != 0)) {
        return "";
    }
    const std::string sql =
        field->line ? "SELECT " + field->column +
                          " FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " + std::to_string(order) +
                          " AND IE95_DO30_PROGRIGA = " + std::to_string(line)
                    : "SELECT " + field->column +
                          " FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + std::to_string(order);
    return DisplayValue(Scalar(db, sql));
}

std::string CustomerName(kvad::Connection& db, std::int32_t company, const kvad::Recordset& h) {
    if (h.Value("IE93_DO11_CLIFOR_CG44").IsNull()) {
        return "";
    }
    const kvad::Variant name = Scalar(
        db,
        "SELECT CG16_RAGSOC FROM VCG16_CG44_ALLADATA WHERE VCG16_44_CF_DITTA = " +
            std::to_string(company) +
            " AND VCG16_44_CF_TIPOCF = " + std::to_string(Whole(h.Value("IE93_DO11_TIPOCF_CG44"))) +
            " AND VCG16_44_CF_CLIFOR = " + std::to_string(Whole(h.Value("IE93_DO11_CLIFOR_CG44"))));
    return name.IsNull() ? "not found" : DisplayValue(name);
}

std::vector<HeaderItem> HeaderItems(Session& session, const kvad::Recordset& h) {
    const std::string buyer = Text(h, "IE92_BuyerCustomerParty_Party_PartyName_Name");
    const std::string taxId = Text(h, "IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID");
    std::string customerNote = CustomerName(*session.db, session.nso->CodiceDitta().ToLong(), h);
    if (!buyer.empty() || !taxId.empty()) {
        customerNote += (customerNote.empty() ? "" : "; ") + std::string("order: ") + buyer +
                        (taxId.empty() ? "" : ", " + taxId);
    }
    const std::string location = Text(h, "IE92_Delivery_DeliveryLocation_ID");
    const std::string currency = Text(h, "IE92_DocumentCurrencyCode");
    const std::string documentNote = NoteText(h.Value("IE93_DO12_NOTEVSDOC"));
    const auto item = [&h](const char* field, const char* column, std::string note = {}) {
        return HeaderItem{field, Text(h, column), std::move(note), h.Value(column)};
    };
    return {
        item("customer", "IE93_DO11_CLIFOR_CG44", customerNote),
        item("office", "IE93_DO11_UFFICIOPA_CG1M"),
        item("destination", "IE93_DO11_CLIFORDEST",
             location.empty() ? "" : "order: delivery location " + location),
        item("currency", "IE93_DO11_VALUTA_CG08", currency.empty() ? "" : "order: " + currency),
        item("document", "IE93_DO11_CODDOCUM_MG3G"),
        item("section", "IE93_DO11_SEZDOC"),
        item("warehouse", "IE93_DO11_CODDEP"),
        item("date", "IE93_DO11_DATADOC"),
        HeaderItem{"note", documentNote, "",
                   documentNote.empty() ? kvad::Variant::Null() : kvad::Variant(documentNote)},
        item("cash-discount", "IE93_DO13_SCIMPCASSA"),
    };
}

/// The lines of a freshly filtered clone, from its first row.
std::vector<LineView> Lines(kvad::Recordset& lines) {
    std::vector<LineView> out;
    for (; !lines.Eof(); lines.MoveNext()) {
        out.push_back(LineView{
            Whole(lines.Value("IE95_DO30_PROGRIGA")), Text(lines, "IE95_DO30_CODART_MG66"),
            Text(lines, "IE95_DO30_DESCART"), lines.Value("IE95_DO30_QTA1"),
            lines.Value("IE95_DO30_PREZZO1"), Text(lines, "IE95_DO30_ALIVA_CG28"),
            lines.Value("IE95_DO31_DATACONS"), VerdictOf(Whole(lines.Value("IE95_STATUS")))});
    }
    return out;
}

/// A document from the current row of a clone of RstOrdini.
OrderView GatherRow(Session& session, const kvad::Recordset& row) {
    OrderView order;
    order.id = Whole(row.Value("IE91_ID"));
    order.number = Text(row, "IE91_IDORD");
    order.date = row.Value("IE91_ISSUEDATE");
    order.kind = DocumentKind(row.Value("IE91_OPERAZIONE"));
    order.level = Whole(row.Value("LIVELLO"));
    order.code = Whole(row.Value("TMP_ELABORA"));
    order.plan = Plan(row, order.code);
    order.reviewed = order.code == kCodeToImport || order.code == kCodeCancellation ||
                     order.code == kCodeDelivered || order.code == kCodeBlocked;
    const std::string id = std::to_string(order.id);

    std::int32_t status = 0;
    if (auto testata = session.nso->RstTestata(); testata && testata->IsOpen()) {
        auto h = testata->Clone();
        h->SetFilter("IE91_ID = " + id);
        order.editable = !h->Eof();
        if (!h->Eof() && !h->Value("IE93_ID").IsNull()) {
            order.decoded = true;
            status = Whole(h->Value("IE93_STATUS"));
            order.header = HeaderItems(session, *h);
        }
    }
    if (order.code == kCodeDelivered) {
        // Not in the header grid: its status as verification stored it.
        const kvad::Variant stored = Scalar(
            *session.db, "SELECT IE93_STATUS FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + id);
        order.decoded = !stored.IsNull();
        status = Whole(stored);
    }
    order.verdict = VerdictOf(status);
    if (auto corpo = session.nso->RstCorpo(); corpo && corpo->IsOpen()) {
        auto lines = corpo->Clone();
        lines->SetFilter("IE95_ID_IE91 = " + id);
        order.lines = Lines(*lines);
    }
    order.messages = GatherMessages(session, order.id);
    return order;
}

/// Words of `text` in lines of at most `width` characters (a longer word is cut).
std::vector<std::string> Wrap(const std::string& text, std::size_t width) {
    std::vector<std::string> lines;
    std::istringstream words(text);
    std::string word;
    std::string line;
    while (words >> word) {
        const std::size_t needed =
            kvad::Utf8Length(line) + (line.empty() ? 0 : 1) + kvad::Utf8Length(word);
        if (!line.empty() && needed > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + kvad::Utf8Left(word, width);
    }
    if (!line.empty() || lines.empty()) {
        lines.push_back(line);
    }
    return lines;
}

std::string Upper(Verdict verdict) {
    return kvad::AsciiUpper(VerdictText(verdict));
}

} // namespace

std::string VerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ready:
        return "ready";
    case Verdict::Warning:
        return "warning";
    case Verdict::Error:
        return "error";
    case Verdict::Unverified:
        return "not verified";
    }
    return "";
}

void SelectChainsOf(Session& session, const std::vector<std::int32_t>& ids) {
    kvad::kaenumTipoOrdiniProcessati every = kvad::kaOrdiniTutti;
    session.nso->LeggiOrdini(every);
    RequireOk(session, "reading the chains");
    auto rows = session.nso->RstOrdini()->Clone();
    std::set<std::string> mains;
    for (const std::int32_t id : ids) {
        rows->SetFilter("IE91_ID = " + std::to_string(id));
        if (rows->Eof()) {
            throw std::runtime_error("document " + std::to_string(id) +
                                     " is in no chain: its XML has not arrived (`nso fetch "
                                     "--retry-missing` downloads it again)");
        }
        for (; !rows->Eof(); rows->MoveNext()) {
            mains.insert(Whole(rows->Value("LIVELLO")) == 0 ? rows->Value("ID_RIGA").Text()
                                                            : rows->Value("ID_PADRE").Text());
        }
    }
    for (const std::string& key : mains) {
        rows->SetFilter("ID_RIGA = " + FilterText(key) + " AND LIVELLO = 0");
        if (!rows->Eof()) {
            rows->SetValue("TMP_IMG_SEL", std::int32_t{1});
            rows->Update();
        }
    }
}

void SelectChains(Session& session, const Settings& settings,
                  const std::vector<std::string>& chains, bool all, bool latestOnly) {
    session.nso->SetParam_ModalitaImport(latestOnly ? kvad::kaSoloPiuRecente
                                                    : kvad::kaInteraCatena);
    if (all) {
        kvad::kaenumTipoOrdiniProcessati toProcess = kvad::kaOrdiniDaProcessare;
        session.nso->LeggiOrdini(toProcess);
        RequireOk(session, "reading the chains");
        kvad::kaEnumNSOSelez every = kvad::kaTutti;
        session.nso->SetSelezione(every);
        RequireOk(session, "selecting the chains");
        return;
    }
    std::vector<std::int32_t> ids;
    ids.reserve(chains.size());
    for (const std::string& chain : chains) {
        ids.push_back(ResolveDocument(*session.db, settings.company, chain));
    }
    SelectChainsOf(session, ids);
}

std::vector<ChainView> GatherSelectedChains(Session& session) {
    std::vector<ChainView> chains;
    auto mains = session.nso->RstOrdini()->Clone();
    mains->SetFilter("TMP_IMG_SEL = 1");
    auto older = session.nso->RstOrdini()->Clone();
    for (; !mains->Eof(); mains->MoveNext()) {
        ChainView chain;
        chain.documents.push_back(GatherRow(session, *mains));
        older->SetFilter("ID_PADRE = " + FilterText(mains->Value("ID_RIGA").Text()));
        older->SetSort("LIVELLO");
        for (; !older->Eof(); older->MoveNext()) {
            chain.documents.push_back(GatherRow(session, *older));
        }
        chains.push_back(std::move(chain));
    }
    return chains;
}

OrderView GatherOrder(Session& session, std::int32_t id) {
    auto row = session.nso->RstOrdini()->Clone();
    row->SetFilter("IE91_ID = " + std::to_string(id));
    if (row->Eof()) {
        throw std::runtime_error("document " + std::to_string(id) + " is in no chain");
    }
    return GatherRow(session, *row);
}

void OpenReview(Session& session, std::int32_t id) {
    SelectChainsOf(session, {id});
    session.nso->AssignProcessingCodes();
    RequireOk(session, "reading the processing codes");
    kvad::kaEnumContesto every = kvad::Contesto_Tutti;
    (void)session.nso->GetRstElaborazione(every);
    RequireOk(session, "reading the results");
}

OrderView ReviewedOrder(Session& session, std::int32_t id) {
    OrderView order = GatherOrder(session, id);
    if (!order.reviewed) {
        throw std::runtime_error(OrderTitle(order) +
                                 " is not one processing reviews: " + order.plan);
    }
    if (!order.decoded) {
        throw std::runtime_error(OrderTitle(order) + " is not processed yet: `nso process " +
                                 std::to_string(id) + "` processes its chain");
    }
    return order;
}

std::string TitleOf(Session& session, std::int32_t id) {
    auto row = session.nso->RstOrdini()->Clone();
    row->SetFilter("IE91_ID = " + std::to_string(id));
    if (row->Eof()) {
        return "Document " + std::to_string(id);
    }
    OrderView order;
    order.id = id;
    order.number = Text(*row, "IE91_IDORD");
    order.date = row->Value("IE91_ISSUEDATE");
    order.kind = DocumentKind(row->Value("IE91_OPERAZIONE"));
    return OrderTitle(order);
}

namespace {

/// One log entry as a clerk reads it: the field it is about by its short name, with the field's
/// current value. `text` names the column holding the message text.
MessageView LogEntry(Session& session, const kvad::Recordset& log, std::int32_t order,
                     const char* text) {
    const std::int32_t display = Whole(log.Value("IE98_TYPE"));
    MessageView m;
    m.order = order;
    m.line = Whole(log.Value("IE98_PROGRIGA_DO30"));
    m.code = Whole(log.Value("IE98_CODE_IE97"));
    m.severity = display == kvad::kaVerificaCerottoRosso       ? "error"
                 : display == kvad::kaVerificaPuntoEsclamativo ? "warning"
                                                               : "info";
    const std::string column = DisplayValue(log.Value("IE98_FIELD"));
    m.field = column.empty() ? "" : FieldLabel(column);
    m.value = column.empty() ? "" : FieldValue(*session.db, order, m.line, column);
    m.text = DisplayValue(log.Value(text));
    return m;
}

} // namespace

std::vector<MessageView> GatherMessages(Session& session, std::optional<std::int32_t> order) {
    std::vector<MessageView> messages;
    auto log = session.nso->RstLogMessages();
    if (!log || !log->IsOpen() || log->RecordCount() <= 0) {
        return messages;
    }
    std::set<std::int32_t> seen; // a document in two chains is listed twice
    for (log->MoveFirst(); !log->Eof(); log->MoveNext()) {
        const std::int32_t of = Whole(log->Value("IE98_ID_IE91"));
        if ((order && of != *order) || !seen.insert(Whole(log->Value("IE98_ID"))).second) {
            continue;
        }
        messages.push_back(LogEntry(session, *log, of, "IE97_MESSAGE"));
    }
    return messages;
}

std::vector<MessageView> ErrorsOf(Session& session, std::int32_t order) {
    std::vector<MessageView> errors;
    auto log = session.db->Query(
        "SELECT IE98_TYPE, IE98_PROGRIGA_DO30, IE98_CODE_IE97, IE98_FIELD, (CASE WHEN "
        "IE98_ERRORMESSAGE IS NOT NULL THEN IE98_ERRORMESSAGE ELSE IE97_MESSAGE END) AS TESTO "
        "FROM IE98_NSO_LOGERRORS LEFT OUTER JOIN IE97_NSO_ERRORS ON IE97_CODE = IE98_CODE_IE97 "
        "WHERE IE98_ID_IE91 = " +
        std::to_string(order) + " AND IE98_TYPE = 3 ORDER BY IE98_PROGRIGA_DO30, IE98_ID");
    for (; !log->Eof(); log->MoveNext()) {
        errors.push_back(LogEntry(session, *log, order, "TESTO"));
    }
    return errors;
}

std::string OrderTitle(const OrderView& order) {
    std::string kind = order.kind;
    kind[0] = kvad::AsciiUpper(kind.substr(0, 1))[0];
    return kind + " " + order.number + " of " + DateText(order.date) + " (id " +
           std::to_string(order.id) + ")";
}

Tally CountVerdicts(const std::vector<ChainView>& chains) {
    Tally tally;
    for (const ChainView& chain : chains) {
        for (const OrderView& order : chain.documents) {
            if (!order.reviewed) {
                ++tally.other;
                continue;
            }
            switch (order.verdict) {
            case Verdict::Ready:
                ++tally.ready;
                break;
            case Verdict::Warning:
                ++tally.warning;
                break;
            case Verdict::Error:
                ++tally.error;
                break;
            case Verdict::Unverified:
                ++tally.unverified;
                break;
            }
        }
    }
    return tally;
}

void PrintMessages(std::ostream& out, const std::vector<MessageView>& messages,
                   const std::string& indent) {
    const std::size_t used = indent.size() + 8 + 5 + 8 + 25;
    for (const MessageView& m : messages) {
        const std::string where = m.line == 0 ? "header" : "line " + std::to_string(m.line);
        const std::string about =
            m.field.empty() ? "" : m.field + " = " + (m.value.empty() ? "(empty)" : m.value);
        const auto text = Wrap(m.text.empty() ? "(no text)" : m.text, kWidth - used);
        out << indent << Cell(m.severity, 7) << RightCell(std::to_string(m.code), 3) << " "
            << Cell(where, 7) << Cell(about, 24) << text.front() << "\n";
        for (std::size_t i = 1; i < text.size(); ++i) {
            out << std::string(used, ' ') << text[i] << "\n";
        }
    }
}

void PrintOrder(std::ostream& out, const OrderView& order) {
    std::string title = OrderTitle(order) + ": " + order.plan;
    if (order.reviewed) {
        title += " - " + Upper(order.verdict);
    }
    const auto titleRows = Wrap(title, kWidth - 2);
    out << titleRows.front() << "\n";
    for (std::size_t i = 1; i < titleRows.size(); ++i) {
        out << "  " << titleRows[i] << "\n";
    }
    if (!order.reviewed) {
        return;
    }
    if (!order.decoded) {
        out << "  not decoded: processing failed on this document or stopped before it\n";
    }
    // The value, then what the order says beside it; long texts go on over further lines.
    constexpr std::size_t kLabel = 2 + 14;
    constexpr std::size_t kValue = 17;
    for (const HeaderItem& item : order.header) {
        const std::string value = item.value.empty() ? "-" : item.value;
        std::string prefix = "  " + Cell(item.field, 13);
        std::vector<std::string> rows;
        std::size_t indent = kLabel;
        if (item.note.empty()) {
            rows = Wrap(value, kWidth - kLabel);
        } else {
            prefix += Cell(value, kValue - 1);
            rows = Wrap(item.note, kWidth - kLabel - kValue);
            indent += kValue;
        }
        out << prefix << rows.front() << "\n";
        for (std::size_t i = 1; i < rows.size(); ++i) {
            out << std::string(indent, ' ') << rows[i] << "\n";
        }
    }
    if (!order.lines.empty()) {
        out << "  " << RightCell("LINE", 4) << Cell("ITEM", 14) << Cell("DESCRIPTION", 24)
            << RightCell("QUANTITY", 10) << RightCell("PRICE", 10) << Cell("VAT", 5)
            << Cell("DELIVERY", 10) << "STATUS\n";
        for (const LineView& line : order.lines) {
            out << "  " << RightCell(std::to_string(line.number), 4)
                << Cell(line.item.empty() ? "-" : line.item, 14) << Cell(line.description, 24)
                << RightCell(DisplayValue(line.quantity), 10)
                << RightCell(DisplayValue(line.price), 10)
                << Cell(line.vat.empty() ? "-" : line.vat, 5)
                << Cell(line.delivery.IsNull() ? "-" : DisplayValue(line.delivery), 10)
                << VerdictText(line.verdict) << "\n";
        }
    }
    if (order.messages.empty()) {
        out << "  no messages\n";
        return;
    }
    out << "  messages:\n";
    PrintMessages(out, order.messages, "    ");
}

void PrintChain(std::ostream& out, const ChainView& chain) {
    for (const OrderView& order : chain.documents) {
        if (order.level > 0) {
            out << "\n";
        }
        PrintOrder(out, order);
    }
}

void PrintTally(std::ostream& out, const Tally& tally) {
    const int reviewed = tally.ready + tally.warning + tally.error + tally.unverified;
    out << reviewed << " order(s) reviewed: " << tally.ready << " ready, " << tally.warning
        << " with warnings, " << tally.error << " with errors";
    if (tally.unverified > 0) {
        out << ", " << tally.unverified << " not verified";
    }
    if (tally.other > 0) {
        out << "; " << tally.other << " document(s) with nothing to review";
    }
    out << "\n";
}

} // namespace nsoapp
