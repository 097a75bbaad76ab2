#include "import/dati_aggiuntivi.h"

#include <string>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace kvad::nso {
namespace {

// Column sizes of a public-administration office.
constexpr std::size_t kOfficeName = 60;
constexpr std::size_t kOfficeAddress = 40;
constexpr std::size_t kOfficeCity = 40;
constexpr std::size_t kOfficePostalCode = 10;

// A text value cut to a column's size and written as a literal; empty gives null.
std::string CutLiteral(NsoState& state, const Variant& value, std::size_t size) {
    return FormatoDB(state, Utf8Left(value.Text(), size), kLiteralText, true).Text();
}

// A value placed between quotes in a statement, its own quotes doubled.
std::string BetweenQuotes(const Variant& value) {
    return ReplaceAll(value.Text(), "'", "''");
}

// The order's office becomes a known office of the customer, created from the buyer's name and
// postal address when the customer does not have it yet.
void RecordOffice(NsoState& state, const Recordset& header, const std::string& company,
                  const std::string& kind, const std::string& customer) {
    const Variant office = header.Value("IE93_DO11_UFFICIOPA_CG1M");
    if (LunghezzaTesto(office) <= 0) {
        return;
    }
    const std::string code = FormatoDB(state, office, kLiteralText, false).Text();
    auto known = Conn(state).Query("SELECT TOP 1 CG44_CODICE_CG16, CG1M_CODICE "
                                   "FROM CG44_CLIFOR WITH (NOLOCK) "
                                   "LEFT OUTER JOIN CG1M_UFFICIOPA WITH (NOLOCK) "
                                   "ON CG1M_CODICE_CG16 = CG44_CODICE_CG16 AND "
                                   "   CG1M_TIPOCF_CG44 = CG44_TIPOCF AND "
                                   "   CG1M_CODICE = " +
                                   code + "WHERE CG44_DITTA_CG18  = " + company +
                                   " AND       CG44_TIPOCF      = " + kind +
                                   " AND       CG44_CLIFOR      = " + customer);
    if (known->Eof() ||
        !ValoreODefault(known->Value("CG1M_CODICE"), std::string()).Text().empty()) {
        return;
    }
    Conn(state).Execute(
        "INSERT INTO CG1M_UFFICIOPA   (CG1M_CODICE, CG1M_CODICE_CG16, CG1M_NOME, "
        "CG1M_INDIRIZZO, CG1M_COMUNE, CG1M_CAP, CG1M_INDTYPEB2B) VALUES ( " +
        code + ", " + known->Value("CG44_CODICE_CG16").Text() + ", " +
        CutLiteral(state, header.Value("IE92_BuyerCustomerParty_Party_PartyName_Name"),
                   kOfficeName) +
        ", " +
        CutLiteral(state, header.Value("IE92_BuyerCustomerParty_Party_PostalAddress_StreetName"),
                   kOfficeAddress) +
        ", " +
        CutLiteral(state, header.Value("IE92_BuyerCustomerParty_Party_PostalAddress_CityName"),
                   kOfficeCity) +
        ", " +
        CutLiteral(state, header.Value("IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone"),
                   kOfficePostalCode) +
        ",  1 ) ");
}

// The delivery location is recorded on the destination the order was decoded to, unless a
// destination of the customer already carries it.
void RecordDeliveryLocation(NsoState& state, const Recordset& header, const std::string& company,
                            const std::string& kind, const std::string& customer) {
    const Variant destination = header.Value("IE93_DO11_CLIFORDEST");
    const Variant location = header.Value("IE92_Delivery_DeliveryLocation_ID");
    if (LunghezzaTesto(destination) <= 0 || LunghezzaTesto(location) <= 0) {
        return;
    }
    const std::string ofCustomer = "WHERE MG22_DITTA_CG18            = " + company +
                                   " AND       MG22_TIPOCF_CG44           = " + kind +
                                   " AND       MG22_CLIFOR_CG44           = " + customer +
                                   " AND       ";
    const std::string locationCode = FormatoDB(state, location, kLiteralUnicode, false).Text();
    auto recorded = Conn(state).Query("SELECT TOP 1 1 FROM MG22_CLIFORDEST WITH (NOLOCK) " +
                                      ofCustomer + "MG22_IDDELIVERYLOCATIONNSO = " + locationCode);
    if (!recorded->Eof()) {
        return;
    }
    Conn(state).Execute("UPDATE MG22_CLIFORDEST SET MG22_IDDELIVERYLOCATIONNSO = " + locationCode +
                        " " + ofCustomer + "MG22_CODDESTIN             = '" +
                        BetweenQuotes(destination) + "'");
}

// The standard item identifier of each line is recorded on the line's item, unless an item of
// the company already carries it.
void RecordStandardItemIds(NsoState& state, const std::string& id, const std::string& company) {
    auto lines = Conn(state).Query("SELECT IE95_DO30_CODART_MG66, "
                                   "       IE94_LineItem_Item_StandardItemIdentification_ID "
                                   "FROM IE95_NSOCORPO WITH (NOLOCK) "
                                   "LEFT OUTER JOIN IE94_NSOCORPOXML WITH (NOLOCK) "
                                   "ON IE94_ID = IE95_ID_IE94 "
                                   "WHERE IE95_ID_IE91 = " +
                                   id);
    for (; !lines->Eof(); lines->MoveNext()) {
        const Variant item = lines->Value("IE95_DO30_CODART_MG66");
        const Variant standard = ValoreODefault(
            lines->Value("IE94_LineItem_Item_StandardItemIdentification_ID"), std::string());
        if (LunghezzaTesto(item) == 0 || standard.Text().empty()) {
            continue;
        }
        const std::string standardCode = FormatoDB(state, standard, kLiteralText, false).Text();
        std::string find =
            "SELECT TOP 1 1 FROM MG66_ANAGRART WITH (NOLOCK) WHERE MG66_DITTA_CG18   = ";
        find += company;
        find += " AND       MG66_AICMINSANNSO = ";
        find += standardCode;
        if (Conn(state).Query(find)->Eof()) {
            std::string record = "UPDATE MG66_ANAGRART SET MG66_AICMINSANNSO = ";
            record += standardCode;
            record += " WHERE MG66_DITTA_CG18 = ";
            record += company;
            record += " AND       MG66_CODART     = '";
            record += BetweenQuotes(item);
            record += "'";
            Conn(state).Execute(record);
        }
    }
}

} // namespace

void ScriviDatiAggiuntivi(NsoState& state, std::int32_t fId) {
    ResetStatus(state);
    Guard(state, "ScriviDatiAggiuntivi", [&] {
        const std::string id = std::to_string(fId);
        const std::string company = CompanyCodeSql(state);
        auto header = Conn(state).Query(
            "SELECT IE93_DO11_TIPOCF_CG44, IE93_DO11_CLIFOR_CG44, IE93_DO11_UFFICIOPA_CG1M, "
            "IE93_DO11_CLIFORDEST, "
            "       IE92_BuyerCustomerParty_Party_PartyName_Name, "
            "       IE92_BuyerCustomerParty_Party_PostalAddress_StreetName, "
            "       IE92_BuyerCustomerParty_Party_PostalAddress_CityName, "
            "       IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone, "
            "       IE92_Delivery_DeliveryLocation_ID "
            "FROM IE92_NSOTESTATAXML WITH (NOLOCK) "
            "INNER JOIN IE93_NSOTESTATA WITH (NOLOCK) "
            "ON IE93_ID_IE91 = IE92_ID_IE91 "
            "WHERE IE92_ID_IE91 = " +
            id);
        if (!header->Eof()) {
            const std::string kind = header->Value("IE93_DO11_TIPOCF_CG44").Text();
            const std::string customer = header->Value("IE93_DO11_CLIFOR_CG44").Text();
            RecordOffice(state, *header, company, kind, customer);
            RecordDeliveryLocation(state, *header, company, kind, customer);
        }
        RecordStandardItemIds(state, id, company);
    });
}

} // namespace kvad::nso
