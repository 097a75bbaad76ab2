#include "decoding/trascodifica_ordine.h"

#include <gtest/gtest.h>

#include "decoding_test_env.h"
#include "verification/error_log.h"

namespace kvad::nso {
namespace {

class DriverTest : public test::DecodingTest {
  protected:
    // An order whose office has two customers (warning 106), with one line and one untaxed
    // header allowance.
    std::int32_t AmbiguousOrder() {
        Customer(70, "01111111115", "NULL");
        Customer(71, "02222222224", "NULL");
        Office("UFTWO1", 70);
        Office("UFTWO1", 71);
        const std::int32_t order = Order("", "UFTWO1");
        Line(order, {{"IE94_LineItem_Quantity", "2"}});
        HeaderAllowance(order, "false", "4", "Abbuono");
        return order;
    }

    // An ERP document of company `company` made from the NSO order `order`.
    void ErpDocument(std::int32_t order, std::int32_t company) {
        const std::string companyCode = std::to_string(company);
        env.Native("INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, "
                   "DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC) VALUES (" +
                   companyCode + ", 501, 'OCL  ', 'A', 17, '2024-03-07 00:00:00');" +
                   "INSERT INTO DO12_DOCTESTARIF (DO12_DITTA_CG18, DO12_NUMREG_CO99, "
                   "DO12_FEIDDOC, DO12_FEDATADOC, DO12_FEIDSOGGETTO) SELECT " +
                   companyCode +
                   ", 501, IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID FROM IE91_NSOFILES "
                   "WHERE IE91_ID = " +
                   std::to_string(order));
    }

    // Every decoded row, as text.
    std::string Snapshot() {
        std::string out;
        for (const char* table : {"IE93_NSOTESTATA", "IE95_NSOCORPO", "IE94_NSOCORPOXML"}) {
            auto rs = env.Db().Query(std::string("SELECT * FROM ") + table + " ORDER BY 1");
            for (; !rs->Eof(); rs->MoveNext()) {
                for (int i = 0; i < rs->FieldCount(); ++i) {
                    out += rs->Value(i).Text() + "|";
                }
                out += "\n";
            }
        }
        return out;
    }
};

TEST_F(DriverTest, SecondDecodingKeepsTheRowsAndLeavesOnlyMessage15) {
    const std::int32_t order = AmbiguousOrder();
    ErpDocument(order, 1);
    TrascodificaOrdine(env.S(), order, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(Messages(order),
              (std::vector<std::string>{"15  type 3 context 3 line 0",
                                        "106 IE93_DO11_CLIFOR_CG44 type 2 context 3 line 0"}));

    // A user's correction survives the next run; messages of other phases stay.
    env.Native("UPDATE IE95_NSOCORPO SET IE95_DO30_CODART_MG66 = 'FIXED'");
    const std::string before = Snapshot();
    ScriviErrorLog(env.S(), order, 0, 0, 103, "IE93_DO11_CLIFOR_CG44", 3, 1, "");
    TrascodificaOrdine(env.S(), order, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Messages(order),
              (std::vector<std::string>{"103 IE93_DO11_CLIFOR_CG44 type 3 context 1 line 0",
                                        "15  type 3 context 3 line 0"}));

    // Force decodes afresh: the correction is gone, 106 is back once.
    TrascodificaOrdine(env.S(), order, true);
    EXPECT_EQ(env.Count("SELECT 1 FROM IE95_NSOCORPO WHERE IE95_DO30_CODART_MG66 = 'FIXED'"), 0);
    EXPECT_EQ(Messages(order).size(), 3U);
}

TEST_F(DriverTest, Message15CarriesTheDocumentsFourValues) {
    const std::int32_t order = Order("IT03456780547", "UFBUY1");
    ErpDocument(order, 2); // the NSO identification decides, whatever the document's company
    TrascodificaOrdine(env.S(), order, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(kvad::test::ReadLogOf(env.Db(), order).at(0).message.Text(),
              "Ordine già importato nel documento OCL sezionale A numero 17 del 07/03/2024");
    const std::int32_t other = Order("IT03456780547", "UFBUY1");
    TrascodificaOrdine(env.S(), other, false);
    EXPECT_TRUE(Messages(other).empty());
}

TEST_F(DriverTest, HeaderWithoutLinesIsDecodedAgainAndAFailedHeaderUndoesTheDecoding) {
    const std::int32_t order = AmbiguousOrder();
    TrascodificaOrdine(env.S(), order, false);
    env.Native("DELETE FROM IE95_NSOCORPO; UPDATE IE93_NSOTESTATA SET IE93_DO11_CODDEP = 'OLD'");
    TrascodificaOrdine(env.S(), order, false);
    EXPECT_EQ(Header(order, "IE93_DO11_CODDEP").Text(), "01");

    const std::int32_t unstaged = Insert("IE91_NSOFILES", {{"IE91_DITTA_CG18", "1"}});
    Line(unstaged, {{"IE94_LineItem_Quantity", "1"}});
    HeaderAllowance(unstaged, "true", "9", "Trasporto");
    // The driver keeps a decoding whole or not at all: the failed header undoes the charge's
    // line and the staged line added for it.
    TrascodificaOrdine(env.S(), unstaged, false);
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: DecodificaTestata", 0), 0U);
    EXPECT_EQ(
        env.Count("SELECT 1 FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " + std::to_string(unstaged)),
        0);
    EXPECT_EQ(env.Count("SELECT 1 FROM IE94_NSOCORPOXML WHERE IE94_ID_IE91 = " +
                        std::to_string(unstaged)),
              1);

    DecodificaDati(env.S(), unstaged);
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(Decoded(unstaged, 1, "IE95_DO30_DESCART").Text(), "Trasporto")
        << "the order line needs the decoded header; the order's charge does not";
}

} // namespace
} // namespace kvad::nso
