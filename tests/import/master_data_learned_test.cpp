// Two orders of the same buyer, end to end: the first decodes with the help of its buyer's tax id,
// its delivery party's name and the seller's item code; importing it writes back what it taught,
// so the second, which carries only the office, the delivery location and the standard item id,
// decodes completely.
#include <gtest/gtest.h>

#include "decoding/trascodifica_ordine.h"
#include "host/master_data.h"
#include "import/importa_documenti.h"
#include "import_test_env.h"
#include "kvad_nso/text.h"
#include "ubl/xml_loader.h"

namespace kvad::nso::test {
namespace {

constexpr const char* kBuyerName =
    "Comune di Borgo San Vitale - Settore Servizi Culturali e Biblioteca Civica";
constexpr const char* kStreet = "Piazza del Municipio, 1 - Palazzo del Podestà, secondo piano";

std::string OrderXml(const std::string& number, const std::string& date, bool taxId,
                     bool deliveryParty, const std::string& sellerCode) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<Order xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Order-2\" "
        "xmlns:cac=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\" "
        "xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">"
        "<cbc:ID>" +
        number + "</cbc:ID><cbc:IssueDate>" + date +
        "</cbc:IssueDate><cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>"
        "<cac:BuyerCustomerParty><cac:Party><cbc:EndpointID schemeID=\"0201\">UFN3W7"
        "</cbc:EndpointID><cac:PartyName><cbc:Name>" +
        kBuyerName + "</cbc:Name></cac:PartyName><cac:PostalAddress><cbc:StreetName>" + kStreet +
        "</cbc:StreetName><cbc:CityName>Borgo San Vitale</cbc:CityName>"
        "<cbc:PostalZone>48012</cbc:PostalZone></cac:PostalAddress>";
    if (taxId) {
        xml += "<cac:PartyTaxScheme><cbc:CompanyID>IT00412345670</cbc:CompanyID><cac:TaxScheme>"
               "<cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:PartyTaxScheme>";
    }
    xml += "</cac:Party></cac:BuyerCustomerParty>"
           "<cac:AccountingCustomerParty><cac:Party><cbc:EndpointID schemeID=\"0201\">UFN3W7"
           "</cbc:EndpointID></cac:Party></cac:AccountingCustomerParty>"
           "<cac:Delivery><cac:DeliveryLocation><cbc:ID>00412345670-BIBL</cbc:ID>"
           "</cac:DeliveryLocation>";
    if (deliveryParty) {
        xml += "<cac:DeliveryParty><cac:PartyName><cbc:Name>Biblioteca comunale</cbc:Name>"
               "</cac:PartyName></cac:DeliveryParty>";
    }
    xml += "</cac:Delivery><cac:OrderLine><cac:LineItem><cbc:ID>1</cbc:ID>"
           "<cbc:Quantity unitCode=\"C62\">6</cbc:Quantity>"
           "<cbc:LineExtensionAmount currencyID=\"EUR\">539.40</cbc:LineExtensionAmount>"
           "<cac:Delivery><cac:RequestedDeliveryPeriod><cbc:EndDate>2024-06-28</cbc:EndDate>"
           "</cac:RequestedDeliveryPeriod></cac:Delivery>"
           "<cac:Price><cbc:PriceAmount currencyID=\"EUR\">89.90</cbc:PriceAmount></cac:Price>"
           "<cac:Item><cbc:Name>TONER NERO ALTA CAPACITA</cbc:Name>"
           "<cac:SellersItemIdentification><cbc:ID>" +
           sellerCode +
           "</cbc:ID></cac:SellersItemIdentification><cac:StandardItemIdentification>"
           "<cbc:ID schemeID=\"0160\">8012345000999</cbc:ID></cac:StandardItemIdentification>"
           "<cac:ClassifiedTaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>22</cbc:Percent>"
           "<cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:ClassifiedTaxCategory>"
           "</cac:Item></cac:LineItem></cac:OrderLine></Order>";
    return xml;
}

class MasterDataLearned : public ::testing::Test {
  protected:
    MasterDataLearned() {
        (void)host::LoadDemoMasterData(env.Db(), 1);
        env.S().Param_CodiceDocumento = "OCL";
        env.S().Param_Tracciato = "NSO";
    }

    std::int32_t Receive(const std::string& number, const std::string& date,
                         const std::string& xml) {
        env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, "
                   "IE91_ENDPOINTID, IE91_XML) VALUES (1, " +
                   Q(number) + ", " + Q(date + " 00:00:00") + ", 'UFN3W7', " + Q(xml) + ")");
        const std::int32_t id = env.Scalar("SELECT MAX(IE91_ID) FROM IE91_NSOFILES").ToLong();
        GetOrderFromXML(env.S(), id, false);
        EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        return id;
    }

    void Decode(std::int32_t id) {
        TrascodificaOrdine(env.S(), id, true);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    }

    /// Customer, destination and item of a decoded order, and its decoding messages.
    std::string Decoded(std::int32_t id) {
        auto rs = env.Db().Query(
            "SELECT IE93_DO11_CLIFOR_CG44, IE93_DO11_CLIFORDEST, IE95_DO30_CODART_MG66 FROM "
            "IE93_NSOTESTATA LEFT OUTER JOIN IE95_NSOCORPO ON IE95_ID_IE91 = IE93_ID_IE91 WHERE "
            "IE93_ID_IE91 = " +
            N(id));
        return rs->Value(0).Text() + " " + rs->Value(1).Text() + " " + rs->Value(2).Text() +
               " messages " + std::to_string(kvad::test::ReadLogOf(env.Db(), id).size());
    }

    void Import(std::int32_t id) {
        LeggiOrdini(env.S(), kaOrdiniDaProcessare);
        env.Db().Execute("UPDATE #TEMP_ORD SET TMP_ELABORA = 2 WHERE IE91_ID = " + N(id));
        env.S().RstOrdini->Requery();
        OpenResultGrids(env.S());
        ImportaDocumenti(env.S());
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    }

    kvad::test::TestEnv env;
};

TEST_F(MasterDataLearned, TheNextOrderOfTheSameBuyerDecodesWithoutHelp) {
    const std::int32_t first =
        Receive("2024/B-17", "2024-05-06",
                OrderXml("2024/B-17", "2024-05-06", true, true, "AFP-UFF-07431"));
    const std::int32_t second =
        Receive("2024/B-29", "2024-05-20",
                OrderXml("2024/B-29", "2024-05-20", false, false, "BIB-TONER-01"));
    Decode(second);
    EXPECT_EQ(Decoded(second), "0   messages 0") << "nothing is known of it yet";
    Decode(first);
    EXPECT_EQ(Decoded(first), "1002 BIBL AFP-UFF-07431 messages 0");

    Import(first);
    Decode(second);
    EXPECT_EQ(Decoded(second), "1002 BIBL AFP-UFF-07431 messages 0");
    Import(second);

    auto office = env.Db().Query("SELECT * FROM CG1M_UFFICIOPA WHERE CG1M_CODICE = 'UFN3W7'");
    ASSERT_EQ(office->RecordCount(), 1);
    EXPECT_EQ(office->Value("CG1M_NOME").Text(), Utf8Left(kBuyerName, 60));
    EXPECT_EQ(office->Value("CG1M_INDIRIZZO").Text(), Utf8Left(kStreet, 40));
    EXPECT_EQ(env.Scalar("SELECT MG22_IDDELIVERYLOCATIONNSO FROM MG22_CLIFORDEST WHERE "
                         "MG22_CLIFOR_CG44 = 1002 AND MG22_CODDESTIN = 'BIBL'")
                  .Text(),
              "00412345670-BIBL");
    EXPECT_EQ(env.Scalar("SELECT COUNT(*) FROM MG66_ANAGRART WHERE MG66_AICMINSANNSO = "
                         "'8012345000999'")
                  .ToLong(),
              1);
    EXPECT_EQ(
        env.Scalar("SELECT COUNT(*) FROM DO11_DOCTESTATA WHERE DO11_CLIFOR_CG44 = 1002").ToLong(),
        2);
}

} // namespace
} // namespace kvad::nso::test
