// The nso command as a new user meets it on a fresh database, with the example orders in a folder
// inbox: documents that never arrived, and clear errors for bad input and a missing set-up.

#include <gtest/gtest.h>

#include "folder_db.h"
#include "nso_folder.h"

namespace {

class NsoCommandTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override { MakeFolder("nso-app", "inbox", "inbox"); }
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

TEST_F(NsoCommandTest, ClearErrorsForBadInputAndMissingSetUp) {
    // No file yet, or a server database without the tables yet.
    Expect(1, "list", {"`nso init` create"});
    Ok("init");
    ExpectTold(Ok("list"), {"No orders to process for company 1: `nso fetch` brings"});
    Expect(1, "config set --from 31/02/2024", {"'31/02/2024' is not a date"});
    Expect(1, "--company 9 config set --document OCL", {"unknown company 9"});
    ExpectTold(Ok("config set --document OCL --layout NSO --from 05/03/2024 --section B"),
               {"document code:  OCL  (section B, warehouse -)"});
    ExpectTold(Ok("config"), {"import layout:  NSO", "documents received since 04/03/2024"});
    Expect(1, "fetch", {"missing-folder"}, "missing-folder");
}

} // namespace
