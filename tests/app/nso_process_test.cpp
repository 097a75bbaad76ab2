// nso process, edit and show as a clerk runs them on the example orders with the demo master
// data: what they refuse changes nothing, and processing passes over a document not loaded.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "nso_folder.h"

namespace {

namespace fs = std::filesystem;

class NsoProcessTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override {
        MakeFolder("nso-process");
        Ok("init --demo");
    }
};

TEST_F(NsoProcessTest, RefusalsChangeNothing) {
    Ok("fetch");
    Ok("process 5");
    Refused("edit 5 colour=red", "unknown field 'colour'; header fields are:");
    Refused("edit 5 customer=abc",
            "customer takes a customer code, a whole number from 1 to 2147483647: 'abc' is not "
            "one");
    Refused("edit 5 customer=7 date=31/02/2024",
            "date takes a date dd/mm/yyyy or yyyy-mm-dd from 01/01/1900 to 31/12/9999: "
            "'31/02/2024' is not one");
    Refused("edit 5 --line 2 quantity=1.1234567",
            "quantity takes a number with at most 13 digits before the decimal point and 6");
    Refused("edit 5 section=ABCDEFGHIJK", "section takes at most 10 characters");
    Refused("edit 5 vat=22", "'vat' is a line field: give the line with --line N");
    Refused("edit 5 --line 7 vat=22", "has no line 7: its lines are 1 to 2");
    Refused("edit 5 customer", "'customer' is not FIELD=VALUE");

    // An order fetched but never processed, and one processing leaves alone.
    Ok("fetch", "warnings");
    Refused("edit 7 customer=1002", "(id 7) is not processed yet: `nso process 7`");
    Refused("show 7", "(id 7) is not processed yet");
    EXPECT_TRUE(Has(Ok("process 7"), "Order IC-45/2024 of 14/03/2024 (id 7): to import - "
                                     "WARNING"));
    Refused("process 42", "no document of company 1 has register id or order number \"42\"");
}

TEST_F(NsoProcessTest, ADocumentNotLoadedIsPassedOver) {
    // Registered with what could be read, and in the list; processing passes over it.
    const fs::path garbage = dir / "inbox" / "IT01234567890" / "garbage.xml";
    { std::ofstream(garbage) << "this is not XML"; }
    // Received on 9 March 2024: its issue date, between those of the example orders.
    ASSERT_EQ(std::system(("touch -d 2024-03-09 '" + garbage.string() + "'").c_str()), 0);
    const std::string fetched = Nso("fetch");
    EXPECT_EQ(exitCode, 3) << "a document could not be loaded\n" << fetched;
    ExpectTold(fetched, {"listed 7, new 7, already registered 0, failed to load 1",
                         "garbage (garbage.xml): it is not well-formed XML (line 1: "});
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
