// Every example order decoded with the demo master data, compared column by column with the rows
// written by hand in expected/<order>.txt, which each of them must have.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "decoding/trascodifica_ordine.h"
#include "decoding_test_env.h"
#include "ubl/xml_loader.h"

namespace kvad::nso {
namespace {

namespace fs = std::filesystem;

struct Expected {
    std::map<std::string, std::string> registerRow;
    std::map<std::string, std::string> header;
    std::vector<std::string> lineColumns;
    std::vector<std::vector<std::string>> lines;
    std::vector<std::string> messages;
};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    if (!text.empty() && text.back() == separator) {
        parts.emplace_back();
    }
    return parts;
}

Expected ReadExpected(const fs::path& file) {
    std::ifstream in(file);
    Expected e;
    std::string section;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            section = line;
            continue;
        }
        if (section == "[register]" || section == "[header]") {
            const std::size_t eq = line.find(" =");
            const std::string value = eq + 2 < line.size() ? line.substr(eq + 3) : "";
            (section == "[register]" ? e.registerRow : e.header)[line.substr(0, eq)] = value;
        } else if (section == "[lines]" && e.lineColumns.empty()) {
            e.lineColumns = Split(line, '|');
        } else if (section == "[lines]") {
            e.lines.push_back(Split(line, '|'));
        } else if (section == "[messages]") {
            e.messages.push_back(line);
        }
    }
    return e;
}

// A stored value as the fixtures write it: numbers compared as exact decimals, dates as
// dd/mm/yyyy, Null as the empty text; "a or b" where the database may return either.
bool Matches(const Variant& actual, const std::string& expected) {
    if (const std::size_t alternative = expected.find(" or "); alternative != std::string::npos) {
        return Matches(actual, expected.substr(0, alternative)) ||
               Matches(actual, expected.substr(alternative + 4));
    }
    if (actual.IsNull()) {
        return expected.empty();
    }
    if (actual.Type() == VarType::Date) {
        return actual.ToDate().DateOnly().ToText() == expected;
    }
    if (actual.IsNumber()) {
        const auto number = Decimal::Parse(expected);
        return number && actual.ToDecimal() == *number;
    }
    return actual.Text() == expected;
}

/// Every example order: those of the inbox and those that earn warnings.
std::vector<fs::path> ExampleOrders() {
    std::vector<fs::path> files;
    for (const char* folder : {"examples/inbox/IT01234567890", "examples/warnings/IT01234567890"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(KVAD_SOURCE_DIR) / folder)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class ExamplesTest : public ::testing::TestWithParam<fs::path>, public test::DemoDocuments {};

TEST_P(ExamplesTest, DecodedRowsMatchTheHandWrittenOnes) {
    const fs::path& xml = GetParam();
    const Expected e = ReadExpected(fs::path(KVAD_SOURCE_DIR) / "tests/decoding/expected" /
                                    (xml.stem().string() + ".txt"));
    ASSERT_FALSE(e.header.empty()) << "no fixture for " << xml;
    const std::int32_t id = Register(
        e.registerRow.at("IE91_IDORD"), *DateTime::ParseIso(e.registerRow.at("IE91_ISSUEDATE")),
        e.registerRow.at("IE91_ENDPOINTID"), kvad::test::ReadSourceFile(xml.string()));
    GetOrderFromXML(env.S(), id, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    TrascodificaOrdine(env.S(), id, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    const std::string order = std::to_string(id);

    auto header = env.Db().Query("SELECT * FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + order);
    ASSERT_FALSE(header->Eof());
    for (const auto& [column, expected] : e.header) {
        EXPECT_TRUE(Matches(header->Value(column), expected))
            << column << ": " << header->Value(column).Text() << ", expected " << expected;
    }

    auto lines = env.Db().Query("SELECT * FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " + order +
                                " ORDER BY IE95_DO30_PROGRIGA");
    std::size_t row = 0;
    for (; !lines->Eof(); lines->MoveNext(), ++row) {
        ASSERT_LT(row, e.lines.size()) << "more decoded lines than expected";
        const auto& expected = e.lines[row];
        ASSERT_EQ(expected.size(), e.lineColumns.size()) << "fixture line " << row + 1;
        for (std::size_t c = 0; c < e.lineColumns.size(); ++c) {
            const Variant actual = lines->Value(e.lineColumns[c]);
            EXPECT_TRUE(Matches(actual, expected[c]))
                << "line " << row + 1 << " " << e.lineColumns[c] << ": " << actual.Text()
                << ", expected " << expected[c];
        }
        for (const char* zero : {"IE95_STATUS", "IE95_DO30_SCPER1", "IE95_DO30_SCPER2",
                                 "IE95_DO30_SCPER3", "IE95_DO30_SCPER4", "IE95_DO30_SCPER5",
                                 "IE95_DO30_SCPER6", "IE95_DO30_MAGPER1", "IE95_DO30_MAGPER2"}) {
            EXPECT_TRUE(Matches(lines->Value(zero), "0")) << "line " << row + 1 << " " << zero;
        }
        EXPECT_EQ(env.Scalar("SELECT IE94_ID_IE91 FROM IE94_NSOCORPOXML WHERE IE94_ID = " +
                             lines->Value("IE95_ID_IE94").Text())
                      .Text(),
                  order)
            << "line " << row + 1 << " points to a staged line of its order";
    }
    EXPECT_EQ(row, e.lines.size()) << "decoded lines";

    std::vector<std::string> messages;
    for (const auto& entry : kvad::test::ReadLog(env.Db(), "IE98_ID_IE91 = " + order)) {
        messages.push_back(kvad::test::EntryLine(entry));
    }
    EXPECT_EQ(messages, e.messages);
}

INSTANTIATE_TEST_SUITE_P(Orders, ExamplesTest, ::testing::ValuesIn(ExampleOrders()),
                         [](const auto& param) {
                             std::string n = param.param.stem().string();
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

} // namespace
} // namespace kvad::nso
