// The clerk's story on the example orders with the demo master data: fetch, process, import,
// then list and orders show the ERP orders made and those made no longer to be fulfilled.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "nso_folder.h"

namespace {

class NsoImportTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override {
        MakeFolder("nso-import");
        Ok("init --demo");
        Ok("fetch");
    }
};

TEST_F(NsoImportTest, FetchProcessImportListAndOrdersTellOneStory) {
    Ok("process --all");
    // The library's order has no customer: its chain fails, the others are imported.
    const std::string imported = Nso("import --all");
    EXPECT_EQ(exitCode, 1) << imported;
    EXPECT_TRUE(Has(imported, "[1/4] Id : BIB-7/2024 (19/03/2024) - UFBB3K")) << imported;
    // The ERP's own words stand on a line of their own beneath the document they are about.
    EXPECT_TRUE(Has(imported, "Chain of order BIB-7/2024 of 19/03/2024 (id 6): failed\n  order "
                              "BIB-7/2024 of 19/03/2024 (id 6): failed:\n      Cliente mancante"))
        << imported;
    EXPECT_TRUE(Has(imported, "Chain of revision 2024-FAR-0397 of 06/03/2024 (id 3): imported\n"
                              "  revision 2024-FAR-0397 of 06/03/2024 (id 3): imported as ERP "
                              "order OCL A/3 of 06/03/2024 (registration 3)\n"
                              "  order 2024-FAR-0381 of 04/03/2024 (id 1): imported as ERP order "
                              "OCL A/4 of 04/03/2024 (registration 4), then made no longer to be "
                              "fulfilled"))
        << imported;
    EXPECT_TRUE(Has(imported, "  cancellation 93/2024 of 08/03/2024 (id 4): processed, no ERP "
                              "order"))
        << imported;
    EXPECT_TRUE(Has(imported, "4 chain(s): 3 imported, 1 failed; 4 ERP order(s) made, 2 made no "
                              "longer to be fulfilled"))
        << imported;

    // An imported order is shown read-only with its ERP order, and cannot be edited.
    const std::string shown = Ok("show 3");
    EXPECT_TRUE(Has(shown, "Revision 2024-FAR-0397 of 06/03/2024 (id 3): nothing to do: already "
                           "ERP order OCL A/3 of\n  06/03/2024 - READY\n"))
        << shown;
    EXPECT_TRUE(Has(shown, "  read-only: ERP order OCL A/3 of 06/03/2024 was made from it"))
        << shown;
    EXPECT_TRUE(Has(shown, "  customer      1001")) << shown;
    EXPECT_TRUE(
        Has(shown, "     1 AFP-FAR-10231  Flacone da 100 ml per in        200       1.85 S "))
        << shown;
    EXPECT_TRUE(Has(shown, "    info     14  header                           Ordine importato"))
        << shown;
    const auto json = nlohmann::json::parse(Ok("show 3 --json"));
    EXPECT_FALSE(json["order"]["editable"].get<bool>());
    EXPECT_EQ(json["order"]["erp_order"]["document"], "OCL A/3");
    EXPECT_EQ(json["order"]["erp_order"]["date"], "2024-03-06");
    EXPECT_EQ(json["order"]["header"]["customer"]["value"], 1001);
    const std::string edited = Nso("edit 3 customer=1002");
    EXPECT_EQ(exitCode, 1) << edited;
    EXPECT_TRUE(Has(edited, "(id 3) was imported as ERP order OCL A/3: its values cannot be "
                            "edited"))
        << edited;
    EXPECT_EQ(Ok("show 3"), shown) << "the refused edit changed nothing";
    // Processing an imported chain again has nothing to do, and says so.
    EXPECT_EQ(Ok("process 3"), "Nothing to do: Revision 2024-FAR-0397 of 06/03/2024 (id 3) was "
                               "imported as ERP order OCL A/3 of 06/03/2024 (`nso show 3` shows "
                               "it).\n");

    // Corrected, it is imported after the others, and the office it came from is learned.
    Ok("edit BIB-7/2024 customer=1002 destination=BIBL");
    const std::string corrected = Ok("import 6");
    EXPECT_TRUE(Has(corrected, "(id 6): imported as ERP order OCL A/5 of 19/03/2024 (registration "
                               "5)"))
        << corrected;
    EXPECT_TRUE(Has(Ok("master list offices --search UFBB3K"), "UFBB3K  1002"));

    const std::string listed = Ok("list --processed");
    EXPECT_TRUE(Has(listed, "OCL A/1 12/03/2024")) << listed;
    EXPECT_TRUE(Has(listed, "OCL A/4 04/03/2024")) << listed;

    const std::string orders = Ok("orders");
    EXPECT_TRUE(Has(orders, "4    OCL A/4     04/03/2024 closed")) << orders;
    EXPECT_TRUE(Has(orders, "3    OCL A/3     06/03/2024 open")) << orders;
    EXPECT_TRUE(Has(orders, "2024-FAR-0397 of 06/03/2024 (id 3)")) << orders;
    EXPECT_TRUE(Has(orders, "5 ERP order(s) of company 1")) << orders;
    const std::string found = Ok("orders --search AFP-DM-56031 --lines");
    EXPECT_TRUE(Has(found, "    2    AFP-DM-56031           80         6.75")) << found;
    EXPECT_TRUE(Has(found, "1 ERP order(s) of company 1 containing 'AFP-DM-56031'")) << found;

    EXPECT_TRUE(Has(Ok("import --all"), "Nothing to import"));
    const std::string again = Ok("import 3");
    EXPECT_TRUE(Has(again, "(id 3): already imported")) << again;
    EXPECT_TRUE(Has(again, "0 ERP order(s) made, 0 made no longer to be fulfilled")) << again;
}

TEST_F(NsoImportTest, AChainNeverProcessedIsNotImported) {
    // Order 5 was never processed: named, it is refused before anything is written.
    const std::string output = Nso("import 5");
    EXPECT_EQ(exitCode, 1) << output;
    EXPECT_EQ(output, "nso: Order ORD/2024/00512 of 12/03/2024 (id 5) is not processed yet: `nso "
                      "process 5` processes its chain first; nothing was imported\n");
    EXPECT_TRUE(Has(Ok("messages 5"), "(id 5): no messages")) << "no log entry written";
    EXPECT_TRUE(Has(Ok("orders"), "No ERP orders for company 1"));

    // With --all the chains processed are imported and the others named.
    Ok("process 5");
    const std::string all = Ok("import --all");
    EXPECT_TRUE(Has(all, "1 chain(s): 1 imported, 0 failed")) << all;
    EXPECT_TRUE(Has(all, "Not imported, not processed yet (`nso process --all` processes them):\n"
                         "  Order BIB-7/2024 of 19/03/2024 (id 6)\n"))
        << all;
    EXPECT_TRUE(Has(Nso("import"), "nso: name the chains to import"));
    EXPECT_EQ(exitCode, 1);
}

} // namespace
