// nso import on the example orders with the demo master data, of chains not processed yet:
// named, a chain is refused before anything is written; with --all the others are named.
#include <gtest/gtest.h>

#include <string>

#include "nso_folder.h"

namespace {

class NsoImportTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override {
        MakeFolder("nso-import", "inbox", "inbox");
        Ok("init --demo");
        Ok("fetch");
    }
};

TEST_F(NsoImportTest, AChainNeverProcessedIsNotImported) {
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

} // namespace
