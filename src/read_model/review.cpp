#include "kvad_nso/read_model/review.h"

#include <set>

#include "kvad_nso/read_model/edit_fields.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "rows.h"

namespace kvad::read_model {

using detail::Code;
using detail::Shown;
using detail::Whole;

Verdict VerdictOf(std::int32_t status) {
    switch (status) {
    case kaVerificaOk:
        return Verdict::Ready;
    case kaVerificaWarning:
    case kaVerificaPuntoEsclamativo:
        return Verdict::Warning;
    case kaVerificaCritical:
    case kaVerificaCerottoRosso:
        return Verdict::Error;
    default:
        return Verdict::Unverified;
    }
}

std::string_view VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ready:
        return "ready";
    case Verdict::Warning:
        return "warning";
    case Verdict::Error:
        return "error";
    case Verdict::Unverified:
        return "not_verified";
    }
    return "";
}

DocumentRef Order::Document() const {
    return DocumentRef{id, number, date, kind, {}};
}

std::string Title(const Order& order) {
    return Title(order.Document());
}

void VerdictCounts::Add(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ready:
        ++ready;
        break;
    case Verdict::Warning:
        ++warning;
        break;
    case Verdict::Error:
        ++error;
        break;
    case Verdict::Unverified:
        ++unverified;
        break;
    }
}

VerdictCounts CountVerdicts(const std::vector<Chain>& chains) {
    VerdictCounts counts;
    for (const Chain& chain : chains) {
        for (const Order& order : chain.documents) {
            if (order.reviewed) {
                counts.Add(order.verdict);
            } else {
                ++counts.other;
            }
        }
    }
    return counts;
}

namespace {

/// Whether processing loads, decodes and verifies a document of this processing code.
bool IsReviewed(std::int32_t code) {
    return code == processing::kToImport || code == processing::kCancellation ||
           code == processing::kDelivered || code == processing::kDeliveredChain;
}

std::string ErpText(const std::optional<ErpOrderRef>& erp) {
    return erp ? erp->document + " of " + DisplayText(erp->date) : std::string();
}

std::string Plan(const Order& order) {
    const std::string erp = ErpText(order.erpOrder);
    switch (order.code) {
    case processing::kNothing:
        return erp.empty() ? "not processed" : "nothing to do: already ERP order " + erp;
    case processing::kToClose:
        return "replaced: its ERP order " + erp + " will no longer be fulfilled";
    case processing::kToImport:
        return order.level == 0 ? "to import" : "to import with its chain";
    case processing::kNotImported:
        return "not imported: only the latest document of its chain is";
    case processing::kCancellation:
        return "marked processed at import, no document made";
    case processing::kDelivered:
        return "its ERP order " + erp + " has deliveries: left as it is";
    case processing::kDeliveredChain:
        return "blocked: an older order of its chain has deliveries";
    default:
        return "processing code " + std::to_string(order.code);
    }
}

/// The current value of a decoded column named by a log entry; "" when the column is not one of
/// the editable fields (the name comes from the database and is never put into a statement).
std::string CurrentValue(Connection& db, std::int32_t order, std::int32_t line,
                         const std::string& column) {
    const EditField* field = FindEditField(column);
    if (field == nullptr || field->line != (line != 0)) {
        return "";
    }
    const std::string sql = field->line
                                ? "SELECT " + field->column +
                                      " FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " + Code(order) +
                                      " AND IE95_DO30_PROGRIGA = " + Code(line)
                                : "SELECT " + field->column +
                                      " FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + Code(order);
    return DisplayText(detail::Scalar(db, sql));
}

/// One log entry, with the field it is about by its short name and that field's value now.
/// `text` names the column holding the message text.
Message MessageOf(Connection& db, const Recordset& log, std::int32_t order, std::int32_t stored,
                  const char* text) {
    Message m;
    m.order = order;
    m.line = Whole(log.Value("IE98_PROGRIGA_DO30"));
    m.code = Whole(log.Value("IE98_CODE_IE97"));
    m.severity = stored;
    if (log.HasField("IE98_CONTESTO")) {
        m.context = Whole(log.Value("IE98_CONTESTO"));
    }
    m.column = Shown(log, "IE98_FIELD");
    m.field = m.column.empty() ? "" : FieldLabel(m.column);
    m.value = m.column.empty() ? "" : CurrentValue(db, order, m.line, m.column);
    m.text = Shown(log, text);
    return m;
}

std::string CustomerName(Connection& db, const std::string& company, const Recordset& h) {
    if (h.Value("IE93_DO11_CLIFOR_CG44").IsNull()) {
        return "";
    }
    const Variant name = detail::Scalar(
        db, "SELECT CG16_RAGSOC FROM VCG16_CG44_ALLADATA WHERE VCG16_44_CF_DITTA = " + company +
                " AND VCG16_44_CF_TIPOCF = " + Code(Whole(h.Value("IE93_DO11_TIPOCF_CG44"))) +
                " AND VCG16_44_CF_CLIFOR = " + Code(Whole(h.Value("IE93_DO11_CLIFOR_CG44"))));
    return name.IsNull() ? "not found" : DisplayText(name);
}

/// The decoded header of a row holding the staged (IE92) and decoded (IE93) header columns.
std::vector<HeaderField> HeaderFields(CLSIE_NSO& nso, const Recordset& h) {
    const std::string buyer = Shown(h, "IE92_BuyerCustomerParty_Party_PartyName_Name");
    const std::string taxId = Shown(h, "IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID");
    std::string customerNote = CustomerName(detail::Db(nso), detail::Company(nso), h);
    if (!buyer.empty() || !taxId.empty()) {
        customerNote += (customerNote.empty() ? "" : "; ") + std::string("order: ") + buyer +
                        (taxId.empty() ? "" : ", " + taxId);
    }
    const std::string location = Shown(h, "IE92_Delivery_DeliveryLocation_ID");
    const std::string currency = Shown(h, "IE92_DocumentCurrencyCode");
    const std::string documentNote = NoteText(h.Value("IE93_DO12_NOTEVSDOC"));
    const auto item = [&h](const char* field, const char* column, std::string note = {}) {
        return HeaderField{field, Shown(h, column), std::move(note), h.Value(column)};
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
        HeaderField{"note", documentNote, "",
                    documentNote.empty() ? Variant::Null() : Variant(documentNote)},
        item("cash-discount", "IE93_DO13_SCIMPCASSA"),
    };
}

/// The lines of a recordset of decoded lines, from its current row to its end.
std::vector<Line> LinesOf(Recordset& lines) {
    std::vector<Line> out;
    for (; !lines.Eof(); lines.MoveNext()) {
        out.push_back(Line{Whole(lines.Value("IE95_DO30_PROGRIGA")),
                           Shown(lines, "IE95_DO30_CODART_MG66"), Shown(lines, "IE95_DO30_DESCART"),
                           lines.Value("IE95_DO30_QTA1"), lines.Value("IE95_DO30_PREZZO1"),
                           Shown(lines, "IE95_DO30_ALIVA_CG28"), lines.Value("IE95_DO31_DATACONS"),
                           VerdictOf(Whole(lines.Value("IE95_STATUS")))});
    }
    return out;
}

/// The decoded header and lines of a document processing does not review, from the decoded
/// tables, for a read-only view.
void ReadDecodedTables(CLSIE_NSO& nso, Order& order) {
    Connection& db = detail::Db(nso);
    const std::string id = Code(order.id);
    auto h = db.Query("SELECT IE92_NSOTESTATAXML.*, IE93_NSOTESTATA.* FROM IE93_NSOTESTATA "
                      "LEFT OUTER JOIN IE92_NSOTESTATAXML ON IE92_ID_IE91 = IE93_ID_IE91 "
                      "WHERE IE93_ID_IE91 = " +
                      id);
    if (h->Eof()) {
        return;
    }
    order.decoded = true;
    order.verdict = VerdictOf(Whole(h->Value("IE93_STATUS")));
    order.header = HeaderFields(nso, *h);
    auto lines = db.Query("SELECT IE94_NSOCORPOXML.*, IE95_NSOCORPO.* FROM IE95_NSOCORPO "
                          "LEFT OUTER JOIN IE94_NSOCORPOXML ON IE94_ID = IE95_ID_IE94 "
                          "WHERE IE95_ID_IE91 = " +
                          id + " ORDER BY IE95_DO30_PROGRIGA");
    order.lines = LinesOf(*lines);
}

/// A document from the current row of a clone of RstOrdini, with what the result recordsets
/// hold of it.
Order OrderOfRow(CLSIE_NSO& nso, const Recordset& row) {
    Order order;
    const DocumentRef document = detail::DocumentOf(row);
    order.id = document.id;
    order.number = document.number;
    order.date = document.date;
    order.kind = document.kind;
    order.level = Whole(row.Value("LIVELLO"));
    order.code = Whole(row.Value("TMP_ELABORA"));
    if (!row.Value("DO11_NUMREG_CO99").IsNull()) {
        order.erpOrder =
            ErpOrderRef{Whole(row.Value("DO11_NUMREG_CO99")),
                        Shown(row, "DO11_DOCUM_MG36") + " " + Shown(row, "DO11_SEZDOC") + "/" +
                            Shown(row, "DO11_NUMDOC"),
                        row.Value("DO11_DATADOC")};
    }
    order.plan = Plan(order);
    order.reviewed = IsReviewed(order.code);
    const std::string id = Code(order.id);

    std::int32_t status = 0;
    if (auto testata = nso.RstTestata(); testata && testata->IsOpen()) {
        auto h = testata->Clone();
        h->SetFilter("IE91_ID = " + id);
        order.editable = !h->Eof();
        if (!h->Eof() && !h->Value("IE93_ID").IsNull()) {
            order.decoded = true;
            status = Whole(h->Value("IE93_STATUS"));
            order.header = HeaderFields(nso, *h);
        }
    }
    if (order.code == processing::kDelivered) {
        // Not in the header grid: its status as verification stored it.
        const Variant stored = detail::Scalar(
            detail::Db(nso), "SELECT IE93_STATUS FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + id);
        order.decoded = !stored.IsNull();
        status = Whole(stored);
    }
    order.verdict = VerdictOf(status);
    if (auto corpo = nso.RstCorpo(); corpo && corpo->IsOpen()) {
        auto lines = corpo->Clone();
        lines->SetFilter("IE95_ID_IE91 = " + id);
        order.lines = LinesOf(*lines);
    }
    order.messages = ReadMessages(nso, order.id);
    return order;
}

} // namespace

std::vector<std::int32_t> SelectChainsOf(CLSIE_NSO& nso, const std::vector<std::int32_t>& ids) {
    // Only the chains of these documents: reading every chain costs the size of the register.
    std::vector<std::int32_t> missing = nso.ReadChainsOf(ids);
    detail::RequireOk(nso, "reading the chains");
    if (!missing.empty()) {
        return missing;
    }
    auto rows = detail::WorkingRows(nso)->Clone();
    std::set<std::string> mains;
    for (const std::int32_t id : ids) {
        rows->SetFilter("IE91_ID = " + Code(id));
        for (; !rows->Eof(); rows->MoveNext()) {
            mains.insert(detail::ChainKey(*rows));
        }
    }
    for (const std::string& key : mains) {
        rows->SetFilter("ID_RIGA = " + detail::Quoted(key) + " AND LIVELLO = 0");
        if (!rows->Eof()) {
            rows->SetValue("TMP_IMG_SEL", selection::kSelected);
            rows->Update();
        }
    }
    return missing;
}

bool OpenReview(CLSIE_NSO& nso, std::int32_t id) {
    if (!SelectChainsOf(nso, {id}).empty()) {
        return false;
    }
    nso.AssignProcessingCodes();
    detail::RequireOk(nso, "reading the processing codes");
    kaEnumContesto every = Contesto_Tutti;
    (void)nso.GetRstElaborazione(every);
    detail::RequireOk(nso, "reading the results");
    return true;
}

std::vector<Chain> ReadSelectedChains(CLSIE_NSO& nso) {
    std::vector<Chain> chains;
    auto mains = detail::WorkingRows(nso)->Clone();
    mains->SetFilter("TMP_IMG_SEL = " + Code(selection::kSelected));
    auto older = detail::WorkingRows(nso)->Clone();
    for (; !mains->Eof(); mains->MoveNext()) {
        Chain chain;
        chain.documents.push_back(OrderOfRow(nso, *mains));
        older->SetFilter("ID_PADRE = " + detail::Quoted(mains->Value("ID_RIGA").Text()));
        older->SetSort("LIVELLO");
        for (; !older->Eof(); older->MoveNext()) {
            chain.documents.push_back(OrderOfRow(nso, *older));
        }
        chains.push_back(std::move(chain));
    }
    return chains;
}

Order ReadOrder(CLSIE_NSO& nso, std::int32_t id) {
    auto row = detail::WorkingRows(nso)->Clone();
    row->SetFilter("IE91_ID = " + Code(id));
    if (row->Eof()) {
        throw Refusal("document " + Code(id) + " is in no chain");
    }
    Order order = OrderOfRow(nso, *row);
    if (!order.reviewed && order.erpOrder) {
        ReadDecodedTables(nso, order);
    }
    return order;
}

std::vector<Message> ReadMessages(CLSIE_NSO& nso, std::optional<std::int32_t> order) {
    std::vector<Message> messages;
    auto log = nso.RstLogMessages();
    if (!log || !log->IsOpen() || log->RecordCount() <= 0) {
        return messages;
    }
    Connection& db = detail::Db(nso);
    std::set<std::int32_t> seen; // a document in two chains is listed twice
    for (log->MoveFirst(); !log->Eof(); log->MoveNext()) {
        const std::int32_t of = Whole(log->Value("IE98_ID_IE91"));
        if ((order && of != *order) || !seen.insert(Whole(log->Value("IE98_ID"))).second) {
            continue;
        }
        // The grid shows a display code for the severity.
        const std::int32_t stored = severity::FromDisplay(Whole(log->Value("IE98_TYPE")));
        messages.push_back(MessageOf(db, *log, of, stored, "IE97_MESSAGE"));
    }
    return messages;
}

std::vector<Message> ReadErrors(CLSIE_NSO& nso, std::int32_t order) {
    Connection& db = detail::Db(nso);
    std::vector<Message> errors;
    auto log = db.Query(
        "SELECT IE98_TYPE, IE98_CONTESTO, IE98_PROGRIGA_DO30, IE98_CODE_IE97, IE98_FIELD, (CASE "
        "WHEN IE98_ERRORMESSAGE IS NOT NULL THEN IE98_ERRORMESSAGE ELSE IE97_MESSAGE END) AS TESTO "
        "FROM IE98_NSO_LOGERRORS LEFT OUTER JOIN IE97_NSO_ERRORS ON IE97_CODE = IE98_CODE_IE97 "
        "WHERE IE98_ID_IE91 = " +
        Code(order) + " AND IE98_TYPE = " + Code(severity::kError) +
        " ORDER BY IE98_PROGRIGA_DO30, IE98_ID");
    for (; !log->Eof(); log->MoveNext()) {
        errors.push_back(MessageOf(db, *log, order, Whole(log->Value("IE98_TYPE")), "TESTO"));
    }
    return errors;
}

std::optional<Order> FirstNotDecoded(CLSIE_NSO& nso, const std::vector<Chain>& chains) {
    auto taken = detail::WorkingRows(nso)->Clone();
    taken->SetFilter("TMP_ELABORA = " + Code(processing::kToImport) +
                     " OR TMP_ELABORA = " + Code(processing::kCancellation) +
                     " OR TMP_ELABORA = " + Code(processing::kDelivered) +
                     " OR TMP_ELABORA = " + Code(processing::kDeliveredChain));
    for (; !taken->Eof(); taken->MoveNext()) {
        const std::int32_t id = Whole(taken->Value("IE91_ID"));
        for (const Chain& chain : chains) {
            for (const Order& order : chain.documents) {
                if (order.id == id && !order.decoded) {
                    return order;
                }
            }
        }
    }
    return std::nullopt;
}

} // namespace kvad::read_model
