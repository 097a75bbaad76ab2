#include "import/dati_aggiuntivi.h"

#include <gtest/gtest.h>

#include "import_test_env.h"

namespace kvad::nso::test {
namespace {

class ScriviDatiAggiuntiviTest : public ImportTest {
  protected:
    void Write(const std::string& number) {
        ScriviDatiAggiuntivi(env.S(), Id(number));
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    }
};

TEST_F(ScriviDatiAggiuntiviTest, TheOfficeIsCreatedOnceAndCutToItsColumns) {
    env.Native("INSERT INTO CG1M_UFFICIOPA (CG1M_CODICE, CG1M_CODICE_CG16) VALUES ('UFOLD', 501)");
    Add({"A", "2024-03-01"});
    Add({"B", "2024-03-02"});
    env.Native("UPDATE IE92_NSOTESTATAXML SET "
               "IE92_BuyerCustomerParty_Party_PartyName_Name = '" +
               std::string(70, 'N') +
               "', IE92_BuyerCustomerParty_Party_PostalAddress_StreetName = 'Via dell''Ospedale "
               "Maggiore, 1234 - Padiglione C', "
               "IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone = '061320000000'");
    env.Native("UPDATE IE93_NSOTESTATA SET IE93_DO11_UFFICIOPA_CG1M = NULL WHERE IE93_ID_IE91 = " +
               N(Id("B")));

    Write("A");
    Write("A");
    Write("B");

    auto office = env.Db().Query("SELECT * FROM CG1M_UFFICIOPA WHERE CG1M_CODICE = 'UFTEST'");
    ASSERT_EQ(office->RecordCount(), 1) << "created once, beside the customer's other office";
    EXPECT_EQ(office->Value("CG1M_CODICE_CG16").ToLong(), 501);
    EXPECT_EQ(office->Value("CG1M_TIPOCF_CG44").ToLong(), 0);
    EXPECT_EQ(office->Value("CG1M_NOME").Text(), std::string(60, 'N'));
    EXPECT_EQ(office->Value("CG1M_INDIRIZZO").Text(), "Via dell'Ospedale Maggiore, 1234 - Padig");
    EXPECT_TRUE(office->Value("CG1M_COMUNE").IsNull());
    EXPECT_EQ(office->Value("CG1M_CAP").Text(), "0613200000");
    EXPECT_EQ(office->Value("CG1M_INDTYPEB2B").ToLong(), 1);
    EXPECT_EQ(Count("CG1M_UFFICIOPA"), 2) << "an order without office writes none";
}

TEST_F(ScriviDatiAggiuntiviTest, LocationAndStandardIdsAreRecordedOnceAndNeverMoved) {
    env.Native("INSERT INTO MG22_CLIFORDEST (MG22_DITTA_CG18, MG22_TIPOCF_CG44, MG22_CLIFOR_CG44, "
               "MG22_CODDESTIN, MG22_IDDELIVERYLOCATIONNSO) VALUES (1, 0, 1, 'ALT', 'LOC-B');"
               "INSERT INTO MG66_ANAGRART (MG66_DITTA_CG18, MG66_CODART, MG66_AICMINSANNSO) "
               "VALUES (1, 'ART9', 'GTIN-2')");
    Add({"A", "2024-03-01"});
    Add({"B", "2024-03-02"});
    Add({"C", "2024-03-03"});
    // B: its first line's identifier is blank. C: no destination was decoded.
    env.Native("UPDATE IE94_NSOCORPOXML SET IE94_LineItem_Item_StandardItemIdentification_ID = "
               "'  ' WHERE IE94_ID = (SELECT MIN(IE94_ID) FROM IE94_NSOCORPOXML WHERE "
               "IE94_ID_IE91 = " +
               N(Id("B")) + ");" + "UPDATE IE93_NSOTESTATA SET IE93_DO11_CLIFORDEST = '' WHERE " +
               "IE93_ID_IE91 = " + N(Id("C")));
    auto recorder = std::make_shared<kvad::test::FailingConnection>(env.SharedDb());
    env.S().Connessione = recorder;

    Write("A");
    Write("B");
    Write("C");

    EXPECT_EQ(env.Scalar("SELECT MG22_IDDELIVERYLOCATIONNSO FROM MG22_CLIFORDEST WHERE "
                         "MG22_CODDESTIN = 'MAG'")
                  .Text(),
              "LOC-A")
        << "B's location is already another destination's; C has no destination";
    EXPECT_EQ(env.Scalar("SELECT MG66_AICMINSANNSO FROM MG66_ANAGRART WHERE MG66_CODART = "
                         "'ART1'")
                  .Text(),
              "GTIN-1");
    EXPECT_TRUE(env.Scalar("SELECT MG66_AICMINSANNSO FROM MG66_ANAGRART WHERE MG66_CODART = 'ART2'")
                    .IsNull())
        << "an identifier of another item is not moved";
    EXPECT_EQ(Sent(*recorder, "UPDATE MG66_ANAGRART"), 1);
    EXPECT_EQ(Sent(*recorder, "UPDATE MG22_CLIFORDEST"), 1);
    EXPECT_EQ(Sent(*recorder, "MG66_AICMINSANNSO = ''"), 0)
        << "a blank identifier is not looked up";
}

TEST_F(ScriviDatiAggiuntiviTest, ADestinationCodeWithAQuoteKeepsTheStatementIntact) {
    env.Native("INSERT INTO MG22_CLIFORDEST (MG22_DITTA_CG18, MG22_TIPOCF_CG44, MG22_CLIFOR_CG44, "
               "MG22_CODDESTIN) VALUES (1, 0, 1, 'D''1')");
    Add({"A", "2024-03-01"});
    env.Native("UPDATE IE93_NSOTESTATA SET IE93_DO11_CLIFORDEST = 'D''1'");

    Write("A");

    EXPECT_EQ(env.Scalar("SELECT MG22_IDDELIVERYLOCATIONNSO FROM MG22_CLIFORDEST WHERE "
                         "MG22_CODDESTIN = 'D''1'")
                  .Text(),
              "LOC-A");
    EXPECT_TRUE(env.Scalar("SELECT MG22_IDDELIVERYLOCATIONNSO FROM MG22_CLIFORDEST WHERE "
                           "MG22_CODDESTIN = 'MAG'")
                    .IsNull());
}

} // namespace
} // namespace kvad::nso::test
