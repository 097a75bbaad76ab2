// One document that cannot be processed never stops the others: `nso run` and `nso process
// --all` pass over its chain, name it with its reason and process and import the rest.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "folder_db.h"
#include "generated_folder.h"

namespace {

class NsoPassOverTest : public kvad::test::GeneratedFolderTest {};

TEST_F(NsoPassOverTest, AFileThatIsNotXmlNeverStopsTheOtherOrders) {
    MakeGenerated("nso-pass-over", 5);
    AddGarbage("garbage.xml");
    // Testers saw every run make no ERP order and end with "VB error 3021".
    const std::string first = Nso("run");
    EXPECT_EQ(exitCode, 3) << first;
    EXPECT_FALSE(Has(first, "VB error")) << first;
    EXPECT_TRUE(Has(first, "imported:  5 of 5 chain(s); 5 ERP order(s) made")) << first;
    EXPECT_TRUE(
        Has(first, "  not loaded: garbage (garbage.xml): it is not well-formed XML (line 1: "))
        << first;

    const std::string second = Nso("run");
    EXPECT_EQ(exitCode, 3) << second;
    EXPECT_TRUE(Has(second, "0 order(s) reviewed: 0 ready, 0 with warnings, 0 with errors; 1 "
                            "chain(s) passed over"))
        << second;
    EXPECT_TRUE(Has(second, "  Passed over, not processed (`nso list` shows them with their "
                            "reason):\n    Order garbage of "))
        << second;
    EXPECT_TRUE(Has(second, "): not loaded: it is not well-formed XML (line 1: ")) << second;
    EXPECT_TRUE(Has(Ok("orders"), "5 ERP order(s) of company 1"));
    EXPECT_TRUE(Has(Ok("list"), "not loaded  [it is not well-formed XML (line 1: "))
        << "the clerk finds it";

    const auto json = nlohmann::json::parse(Nso("run --json", "inbox", false));
    EXPECT_EQ(exitCode, 3);
    EXPECT_EQ(json["exit_status"], 3);
    ASSERT_EQ(json["process"]["passed_over"].size(), 1U);
    EXPECT_TRUE(json["process"]["passed_over"][0]["not_loaded"].get<bool>());
    EXPECT_EQ(json["process"]["passed_over"][0]["reason"].get<std::string>().rfind(
                  "it is not well-formed XML", 0),
              0U);
}

TEST_F(NsoPassOverTest, ProcessingPassesOverADocumentItFailsOn) {
    MakeGenerated("nso-pass-over-decode", 4);
    AddGarbage("garbage.xml");
    Nso("fetch");
    EXPECT_EQ(exitCode, 3);
    {
        // Registered whole, but its issue date is gone: decoding cannot date the order.
        kvad::test::RunTestSql(*kvad::test::OpenFolderDb(dir),
                               "UPDATE IE91_NSOFILES SET IE91_ISSUEDATE = NULL "
                               "WHERE IE91_HUBID = 'ord-000002.xml'");
    }
    const std::string processed = Nso("process --all");
    EXPECT_EQ(exitCode, 3) << processed;
    EXPECT_TRUE(Has(processed, "3 order(s) reviewed: 3 ready, 0 with warnings, 0 with errors"))
        << processed;
    EXPECT_TRUE(Has(processed, "(id 3): processing failed on it (--verbose shows the component's "
                               "text)\n"))
        << processed;
    EXPECT_TRUE(Has(processed, "(id 1): not loaded: it is not well-formed XML")) << processed;
    EXPECT_TRUE(Has(Nso("--verbose process --all"), "Routine: DecodificaTestata"));

    const std::string imported = Ok("import --all");
    EXPECT_TRUE(Has(imported, "3 imported, 0 failed")) << imported;
}

} // namespace
