// The nso command as a new user runs it: init, config, fetch and list on a fresh database, with
// the example orders in a folder inbox.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sqlite/sqlite_database.h"
#include "support/test_env.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int exitCode;
    std::string output; // stdout and stderr together
};

class NsoCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "nso-app-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        kvad::test::CopyReceived(fs::path(KVAD_SOURCE_DIR) / "examples" / "inbox", dir / "inbox");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    Result Nso(const std::string& arguments, const std::string& inbox = "inbox") {
        const std::string command = "cd '" + dir.string() +
                                    "' && '" KVAD_NSO_BINARY "' --db nso.db --inbox " + inbox +
                                    " --cache-dir cache " + arguments + " 2>&1 </dev/null";
        Result result{-1, {}};
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return result;
        }
        char buffer[4096];
        std::size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            result.output.append(buffer, n);
        }
        const int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

    Result Ok(const std::string& arguments) {
        Result r = Nso(arguments);
        EXPECT_EQ(r.exitCode, 0) << "nso " << arguments << "\n" << r.output;
        return r;
    }

    void Prepare() {
        Ok("init");
        Ok("config set --document OCL --layout NSO --from 01/01/2024 --section A --warehouse 01");
    }

    fs::path dir;
};

bool Has(const Result& r, const std::string& text) {
    return r.output.find(text) != std::string::npos;
}

TEST_F(NsoCommandTest, FetchOnTheExamplesEndToEnd) {
    Prepare();
    const Result first = Ok("fetch");
    EXPECT_TRUE(Has(first, "listed 5, new 5, already registered 0, failed to load 0"))
        << first.output;
    const Result second = Ok("fetch");
    EXPECT_TRUE(Has(second, "listed 5, new 0, already registered 5, failed to load 0"))
        << second.output;

    const Result list = Ok("list");
    EXPECT_TRUE(Has(list, "3 chain(s) to process, 5 document(s)")) << list.output;
    // Each row begins with the document's register id.
    EXPECT_TRUE(Has(list, "\n3     revision ")) << list.output;
    EXPECT_TRUE(Has(list, "\n1         order ")) << "older documents are indented\n" << list.output;
    EXPECT_TRUE(Has(list, "\n4     cancellation ")) << list.output;
    EXPECT_TRUE(Has(Ok("list --processed"), "No processed orders"));

    // A limited list is the start of the full one, up to the next chain, and says so.
    EXPECT_EQ(Ok("list --limit 0").output, list.output);
    const Result one = Ok("list --limit 1");
    const std::string hint = "(the latest 1 of 3 chains: --limit 0 lists them all)\n";
    ASSERT_TRUE(one.output.size() > hint.size() && Has(one, hint)) << one.output;
    const std::string shown = one.output.substr(0, one.output.size() - hint.size());
    EXPECT_EQ(list.output.substr(0, shown.size()), shown);
    EXPECT_NE(list.output.substr(shown.size(), 4), "    ") << "the next line starts a chain";
    EXPECT_EQ(Nso("list --limit -1").exitCode, 2);
}

TEST_F(NsoCommandTest, UnreadableFilesAreRegisteredAndNamed) {
    Prepare();
    std::ofstream(dir / "inbox" / "IT01234567890" / "garbage.xml") << "this is not XML";
    const Result r = Nso("fetch");
    EXPECT_EQ(r.exitCode, 3) << "some documents could not be loaded\n" << r.output;
    EXPECT_TRUE(Has(r, "listed 6, new 6, already registered 0, failed to load 1")) << r.output;
    EXPECT_TRUE(Has(r, "garbage (garbage.xml): it is not XML (")) << r.output;
}

TEST_F(NsoCommandTest, RetryMissingDownloadsWhatWasNeverStored) {
    Prepare();
    Ok("fetch");
    {
        auto db = kvad::db::OpenSqlite((dir / "nso.db").string());
        kvad::db::ExecuteNativeScript(*db, "UPDATE IE91_NSOFILES SET IE91_XML = NULL "
                                           "WHERE IE91_HUBID = 'ORD-2024-0001.xml'");
    }
    const Result r = Ok("fetch --retry-missing");
    EXPECT_TRUE(Has(r, "missing 1, downloaded 1, failed 0")) << r.output;
    EXPECT_TRUE(Has(Ok("fetch --retry-missing"), "every registered document has its XML"));
}

TEST_F(NsoCommandTest, ClearErrorsForBadInputAndMissingSetUp) {
    const Result noDb = Nso("list");
    EXPECT_EQ(noDb.exitCode, 1);
    EXPECT_TRUE(Has(noDb, "`nso init` creates it")) << noDb.output;

    Ok("init");
    EXPECT_TRUE(Has(Ok("list"), "No orders to process for company 1: `nso fetch` brings"))
        << "an empty register";
    const Result badDate = Nso("config set --from 31/02/2024");
    EXPECT_EQ(badDate.exitCode, 1);
    EXPECT_TRUE(Has(badDate, "'31/02/2024' is not a date")) << badDate.output;
    const Result unknown = Nso("--company 9 config set --document OCL");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(Has(unknown, "unknown company 9")) << unknown.output;

    const Result set = Ok("config set --document OCL --layout NSO --from 05/03/2024 --section B");
    EXPECT_TRUE(Has(set, "document code:  OCL  (section B, warehouse -)")) << set.output;
    const Result shown = Ok("config");
    EXPECT_TRUE(Has(shown, "import layout:  NSO")) << shown.output;
    EXPECT_TRUE(Has(shown, "documents received since 04/03/2024")) << shown.output;
    const Result noInbox = Nso("fetch", "missing-folder");
    EXPECT_EQ(noInbox.exitCode, 1);
    EXPECT_TRUE(Has(noInbox, "missing-folder")) << noInbox.output;
}

} // namespace
