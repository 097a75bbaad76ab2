// Input no caller means to send, met with a refusal instead of a crash: control characters,
// nesting without bound and statements whose translation would grow without bound.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kvad_nso/errors.h"
#include "support/expect_error.h"
#include "tsql_test_db.h"

namespace kvad::db {
namespace {

using testing::Rows;
using testing::TsqlTestDb;

// The translator refuses the statement with a DbError (42000) whose message contains `part`.
void ExpectRefused(TsqlTestDb& db, const std::string& statement, const std::string& part) {
    if (const auto e = test::ExpectDbError("42000", [&] { (void)db.Translate(statement); })) {
        EXPECT_NE(e->Description().find(part), std::string::npos) << e->Description();
    }
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

TEST(TsqlHostileInput, NulCharactersAreRefusedByTheTokenizer) {
    TsqlTestDb db;
    using namespace std::string_literals;
    for (const auto& [statement, part] :
         {std::pair{"SELECT 'a\0b' AS A"s, "NUL character in a string literal"},
          {"SELECT N'a\0' AS A"s, "NUL character in a string literal"},
          {"SELECT 1 AS [a\0b]"s, "NUL character in a bracketed identifier"},
          {"SELECT 1 AS \"\0\""s, "NUL character in a quoted identifier"},
          {"SELECT 1\0"s, "unexpected character 0x00 at offset 8"}}) {
        ExpectRefused(db, statement, part);
    }
    // In a comment it is dropped with the comment.
    EXPECT_EQ(db.Run("SELECT 1 AS A -- \0\n"s), (Rows{{"1"}}));
}

TEST(TsqlHostileInput, NestingIsBoundedAtEveryKindOfLevel) {
    struct Form {
        const char* name;
        std::function<std::string(int)> statement;
        std::string
            value; // the value of the statement nested 12 levels deep (as deep as SQLite reads)
    };
    const std::vector<Form> forms = {
        {"parentheses",
         [](int n) { return "SELECT " + Repeat("(", n) + "1" + Repeat(")", n) + " AS A"; }, "1"},
        {"function arguments",
         [](int n) { return "SELECT " + Repeat("ABS(", n) + "-2" + Repeat(")", n) + " AS A"; },
         "2"},
        {"unary minus", [](int n) { return "SELECT " + Repeat("- ", n) + "3 AS A"; }, "3"},
        {"not", [](int n) { return "SELECT 4 AS A WHERE " + Repeat("NOT ", n) + "1 = 1"; }, "4"},
        {"a chain of operators", [](int n) { return "SELECT 5" + Repeat(" + 0", n) + " AS A"; },
         "5"},
        {"subqueries",
         [](int n) { return "SELECT " + Repeat("(SELECT ", n) + "6" + Repeat(")", n) + " AS A"; },
         "6"},
        {"derived tables",
         [](int n) {
             return "SELECT A FROM " + Repeat("(SELECT A FROM ", n) + "(SELECT 7 AS A) AS T" +
                    Repeat(") AS T", n);
         },
         "7"},
    };
    TsqlTestDb db;
    for (const Form& form : forms) {
        SCOPED_TRACE(form.name);
        EXPECT_EQ(db.Run(form.statement(12)), (Rows{{form.value}}));
        ExpectRefused(db, form.statement(100000), "nested too deeply");
    }
}

TEST(TsqlHostileInput, OuterApplyColumnsCannotMakeTheTranslationExplode) {
    TsqlTestDb db;
    db.LoadTestSchema();
    // Every apply uses the previous one's column twice: written out, its subquery doubles.
    std::string statement = "SELECT A40.X FROM CG08_TABVALUTE OUTER APPLY (SELECT TOP 1 1 AS X) A0";
    for (int i = 1; i <= 40; ++i) {
        const std::string previous = "A" + std::to_string(i - 1) + ".X";
        statement += " OUTER APPLY (SELECT TOP 1 " + previous + " + " + previous + " AS X) A" +
                     std::to_string(i);
    }
    ExpectRefused(db, statement, "used too often");
}

} // namespace
} // namespace kvad::db
