// The nso command as a new user meets it on a fresh database, with the example orders in a folder
// inbox: documents that never arrived, clear errors for bad input, a missing set-up and a chain
// not processed yet; init --demo, fetch, decode and master on the example orders. With --json
// every command prints one JSON document, also when it fails: its own document with `failure`
// and `exit_status` where it has one, else `{failure, exit_status}`; the failure is still told
// on stderr.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

#include "folder_db.h"
#include "nso_folder.h"

namespace {

using Json = nlohmann::json;

class NsoCommandTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override { MakeFolder("nso-app"); }

    /// What a command says before `nso init`: no file yet, or a server database without the
    /// tables yet.
    [[nodiscard]] std::string NoDatabase() const {
        if (kvad::test::OnPostgres()) {
            return kvad::test::FolderDb(dir) +
                   " is not a database of nso (it has none of its tables): check --db, or let "
                   "`nso init` create them in it";
        }
        return "the database nso.db does not exist: `nso init` creates it";
    }

    /// Runs `nso ARGUMENTS --json`: what it printed on stdout, parsed.
    Json Document(const std::string& arguments) {
        const std::string output = Nso(arguments + " --json", "inbox", false);
        Json parsed = Json::parse(output, nullptr, false);
        EXPECT_FALSE(parsed.is_discarded()) << "nso " << arguments << " printed\n" << output;
        return parsed;
    }
};

TEST_F(NsoCommandTest, RetryMissingDownloadsWhatWasNeverStored) {
    Ok("init");
    Ok("config set --document OCL --layout NSO --from 01/01/2024 --section A --warehouse 01");
    Ok("fetch");
    kvad::test::RunTestSql(*kvad::test::OpenFolderDb(dir),
                           "UPDATE IE91_NSOFILES SET IE91_XML = NULL "
                           "WHERE IE91_HUBID = 'ORD-2024-0001.xml'");
    ExpectTold(Ok("fetch --retry-missing"), {"missing 1, downloaded 1, failed 0"});
    ExpectTold(Ok("fetch --retry-missing"), {"every registered document has its XML"});
}

// A command before `nso init` is told in EveryCommandThatFailsPrintsAJsonDocument.
TEST_F(NsoCommandTest, ClearErrorsForBadInputAndMissingSetUp) {
    Ok("init");
    ExpectTold(Ok("list"), {"No orders to process for company 1: `nso fetch` brings"});
    Expect(1, "config set --from 31/02/2024", {"'31/02/2024' is not a date"});
    Expect(1, "--company 9 config set --document OCL", {"unknown company 9"});
    ExpectTold(Ok("config set --document OCL --layout NSO --from 05/03/2024 --section B"),
               {"document code:  OCL  (section B, warehouse -)"});
    ExpectTold(Ok("config"), {"import layout:  NSO", "documents received since 04/03/2024"});
    Expect(1, "fetch", {"missing-folder"}, "missing-folder");
}

TEST_F(NsoCommandTest, AChainNeverProcessedIsNotImported) {
    Ok("init --demo");
    Ok("fetch");
    // Order 5 was never processed: named, it is refused before anything is written.
    const std::string output = Nso("import 5");
    EXPECT_EQ(exitCode, 1) << output;
    EXPECT_EQ(output, "nso: Order ORD/2024/00512 of 12/03/2024 (id 5) is not processed yet: `nso "
                      "process 5` processes its chain first; nothing was imported\n");
    // No log entry written, no ERP order made.
    ExpectTold(Ok("messages 5"), {"(id 5): no messages"});
    ExpectTold(Ok("orders"), {"No ERP orders for company 1"});

    // With --all the chains processed are imported and the others named.
    Ok("process 5");
    ExpectTold(Ok("import --all"),
               {"1 chain(s): 1 imported, 0 failed",
                "Not imported, not processed yet (`nso process --all` processes them):\n  Order "
                "BIB-7/2024 of 19/03/2024 (id 6)\n"});
    Expect(1, "import", {"nso: name the chains to import"});
}

TEST_F(NsoCommandTest, ExampleOrdersDecodeWithTheDemoSet) {
    EXPECT_EQ(Occurrences(Ok("init --demo"), "configured company 1: document code OCL"), 1U);
    EXPECT_EQ(Occurrences(Ok("fetch"), "listed 6, new 6"), 1U);
    const std::string decoded = Ok("decode 1 2 3 4 5");
    EXPECT_EQ(Occurrences(decoded, "messages: none"), 5U) << decoded;
    EXPECT_EQ(Occurrences(decoded, "(not found"), 0U) << decoded;
    EXPECT_EQ(Occurrences(decoded, "customer       1001 Azienda Ospedaliera"), 2U) << decoded;
    EXPECT_EQ(Occurrences(decoded, "cash discount  20"), 1U) << "the untaxed allowance of 87/2024";

    const std::string again = Ok("decode 2");
    EXPECT_EQ(Occurrences(again, "already decoded"), 1U) << again;
    EXPECT_EQ(Occurrences(again, "cash discount  20"), 1U) << again;
}

TEST_F(NsoCommandTest, WarningExamplesAndRefusals) {
    Ok("init --demo");
    EXPECT_EQ(Occurrences(Ok("fetch", "warnings"), "listed 3, new 3"), 1U);
    const std::string decoded = Ok("decode 1 2 3");
    EXPECT_EQ(Occurrences(decoded,
                          "warning 106 (decoding, header, IE93_DO11_CLIFOR_CG44): Il codice "
                          "ufficio della pubblica amministrazione corrisponde a più clienti"),
              1U)
        << decoded;
    EXPECT_EQ(Occurrences(decoded, "warning 204 (decoding, line 2, IE95_DO30_CODART_MG66)"), 1U);
    EXPECT_EQ(Occurrences(decoded, "[searched: AFP-DM-99999]"), 1U) << "the unknown item";
    EXPECT_EQ(
        Occurrences(decoded, "destination    (not found: delivery location '00412345670-INF2'"),
        1U);

    const std::string missing = Nso("decode 3 99");
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(Occurrences(missing, "99: no document of company 1 has register id or order number"),
              1U)
        << missing;
    EXPECT_EQ(Occurrences(Ok("decode 102/2024"), "Order 102/2024 of 18/03/2024 (register id 3)"),
              1U)
        << "by order number";

    std::ofstream(dir / "customers.csv") << "customer;name;vat_number\n"
                                            "7;Ospedale;IT03456780547\n"
                                            "8;Clinica;IT03456780548\n";
    const std::string bad = Nso("master load customers customers.csv");
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(Occurrences(bad,
                          "customers.csv, line 3, column vat_number: 'IT03456780548' is not a VAT "
                          "number"),
              1U)
        << bad;
    EXPECT_EQ(Occurrences(Ok("master list customers --search ospedal"), "2 row(s) of customers"),
              1U)
        << "the two demo customers: nothing was loaded";
}

TEST_F(NsoCommandTest, EveryCommandThatFailsPrintsAJsonDocument) {
    // No database yet (a server database without the tables): every command fails before it
    // has a document.
    const std::string noDatabase = NoDatabase();
    for (const char* command :
         {"list", "process --all", "show 1", "messages", "import --all", "orders", "run"}) {
        const Json failed = Document(command);
        EXPECT_EQ(exitCode, 1) << command;
        EXPECT_EQ(failed["exit_status"], 1) << command;
        EXPECT_EQ(failed["failure"], noDatabase) << command;
    }
    EXPECT_TRUE(Has(Nso("list --json"), "nso: " + noDatabase)) << "stderr still tells it";

    // A run that cannot start is told in the run's own document, phases empty.
    Ok("init");
    const Json run = Document("run");
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(run["exit_status"], 1);
    EXPECT_EQ(run["fetch"]["new"], 0);
    EXPECT_TRUE(
        run["failure"].get<std::string>().rfind("company 1 has no import configuration", 0) == 0)
        << run;
    const Json settings = Document("--settings missing.toml list");
    EXPECT_EQ(exitCode, 2);
    EXPECT_EQ(settings["exit_status"], 2);

    // An import with a chain that failed: its document, with the failure and the exit status.
    Ok("init --demo");
    Ok("fetch");
    const Json refused = Document("import 6");
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(refused["failure"], "Order BIB-7/2024 of 19/03/2024 (id 6) is not processed yet: "
                                  "`nso process 6` processes its chain first; nothing was "
                                  "imported");
    Ok("process --all");
    const Json imported = Document("import --all");
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(imported["exit_status"], 1);
    EXPECT_EQ(imported["summary"]["failed"], 1);
    EXPECT_EQ(imported["summary"]["imported"], 3);
    EXPECT_TRUE(imported["failure"].get<std::string>().rfind("some chains were not imported", 0) ==
                0);
    const Json processed = Document("process 6");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(processed["exit_status"], 0);
    EXPECT_TRUE(processed["failure"].is_null());
}

} // namespace
