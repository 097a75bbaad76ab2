#include "verification/verifica_dati.h"

#include <gtest/gtest.h>

#include "kvad_nso/codes.h"
#include "kvad_nso/recordset.h"
#include "support/log_entries.h"
#include "support/test_env.h"
#include "verification/error_log.h"

namespace kvad::nso {
namespace {

constexpr std::int32_t kOrder = 7;

// A decoded order written directly: header, staged lines and decoded lines.
class VerificaDatiTest : public ::testing::Test {
  protected:
    VerificaDatiTest() {
        env.Native("INSERT INTO IE91_NSOFILES (IE91_ID, IE91_DITTA_CG18) VALUES (7, 1);"
                   "INSERT INTO CG28_TABCODIVA (CG28_CODICE) VALUES ('22'), ('O''K')");
    }

    /// The decoded header with these values (SQLite literals) and the order's delivery location.
    void Header(const std::string& document, const std::string& section, const std::string& depot,
                const std::string& customer, const std::string& currency,
                const std::string& destination, const std::string& location) {
        env.Native("INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91, "
                   "IE92_Delivery_DeliveryLocation_ID) VALUES (7, " +
                   location +
                   ");"
                   "INSERT INTO IE93_NSOTESTATA (IE93_ID_IE91, IE93_DO11_CODDOCUM_MG3G, "
                   "IE93_DO11_SEZDOC, IE93_DO11_CODDEP, IE93_DO11_CLIFOR_CG44, "
                   "IE93_DO11_VALUTA_CG08, IE93_DO11_CLIFORDEST) VALUES (7, " +
                   document + ", " + section + ", " + depot + ", " + customer + ", " + currency +
                   ", " + destination + ")");
    }
    void CompleteHeader() { Header("'OCL'", "'A'", "'01'", "1001", "'001'", "'D1'", "'LOC'"); }

    /// A decoded line of quantity 1 with its staged line (seller's item id).
    void Line(int number, const std::string& type, const std::string& item,
              const std::string& sellerId, const std::string& delivery, const std::string& vat) {
        const std::string n = std::to_string(number);
        env.Native("INSERT INTO IE94_NSOCORPOXML (IE94_ID, IE94_ID_IE91, "
                   "IE94_LineItem_Item_SellersItemIdentification_ID, IE94_LineItem_Quantity) "
                   "VALUES (" +
                   std::to_string(100 + number) + ", 7, " + sellerId +
                   ", 1);"
                   "INSERT INTO IE95_NSOCORPO (IE95_ID_IE91, IE95_ID_IE94, IE95_DO30_PROGRIGA, "
                   "IE95_DO30_INDTIPORIGA, IE95_DO30_CODART_MG66, IE95_DO31_DATACONS, "
                   "IE95_DO30_ALIVA_CG28, IE95_DO30_QTA1) VALUES (7, " +
                   std::to_string(100 + number) + ", " + n + ", " + type + ", " + item + ", " +
                   delivery + ", " + vat + ", 1)");
    }

    /// The context-1 entries as "line:code:field:severity", in the order written.
    std::vector<std::string> Entries(int context = 1) {
        std::vector<std::string> out;
        for (const auto& entry :
             kvad::test::ReadLog(env.Db(), "IE98_CONTESTO = " + std::to_string(context))) {
            out.push_back(std::to_string(entry.line) + "/" + std::to_string(entry.stagedLine) +
                          ":" + std::to_string(entry.code) + ":" + entry.field.Text() + ":" +
                          std::to_string(entry.severity));
        }
        return out;
    }

    int HeaderStatus() { return env.Scalar("SELECT IE93_STATUS FROM IE93_NSOTESTATA").ToLong(); }
    int LineStatus(int line) {
        return env
            .Scalar("SELECT IE95_STATUS FROM IE95_NSOCORPO WHERE IE95_DO30_PROGRIGA = " +
                    std::to_string(line))
            .ToLong();
    }
    void Verify(std::int16_t code, bool header = true, bool lines = true, std::int32_t line = 0) {
        VerificaDati(env.S(), code, kOrder, header, lines, line);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    }

    test::TestEnv env;
};

TEST_F(VerificaDatiTest, HeaderChecks) {
    Header("NULL", "'  '", "''", "0", "NULL", "NULL", "'03456780547-FARM01'");
    Verify(2);
    EXPECT_EQ(Entries(), (std::vector<std::string>{
                             "0/0:100:IE93_DO11_CODDOCUM_MG3G:3", "0/0:101:IE93_DO11_SEZDOC:3",
                             "0/0:102:IE93_DO11_CODDEP:3", "0/0:103:IE93_DO11_CLIFOR_CG44:3",
                             "0/0:104:IE93_DO11_VALUTA_CG08:3", "0/0:105:IE93_DO11_CLIFORDEST:2"}));
    EXPECT_EQ(HeaderStatus(), kaVerificaCritical);

    // A customer never decoded (null) is not reported, nor a destination the order does not ask
    // for; a second run replaces the entries instead of adding to them.
    env.Native("UPDATE IE93_NSOTESTATA SET IE93_DO11_CLIFOR_CG44 = NULL, IE93_DO11_SEZDOC = 'A', "
               "IE93_DO11_CODDOCUM_MG3G = 'OCL', IE93_DO11_CODDEP = '01', "
               "IE93_DO11_VALUTA_CG08 = '001';"
               "UPDATE IE92_NSOTESTATAXML SET IE92_Delivery_DeliveryLocation_ID = ' '");
    Verify(2);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(HeaderStatus(), kaVerificaOk);

    // The header status counts every entry of the order, of any context.
    ScriviErrorLog(env.S(), kOrder, 0, 0, 106, "IE93_DO11_CLIFOR_CG44", 2, 3, "");
    Verify(2);
    EXPECT_EQ(HeaderStatus(), kaVerificaWarning);
    // An unreadable number of a line, a decoding error, holds the whole order.
    ScriviErrorLog(env.S(), kOrder, 0, 1, message::kUnreadableNumber, "IE95_DO30_QTA1",
                   severity::kError, Contesto_DecodificaDati, "");
    Verify(2);
    EXPECT_EQ(HeaderStatus(), kaVerificaCritical);
}

TEST_F(VerificaDatiTest, LineChecksAndStatuses) {
    CompleteHeader();
    Line(1, "2", "NULL", "'S1'", "NULL", "NULL");                  // description line: not checked
    Line(2, "0", "NULL", "'S2'", "NULL", "'22'");                  // no item, no delivery date
    Line(3, "0", "'A3'", "NULL", "'2024-04-01 00:00:00'", "'99'"); // unknown VAT code
    Line(4, "NULL", "NULL", "NULL", "'2024-04-01 00:00:00'", "' '"); // no VAT code
    Line(5, "0", "NULL", "NULL", "'2024-04-01 00:00:00'", "'O''K'"); // nothing to report
    Verify(2);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"2/102:200:IE95_DO30_CODART_MG66:2",
                                                   "2/102:201:IE95_DO31_DATACONS:2",
                                                   "3/103:203:IE95_DO30_ALIVA_CG28:3",
                                                   "4/104:202:IE95_DO30_ALIVA_CG28:3"}));
    EXPECT_EQ(LineStatus(1), kaVerificaOk);
    EXPECT_EQ(LineStatus(2), kaVerificaWarning);
    EXPECT_EQ(LineStatus(3), kaVerificaCritical);
    EXPECT_EQ(LineStatus(4), kaVerificaCritical);
    EXPECT_EQ(LineStatus(5), kaVerificaOk);
    EXPECT_EQ(HeaderStatus(), kaVerificaCritical);

    // One line checked again: the others keep their entries and statuses as they are.
    env.Native("UPDATE IE95_NSOCORPO SET IE95_DO30_ALIVA_CG28 = '22' WHERE IE95_DO30_PROGRIGA = 3;"
               "UPDATE IE95_NSOCORPO SET IE95_STATUS = 0 WHERE IE95_DO30_PROGRIGA <> 3");
    Verify(2, false, true, 3);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"2/102:200:IE95_DO30_CODART_MG66:2",
                                                   "2/102:201:IE95_DO31_DATACONS:2",
                                                   "4/104:202:IE95_DO30_ALIVA_CG28:3"}));
    EXPECT_EQ(LineStatus(3), kaVerificaOk);
    EXPECT_EQ(LineStatus(2), 0);
    // Without the header checks the header status is still derived from the whole log.
    env.Native("UPDATE IE95_NSOCORPO SET IE95_DO30_ALIVA_CG28 = '22' WHERE IE95_DO30_PROGRIGA = 4");
    Verify(2, false, true, 4);
    EXPECT_EQ(HeaderStatus(), kaVerificaWarning);
}

TEST_F(VerificaDatiTest, CancellationsAndDeliveredChainsAreNotChecked) {
    Header("NULL", "NULL", "NULL", "0", "NULL", "NULL", "NULL");
    Line(1, "0", "NULL", "NULL", "NULL", "NULL");
    Verify(2);
    ScriviErrorLog(env.S(), kOrder, 0, 0, 15, "", 3, 3, "");

    Verify(4);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(Entries(3).size(), 1U) << "the decoding error stays";
    EXPECT_EQ(HeaderStatus(), kaVerificaOk);

    Verify(6);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"0/0:13::3"}));
    EXPECT_EQ(HeaderStatus(), kaVerificaCerottoRosso);

    Verify(5);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(HeaderStatus(), kaVerificaPuntoEsclamativo);
}

TEST_F(VerificaDatiTest, ThroughTheHostsRecordsets) {
    CompleteHeader();
    Line(1, "0", "'A1'", "NULL", "NULL", "'22'");
    env.S().RstTestata = env.Db().OpenRecordset(
        "SELECT * FROM IE92_NSOTESTATAXML INNER JOIN IE93_NSOTESTATA ON IE93_ID_IE91 = "
        "IE92_ID_IE91");
    env.S().RstCorpo = env.Db().OpenRecordset(
        "SELECT * FROM IE95_NSOCORPO LEFT OUTER JOIN IE94_NSOCORPOXML ON IE94_ID = IE95_ID_IE94");
    env.S().RstLogMessages = env.Db().Query("SELECT * FROM IE98_NSO_LOGERRORS");
    // A value the host typed into its grid and saved.
    env.S().RstTestata->SetValue("IE93_DO11_CODDEP", "");
    env.S().RstTestata->Update();

    Verify(2);
    EXPECT_EQ(env.S().RstTestata->Value("IE93_STATUS").ToLong(), kaVerificaCritical);
    EXPECT_EQ(env.S().RstCorpo->Value("IE95_STATUS").ToLong(), kaVerificaWarning);
    EXPECT_EQ(env.S().RstLogMessages->RecordCount(), 2) << "requeried: 102 and 201";
    EXPECT_EQ(HeaderStatus(), kaVerificaCritical);

    // A recordset that cannot be read ends the method through the failure path.
    env.S().RstCorpo->Close();
    VerificaDati(env.S(), 2, kOrder, true, true);
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: VerificaDati", 0), 0);
}

} // namespace
} // namespace kvad::nso
