// The nso command as a new user meets it on a fresh database, with the example orders in a folder
// inbox: documents that cannot be read or never arrived, and clear errors for bad input and a
// missing set-up.

#include <gtest/gtest.h>

#include <fstream>

#include "folder_db.h"
#include "nso_folder.h"

namespace {

class NsoCommandTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override { MakeFolder("nso-app", "inbox", "inbox"); }

    void Prepare() {
        Ok("init");
        Ok("config set --document OCL --layout NSO --from 01/01/2024 --section A --warehouse 01");
    }
};

TEST_F(NsoCommandTest, UnreadableFilesAreRegisteredAndNamed) {
    Prepare();
    std::ofstream(dir / "inbox" / "IT01234567890" / "garbage.xml") << "this is not XML";
    const std::string r = Nso("fetch");
    EXPECT_EQ(exitCode, 3) << "some documents could not be loaded\n" << r;
    EXPECT_TRUE(Has(r, "listed 7, new 7, already registered 0, failed to load 1")) << r;
    EXPECT_TRUE(Has(r, "garbage (garbage.xml): it is not well-formed XML (line 1: ")) << r;
}

TEST_F(NsoCommandTest, RetryMissingDownloadsWhatWasNeverStored) {
    Prepare();
    Ok("fetch");
    {
        kvad::test::RunTestSql(*kvad::test::OpenFolderDb(dir),
                               "UPDATE IE91_NSOFILES SET IE91_XML = NULL "
                               "WHERE IE91_HUBID = 'ORD-2024-0001.xml'");
    }
    const std::string r = Ok("fetch --retry-missing");
    EXPECT_TRUE(Has(r, "missing 1, downloaded 1, failed 0")) << r;
    EXPECT_TRUE(Has(Ok("fetch --retry-missing"), "every registered document has its XML"));
}

TEST_F(NsoCommandTest, ClearErrorsForBadInputAndMissingSetUp) {
    const std::string noDb = Nso("list");
    EXPECT_EQ(exitCode, 1);
    // No file yet, or a server database without the tables yet.
    EXPECT_TRUE(Has(noDb, "`nso init` create")) << noDb;

    Ok("init");
    EXPECT_TRUE(Has(Ok("list"), "No orders to process for company 1: `nso fetch` brings"))
        << "an empty register";
    const std::string badDate = Nso("config set --from 31/02/2024");
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(Has(badDate, "'31/02/2024' is not a date")) << badDate;
    const std::string unknown = Nso("--company 9 config set --document OCL");
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(Has(unknown, "unknown company 9")) << unknown;

    const std::string set =
        Ok("config set --document OCL --layout NSO --from 05/03/2024 --section B");
    EXPECT_TRUE(Has(set, "document code:  OCL  (section B, warehouse -)")) << set;
    const std::string shown = Ok("config");
    EXPECT_TRUE(Has(shown, "import layout:  NSO")) << shown;
    EXPECT_TRUE(Has(shown, "documents received since 04/03/2024")) << shown;
    const std::string noInbox = Nso("fetch", "missing-folder");
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(Has(noInbox, "missing-folder")) << noInbox;
}

} // namespace
