// With --json every command prints one JSON document, also when it fails: its own document with
// `failure` and `exit_status` where it has one, else `{failure, exit_status}`; the failure is
// still told on stderr.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "nso_folder.h"

namespace {

using Json = nlohmann::json;

class NsoJsonTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override { MakeFolder("nso-json", "inbox", "inbox"); }

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

TEST_F(NsoJsonTest, EveryCommandThatFailsPrintsAJsonDocument) {
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
