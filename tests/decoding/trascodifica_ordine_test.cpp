#include "decoding/trascodifica_ordine.h"

#include <gtest/gtest.h>

#include "decoding_test_env.h"
#include "verification/error_log.h"

namespace kvad::nso {
namespace {

using test::Q;

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
        Line(order, {{"IE94_LineItem_Quantity", "2"}, {"IE94_LineItem_Price_PriceAmount", "3"}});
        HeaderAllowance(order, "false", "4", "Abbuono");
        return order;
    }

    // An ERP document made from the NSO order `order`, in company `company`.
    void ErpDocument(std::int32_t order, std::int32_t company) {
        env.Native("INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, "
                   "DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC) VALUES (" +
                   std::to_string(company) + ", 501, 'OCL  ', 'A', 17, '2024-03-07 00:00:00')");
        env.Native("INSERT INTO DO12_DOCTESTARIF (DO12_DITTA_CG18, DO12_NUMREG_CO99, "
                   "DO12_FEIDDOC, DO12_FEDATADOC, DO12_FEIDSOGGETTO) SELECT " +
                   std::to_string(company) +
                   ", 501, IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID FROM IE91_NSOFILES "
                   "WHERE IE91_ID = " +
                   std::to_string(order));
    }

    // Every decoded row of an order, as text, to compare two states.
    std::string Snapshot(std::int32_t order) {
        std::string out;
        for (const std::string table : {"IE93_NSOTESTATA", "IE95_NSOCORPO"}) {
            auto rs = env.Db().Query("SELECT * FROM " + table + " WHERE " + table.substr(0, 5) +
                                     "ID_IE91 = " + std::to_string(order) + " ORDER BY 1");
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
    EXPECT_EQ(Header(order, "IE93_DO13_SCIMPCASSA").ToDecimal(), *Decimal::Parse("4"));

    // A user's correction survives the next run; the rows are neither deleted nor recomputed.
    env.Native("UPDATE IE95_NSOCORPO SET IE95_DO30_CODART_MG66 = 'FIXED' WHERE IE95_ID_IE91 = " +
               std::to_string(order) + " AND IE95_DO30_PROGRIGA = 1");
    const std::string before = Snapshot(order);
    const long staged = env.Count("SELECT IE94_ID FROM IE94_NSOCORPOXML");
    // Messages of other phases stay.
    ScriviErrorLog(env.S(), order, 0, 0, 103, "IE93_DO11_CLIFOR_CG44", 3, 1, "");
    TrascodificaOrdine(env.S(), order, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(Snapshot(order), before);
    EXPECT_EQ(env.Count("SELECT IE94_ID FROM IE94_NSOCORPOXML"), staged);
    EXPECT_EQ(Messages(order),
              (std::vector<std::string>{"103 IE93_DO11_CLIFOR_CG44 type 3 context 1 line 0",
                                        "15  type 3 context 3 line 0"}));
}

TEST_F(DriverTest, Message15CarriesTheDocumentsFourValues) {
    const std::int32_t order = Order("IT03456780547", "UFBUY1");
    // The document belongs to another company: the NSO identification alone decides.
    ErpDocument(order, 2);
    TrascodificaOrdine(env.S(), order, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(env.Scalar("SELECT IE98_ERRORMESSAGE FROM IE98_NSO_LOGERRORS WHERE "
                         "IE98_CODE_IE97 = 15")
                  .Text(),
              "Ordine già importato nel documento OCL sezionale A numero 17 del 07/03/2024");

    // Another order of the same buyer is not that document's order.
    const std::int32_t other = Order("IT03456780547", "UFBUY1");
    TrascodificaOrdine(env.S(), other, false);
    EXPECT_TRUE(Messages(other).empty());
}

TEST_F(DriverTest, ForceDecodesAgainFromScratch) {
    const std::int32_t order = AmbiguousOrder();
    TrascodificaOrdine(env.S(), order, false);
    env.Native("UPDATE IE95_NSOCORPO SET IE95_DO30_CODART_MG66 = 'FIXED'");
    TrascodificaOrdine(env.S(), order, true);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(env.Count("SELECT 1 FROM IE95_NSOCORPO WHERE IE95_DO30_CODART_MG66 = 'FIXED'"), 0);
    EXPECT_EQ(env.Count("SELECT 1 FROM IE93_NSOTESTATA"), 1);
    EXPECT_EQ(Messages(order).size(), 1U) << "106 once, not twice";
    // The staged line added for the header allowance the first time is now read as an order
    // line with empty values: one line more.
    EXPECT_EQ(env.Count("SELECT 1 FROM IE95_NSOCORPO"), 3);

    // A header without lines is decoded again in full with force off.
    env.Native("DELETE FROM IE95_NSOCORPO");
    env.Native("UPDATE IE93_NSOTESTATA SET IE93_DO11_CODDEP = 'OLD'");
    TrascodificaOrdine(env.S(), order, false);
    EXPECT_EQ(Header(order, "IE93_DO11_CODDEP").Text(), "01");
}

TEST_F(DriverTest, DeletionFlagsMustBeExactlyTrue) {
    const std::int32_t order = AmbiguousOrder();
    TrascodificaOrdine(env.S(), order, false);
    EliminaTabellaTrascodifica(env.S(), order, std::int32_t{1}, std::int32_t{1});
    EXPECT_EQ(env.Count("SELECT 1 FROM IE95_NSOCORPO"), 2);
    EliminaTabellaTrascodifica(env.S(), order, false, true);
    EXPECT_EQ(env.Count("SELECT 1 FROM IE95_NSOCORPO"), 0);
    EXPECT_EQ(env.Count("SELECT 1 FROM IE93_NSOTESTATA"), 1);
    EliminaTabellaTrascodifica(env.S(), order, true, false);
    EXPECT_EQ(env.Count("SELECT 1 FROM IE93_NSOTESTATA"), 0);
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
}

TEST_F(DriverTest, FailedHeaderStillWritesTheHeaderAllowanceLines) {
    const std::int32_t order =
        Insert("IE91_NSOFILES", {{"IE91_DITTA_CG18", "1"}, {"IE91_IDORD", Q("X")}});
    Line(order, {{"IE94_LineItem_Quantity", "1"}});
    HeaderAllowance(order, "true", "9", "Trasporto");
    DecodificaDati(env.S(), order);
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.Count("SELECT 1 FROM IE93_NSOTESTATA"), 0);
    EXPECT_EQ(Decoded(order, 1, "IE95_DO30_DESCART").Text(), "Trasporto")
        << "the order line needs the decoded header; the header charge does not";
}

} // namespace
} // namespace kvad::nso
