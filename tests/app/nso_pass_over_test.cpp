// One document that cannot be processed never stops the others: `nso run` and `nso process
// --all` pass over its chain, name it with its reason and process and import the rest.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

#include "folder_db.h"
#include "generated_folder.h"

namespace {

class NsoPassOverTest : public kvad::test::GeneratedFolderTest {};

TEST_F(NsoPassOverTest, AFileThatIsNotXmlNeverStopsTheOtherOrders) {
    MakeGenerated("nso-pass-over", 5);
    AddGarbage("garbage.xml");
    // Testers saw every run make no ERP order and end with "VB error 3021".
    ExpectTold(Expect(3, "run",
                      {"imported:  5 of 5 chain(s); 5 ERP order(s) made",
                       "  not loaded: garbage (garbage.xml): it is not well-formed XML (line 1: "}),
               {}, {"VB error"});
    Expect(3, "run",
           {"0 order(s) reviewed: 0 ready, 0 with warnings, 0 with errors; 1 chain(s) passed over",
            "  Passed over, not processed (`nso list` shows them with their reason):\n    Order "
            "garbage of ",
            "): not loaded: it is not well-formed XML (line 1: "});
    ExpectTold(Ok("orders"), {"5 ERP order(s) of company 1"});
    // The clerk finds it.
    ExpectTold(Ok("list"), {"not loaded  [it is not well-formed XML (line 1: "});

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
    Expect(3, "fetch", {});
    // Registered whole, but its issue date is gone: decoding cannot date the order.
    kvad::test::RunTestSql(*kvad::test::OpenFolderDb(dir),
                           "UPDATE IE91_NSOFILES SET IE91_ISSUEDATE = NULL "
                           "WHERE IE91_HUBID = 'ord-000002.xml'");
    Expect(3, "process --all",
           {"3 order(s) reviewed: 3 ready, 0 with warnings, 0 with errors",
            "(id 3): processing failed on it (--verbose shows the component's text)\n",
            "(id 1): not loaded: it is not well-formed XML"});
    ExpectTold(Nso("--verbose process --all"), {"Routine: DecodificaTestata"});
    ExpectTold(Ok("import --all"), {"3 imported, 0 failed"});
}

TEST_F(NsoPassOverTest, ADocumentNotLoadedAmongTheExamplesIsPassedOver) {
    MakeFolder("nso-pass-over-examples");
    Ok("init --demo");
    // Registered with what could be read, and in the list; processing passes over it.
    const std::filesystem::path garbage = dir / "inbox" / "IT01234567890" / "garbage.xml";
    { std::ofstream(garbage) << "this is not XML"; }
    // Received on 9 March 2024: its issue date, between those of the example orders.
    ASSERT_EQ(std::system(("touch -d 2024-03-09 '" + garbage.string() + "'").c_str()), 0);
    Expect(3, "fetch", {"garbage (garbage.xml): it is not well-formed XML (line 1: "});
    const std::string output = Nso("process --all");
    EXPECT_EQ(exitCode, 3) << output;
    EXPECT_TRUE(std::regex_search(
        output, std::regex(R"(Order ORD/2024/00512 of 12/03/2024 \(id \d\): to import - WARNING)")))
        << output;
    ExpectTold(output, {"6 order(s) reviewed: 1 ready, 4 with warnings, 1 with errors"});
    EXPECT_TRUE(std::regex_search(
        output,
        std::regex(
            R"(\n  Order garbage of 09/03/2024 \(id \d\): not loaded: it is not well-formed XML \(line 1: [^\n]+\)\n)")))
        << output;
}

} // namespace
