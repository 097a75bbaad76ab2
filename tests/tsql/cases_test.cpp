// Runs the translation cases of tests/tsql/cases/*.cases: each case sets up a fresh database
// (the tables of schema.sql plus its own rows), translates and runs one T-SQL statement and
// compares the rows it gives, the rows of check queries afterwards, or the error it raises.
//
// File format: "=== name" starts a case; "--- setup" (SQLite statements), "--- tsql" (the
// statement), "--- rows"
// (expected rows, values separated by " | ", NULL for Null), "--- check" (a SQLite query whose
// rows the next "--- rows" gives) and "--- error" (a text the error message contains).
// Lines starting with "#" outside a case are comments.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tsql_test_db.h"

namespace kvad::db {
namespace {

using testing::Rows;
using testing::TsqlTestDb;

struct Check {
    std::string sql;
    Rows rows;
};

struct Case {
    std::string file;
    std::string name;
    std::string setup;
    std::string tsql;
    bool expectRows = false;
    Rows rows;
    std::vector<Check> checks;
    std::string error;
};

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> SplitRow(const std::string& line) {
    std::vector<std::string> values;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = line.find(" | ", start);
        values.push_back(Trim(line.substr(start, bar - start)));
        if (bar == std::string::npos) {
            return values;
        }
        start = bar + 3;
    }
}

std::vector<Case> LoadCases() {
    std::vector<Case> cases;
    const std::filesystem::path folder =
        std::filesystem::path(KVAD_SOURCE_DIR) / "tests" / "tsql" / "cases";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".cases") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream in(path);
        std::string line;
        std::string section;
        while (std::getline(in, line)) {
            if (line.starts_with("=== ")) {
                cases.push_back(
                    Case{path.stem().string(), Trim(line.substr(4)), {}, {}, false, {}, {}, {}});
                section.clear();
                continue;
            }
            if (cases.empty() || (section.empty() && line.starts_with("#"))) {
                continue;
            }
            Case& current = cases.back();
            if (line.starts_with("--- ")) {
                section = Trim(line.substr(4));
                if (section == "check") {
                    current.checks.emplace_back();
                } else if (section == "rows" && current.checks.empty()) {
                    current.expectRows = true;
                }
                continue;
            }
            if (section == "setup") {
                current.setup += line + "\n";
            } else if (section == "tsql") {
                current.tsql += (current.tsql.empty() ? "" : "\n") + line;
            } else if (section == "check") {
                current.checks.back().sql += line + "\n";
            } else if (section == "rows" && !Trim(line).empty()) {
                (current.checks.empty() ? current.rows : current.checks.back().rows)
                    .push_back(SplitRow(line));
            } else if (section == "error" && !Trim(line).empty()) {
                current.error = Trim(line);
            }
        }
    }
    return cases;
}

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.file << ": " << c.name;
}

class TranslationCase : public ::testing::TestWithParam<Case> {};

TEST_P(TranslationCase, GivesTheRowsSqlServerGives) {
    const Case& c = GetParam();
    TsqlTestDb db;
    db.LoadTestSchema();
    if (!c.setup.empty()) {
        db.Exec(c.setup);
    }
    if (!c.error.empty()) {
        try {
            db.Run(c.tsql);
            ADD_FAILURE() << "no error; translation: " << db.Translate(c.tsql).sql;
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        }
        return;
    }
    Rows rows;
    ASSERT_NO_THROW(rows = db.Run(c.tsql));
    if (c.expectRows) {
        EXPECT_EQ(rows, c.rows) << "translation: " << db.Translate(c.tsql).sql;
    }
    for (const Check& check : c.checks) {
        EXPECT_EQ(db.Native(check.sql), check.rows) << check.sql;
    }
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name = info.param.file + "_" + info.param.name;
    for (char& ch : name) {
        ch = std::isalnum(static_cast<unsigned char>(ch)) != 0 ? ch : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, TranslationCase, ::testing::ValuesIn(LoadCases()), CaseName);

} // namespace
} // namespace kvad::db
