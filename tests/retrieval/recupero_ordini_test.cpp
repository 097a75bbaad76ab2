#include "retrieval/recupero_ordini.h"

#include <gtest/gtest.h>

#include "kvad_nso/nso_ws.h"
#include "support/scripted_platform.h"
#include "support/test_env.h"

namespace kvad::nso {
namespace {

using test::Script;
using test::TheScript;

std::string Order(const std::string& id, const std::string& issueDate) {
    return "<Order xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Order-2\" "
           "xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">"
           "<cbc:ID>" +
           id + "</cbc:ID><cbc:IssueDate>" + issueDate +
           "</cbc:IssueDate><cbc:Note>l'urgenza</cbc:Note></Order>";
}

class RetrievalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::RegisterScriptedPlatform();
        env.Native("INSERT INTO IE90_CONFIGNSO (IE90_DITTA_CG18, IE90_CODDOCUM_MG3G, "
                   "IE90_DATAORA_IMPORT, IE90_TRACCIATO_IE25) VALUES (1, 'OCL', "
                   "'2024-03-05 10:00:00', 'NSO')");
        AddProgressListener(
            env.S(), [this](auto&, std::int32_t& cur, std::int32_t& max, std::string& msg) {
                progress.push_back(std::to_string(cur) + "/" + std::to_string(max) + " " + msg);
            });
    }
    void Run() { RecuperaOrdiniNSO(env.S()); }
    long Registered() { return env.Count("SELECT IE91_ID FROM IE91_NSOFILES"); }

    test::TestEnv env;
    std::vector<std::string> progress;
};

TEST_F(RetrievalTest, EmptyListOrNothingStillRecordsTheRetrieval) {
    TheScript().nothingCollection = true;
    Run();
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(TheScript().startDate, "2024-03-04 00:00:00");
    EXPECT_EQ(Registered(), 0);
    EXPECT_EQ(env.Scalar("SELECT IE90_ESITO_IMPORT FROM IE90_CONFIGNSO").ToLong(), 0);
    EXPECT_GT(env.Scalar("SELECT IE90_DATAORA_IMPORT FROM IE90_CONFIGNSO").ToDate(),
              (DateTime{2024, 3, 5, 10, 0, 0}));
    EXPECT_EQ(progress, std::vector<std::string>{"0/0 "});
    EXPECT_EQ(TheScript().calls.back(), "logout");
}

TEST_F(RetrievalTest, NewDocumentsAreRegisteredDownloadedLoadedOnce) {
    TheScript().listed = {{"a.xml", "A1", "2024-03-06", "UFABCD", Order("A1", "2024-03-06")},
                          {"a.xml", "A1", "2024-03-06", "UFABCD", Order("A1", "2024-03-06")},
                          {"b.xml", "B'1", "2024-03-07", "UFABCD", Order("B'1", "2024-03-07")}};
    Run();
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(Registered(), 2) << "the second listing of a.xml finds the first one's row";
    EXPECT_EQ(env.Count("SELECT * FROM IE92_NSOTESTATAXML"), 2);
    EXPECT_EQ(env.Scalar("SELECT IE90_ESITO_IMPORT FROM IE90_CONFIGNSO").ToLong(), 1);
    EXPECT_EQ(env.Scalar("SELECT IE91_ID_FW07 FROM IE91_NSOFILES").ToLong(), 1);
    EXPECT_EQ(env.Scalar("SELECT IE91_XML FROM IE91_NSOFILES WHERE IE91_IDORD = 'A1'").Text(),
              Order("A1", "2024-03-06"))
        << "stored unchanged, quotes included";
    ASSERT_EQ(progress.size(), 4U);
    EXPECT_EQ(progress[1], "1/3 Id : A1 (2024-03-06) - UFABCD");
    EXPECT_EQ(progress[3], "3/3 Id : B'1 (2024-03-07) - UFABCD");

    // A later run lists them again: nothing is downloaded twice.
    TheScript().calls.clear();
    Run();
    EXPECT_EQ(Registered(), 2);
    for (const auto& call : TheScript().calls) {
        EXPECT_EQ(call.rfind("download", 0), std::string::npos) << call;
    }
    EXPECT_EQ(env.Scalar("SELECT IE90_ESITO_IMPORT FROM IE90_CONFIGNSO").ToLong(), 0);
}

TEST_F(RetrievalTest, LoginAndListingFailures) {
    TheScript().loginError = "credenziali errate";
    Run();
    EXPECT_EQ(env.S().Stato, kaErrConnessioneNSO);
    EXPECT_EQ(env.S().Errore.Text(), "credenziali errate");
    EXPECT_EQ(TheScript().calls.back(), "login") << "no logout after a failed login";

    TheScript() = Script{};
    TheScript().listError = "servizio non disponibile";
    Run();
    EXPECT_EQ(env.S().Stato, kaErrConnessioneNSO);
    EXPECT_EQ(env.S().Errore.Text(), "servizio non disponibile");
    EXPECT_EQ(TheScript().calls.back(), "logout");
    EXPECT_EQ(env.Scalar("SELECT IE90_DATAORA_IMPORT FROM IE90_CONFIGNSO").ToDate(),
              (DateTime{2024, 3, 5, 10, 0, 0}))
        << "the next retrieval starts from the same date";
}

TEST_F(RetrievalTest, ByteOrderMarkIsOneCharacter) {
    const std::string bom = "\xEF\xBB\xBF";
    TheScript().listed = {
        {"bom.xml", "M1", "2024-03-06", "UFABCD", bom + Order("M1", "2024-03-06")},
        {"odd.xml", "M2", "2024-03-06", "UFABCD", "\xC3\xA8" + Order("M2", "2024-03-06")}};
    Run();
    EXPECT_EQ(env.Scalar("SELECT IE91_XML FROM IE91_NSOFILES WHERE IE91_IDORD = 'M1'").Text(),
              Order("M1", "2024-03-06"));
    EXPECT_EQ(env.Scalar("SELECT IE91_XML FROM IE91_NSOFILES WHERE IE91_IDORD = 'M2'").Text(),
              Order("M2", "2024-03-06"))
        << "a two-byte stray character goes whole";
}

TEST_F(RetrievalTest, ForcedDownloadStoresMissingXml) {
    TheScript().listed = {{"a.xml", "A1", "2024-03-06", "UFABCD", Order("A1", "2024-03-06")}};
    env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_HUBID, IE91_IDORD, "
               "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE) VALUES (1, 0, 'a.xml', 'A1', "
               "'2024-03-06 00:00:00', 'UFABCD', 0)");
    const std::int32_t id = env.Scalar("SELECT IE91_ID FROM IE91_NSOFILES").ToLong();
    std::string error;
    Variant extra;
    ASSERT_TRUE(NSOLogin(env.S(), error, extra)) << error;
    EXPECT_TRUE(ScaricaXMLOrdine(env.S(), id, true));
    EXPECT_EQ(env.Scalar("SELECT IE91_XML FROM IE91_NSOFILES").Text(), Order("A1", "2024-03-06"));
    TheScript().listed.clear();
    EXPECT_FALSE(ScaricaXMLOrdine(env.S(), id, true)) << "the platform no longer has it";
    EXPECT_TRUE(NSOLogout(env.S()));
}

} // namespace
} // namespace kvad::nso
