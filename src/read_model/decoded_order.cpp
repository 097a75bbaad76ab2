#include "kvad_nso/read_model/decoded_order.h"

#include "kvad_nso/read_model/edit_fields.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "rows.h"

namespace kvad::read_model {

using detail::Code;
using detail::Whole;

namespace {

std::string RightTrimmed(const Recordset& rs, const char* field) {
    return RightTrim(rs.Value(field).Text());
}

std::optional<DecodedHeader> DecodedHeaderOf(CLSIE_NSO& nso, std::int32_t id) {
    auto h = detail::Db(nso).Query(
        "SELECT IE93_NSOTESTATA.*, CG16_RAGSOC, MG22_DESTRAGSOC, CG08_SIGLA, "
        "IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID AS COMPANYID, "
        "IE92_Delivery_DeliveryLocation_ID AS LUOGO, "
        "IE92_Delivery_DeliveryParty_PartyName_Name AS NOME_CONSEGNA "
        "FROM IE91_NSOFILES "
        "INNER JOIN IE93_NSOTESTATA ON IE93_ID_IE91 = IE91_ID "
        "LEFT OUTER JOIN IE92_NSOTESTATAXML ON IE92_ID_IE91 = IE91_ID "
        "LEFT OUTER JOIN VCG16_CG44_ALLADATA ON VCG16_44_CF_DITTA = IE91_DITTA_CG18 AND "
        "VCG16_44_CF_TIPOCF = IE93_DO11_TIPOCF_CG44 AND "
        "VCG16_44_CF_CLIFOR = IE93_DO11_CLIFOR_CG44 "
        "LEFT OUTER JOIN MG22_CLIFORDEST ON MG22_DITTA_CG18 = IE91_DITTA_CG18 AND "
        "MG22_TIPOCF_CG44 = IE93_DO11_TIPOCF_CG44 AND MG22_CLIFOR_CG44 = IE93_DO11_CLIFOR_CG44 "
        "AND MG22_CODDESTIN = IE93_DO11_CLIFORDEST "
        "LEFT OUTER JOIN CG08_TABVALUTE ON CG08_CODICE = IE93_DO11_VALUTA_CG08 "
        "WHERE IE91_ID = " +
        Code(id) + " AND IE91_DITTA_CG18 = " + detail::Company(nso));
    if (h->Eof()) {
        return std::nullopt;
    }
    DecodedHeader header;
    header.customer = Whole(h->Value("IE93_DO11_CLIFOR_CG44"));
    header.customerName = RightTrimmed(*h, "CG16_RAGSOC");
    header.buyerTaxId = RightTrimmed(*h, "COMPANYID");
    header.buyerEndpoint = RightTrimmed(*h, "IE93_DO12_FEIDSOGGETTO");
    header.currency = RightTrimmed(*h, "IE93_DO11_VALUTA_CG08");
    header.currencyIso = RightTrimmed(*h, "CG08_SIGLA");
    header.document = RightTrimmed(*h, "IE93_DO11_CODDOCUM_MG3G");
    header.section = RightTrimmed(*h, "IE93_DO11_SEZDOC");
    header.warehouse = RightTrimmed(*h, "IE93_DO11_CODDEP");
    header.date = h->Value("IE93_DO11_DATADOC");
    header.office = RightTrimmed(*h, "IE93_DO11_UFFICIOPA_CG1M");
    header.destination = RightTrimmed(*h, "IE93_DO11_CLIFORDEST");
    header.destinationName = RightTrimmed(*h, "MG22_DESTRAGSOC");
    header.deliveryLocation = RightTrimmed(*h, "LUOGO");
    header.deliveryParty = RightTrimmed(*h, "NOME_CONSEGNA");
    header.note = NoteText(h->Value("IE93_DO12_NOTEVSDOC"));
    header.cashDiscount = h->Value("IE93_DO13_SCIMPCASSA");
    return header;
}

DecodedLine DecodedLineOf(const Recordset& l) {
    DecodedLine line;
    line.number = l.Value("IE95_DO30_PROGRIGA");
    // Lines made from the order's own allowances and charges point to empty staged lines.
    const bool orderLine =
        !l.Value("IE94_LineItem_ID").IsNull() || !l.Value("IE94_LineItem_Quantity").IsNull();
    line.price = l.Value("IE95_DO30_PREZZO1");
    if (!orderLine) {
        line.kind = line.price.ToDecimal().Sign() < 0 ? DecodedLineKind::OrderAllowance
                                                      : DecodedLineKind::OrderCharge;
    }
    line.item = RightTrimmed(l, "IE95_DO30_CODART_MG66");
    line.option = RightTrimmed(l, "IE95_DO30_OPZIONE_MG5E");
    line.description = RightTrimmed(l, "IE95_DO30_DESCART");
    line.quantity = l.Value("IE95_DO30_QTA1");
    line.allowance = l.Value("IE95_DO30_SCIMP");
    line.charge = l.Value("IE95_DO30_MAGIMP");
    line.vatCode = RightTrimmed(l, "IE95_DO30_ALIVA_CG28");
    line.vatRate = l.Value("IE95_ALIVA_XML");
    line.delivery = l.Value("IE95_DO31_DATACONS");
    for (const char* field : {"VENDITORE", "STANDARD"}) {
        if (std::string id = RightTrimmed(l, field); !id.empty()) {
            line.searchedBy.push_back(std::move(id));
        }
    }
    return line;
}

std::vector<Message> WholeLog(Connection& db, std::int32_t id) {
    std::vector<Message> messages;
    for (auto m = db.Query("SELECT IE98_CODE_IE97, IE98_TYPE, IE98_CONTESTO, IE98_PROGRIGA_DO30, "
                           "IE98_FIELD, ISNULL(IE98_ERRORMESSAGE, IE97_MESSAGE) AS TESTO "
                           "FROM IE98_NSO_LOGERRORS "
                           "LEFT OUTER JOIN IE97_NSO_ERRORS ON IE97_CODE = IE98_CODE_IE97 "
                           "WHERE IE98_ID_IE91 = " +
                           Code(id) + " ORDER BY IE98_ID");
         !m->Eof(); m->MoveNext()) {
        Message message;
        message.order = id;
        message.line = Whole(m->Value("IE98_PROGRIGA_DO30"));
        message.code = Whole(m->Value("IE98_CODE_IE97"));
        message.severity = Whole(m->Value("IE98_TYPE"));
        message.context = Whole(m->Value("IE98_CONTESTO"));
        message.column = RightTrimmed(*m, "IE98_FIELD");
        message.field = message.column.empty() ? "" : FieldLabel(message.column);
        message.text = RightTrimmed(*m, "TESTO");
        messages.push_back(std::move(message));
    }
    return messages;
}

} // namespace

DecodedOrder ReadDecodedOrder(CLSIE_NSO& nso, std::int32_t id) {
    DecodedOrder order;
    order.header = DecodedHeaderOf(nso, id);
    for (auto l = detail::Db(nso).Query(
             "SELECT IE95_NSOCORPO.*, IE94_LineItem_ID, IE94_LineItem_Quantity, "
             "IE94_LineItem_Item_SellersItemIdentification_ID AS VENDITORE, "
             "IE94_LineItem_Item_StandardItemIdentification_ID AS STANDARD "
             "FROM IE95_NSOCORPO "
             "LEFT OUTER JOIN IE94_NSOCORPOXML ON IE94_ID = IE95_ID_IE94 "
             "WHERE IE95_ID_IE91 = " +
             Code(id) + " ORDER BY IE95_DO30_PROGRIGA");
         !l->Eof(); l->MoveNext()) {
        order.lines.push_back(DecodedLineOf(*l));
    }
    order.messages = WholeLog(detail::Db(nso), id);
    return order;
}

} // namespace kvad::read_model
