// The SQL functions of the translated statements, the shape of a refusal and what a translation
// carries besides its rows (type hints, materialized common table expressions).

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kvad_nso/errors.h"
#include "support/expect_error.h"
#include "tsql_test_db.h"

namespace kvad::db {
namespace {

using testing::Rows;
using testing::TsqlTestDb;

// Sets a time zone far from UTC for one test and puts the old one back.
struct TimeZone {
    explicit TimeZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;
    TimeZone(TimeZone&&) = delete;
    TimeZone& operator=(TimeZone&&) = delete;
    ~TimeZone() {
        old ? setenv("TZ", old->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    const std::optional<std::string> old =
        std::getenv("TZ") != nullptr ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
};

TEST(TsqlFunctions, GetDateIsLocalTimeNotUtc) {
    const TimeZone zone("<GMT+9>-9"); // nine hours east of UTC, without daylight saving
    TsqlTestDb db;
    const auto local = [] {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        std::array<char, 32> text{};
        return std::string(text.data(),
                           std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &tm));
    };
    const std::string before = local();
    const Rows rows = db.Run("SELECT GETDATE() AS D");
    const std::string after = local();
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_GE(rows[0][0], before);
    EXPECT_LE(rows[0][0], after);
}

TEST(TsqlFunctions, PlusDecidesByValueWhenTypesAreUnknown) {
    TsqlTestDb db;
    // A table of an attached database: the translator cannot see its declared types, so only
    // the values tell '+' what to do.
    db.Exec("ATTACH ':memory:' AS aux; CREATE TABLE aux.T (K int, V); "
            "INSERT INTO aux.T VALUES (1, 'A'), (2, 40), (3, NULL)");
    EXPECT_EQ(db.Run("SELECT V + '#' + 'B' AS R FROM T WHERE K = 1"), (Rows{{"A#B"}}));
    EXPECT_EQ(db.Run("SELECT V + 2 AS R FROM T WHERE K = 2"), (Rows{{"42"}}));
    EXPECT_EQ(db.Run("SELECT ISNULL(V + 'x', 'null') AS R FROM T WHERE K = 3"), (Rows{{"null"}}));
    EXPECT_THROW(db.Run("SELECT V + 'x' AS R FROM T WHERE K = 2"), std::runtime_error);
    EXPECT_EQ(db.Native("SELECT tsql_add('1', 2), tsql_add(1.5, ' 2 ')"), (Rows{{"3", "3.5"}}));
}

// Each function's value, or the error it raises, for values at and past its limits.
TEST(TsqlFunctions, ConvertDateAddAndTextKeepToTheirRanges) {
    TsqlTestDb db;
    const auto value = [&db](const std::string& expression) {
        try {
            return db.Native("SELECT " + expression).at(0).at(0);
        } catch (const std::runtime_error& e) {
            return "error: " + std::string(e.what());
        }
    };
    const std::string intOverflow =
        "error: Arithmetic overflow error converting expression to data type int.";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"tsql_convert_int(-32768, 'smallint')", "-32768"},
        {"tsql_convert_int('-7', 'int')", "-7"},
        {"tsql_convert_int(255.9, 'tinyint')", "255"},
        {"tsql_convert_int(32768, 'smallint')",
         "error: Arithmetic overflow error for data type smallint, value = 32768."},
        {"tsql_convert_int('abc', 'tinyint')", "error: "},
        // 2^63 is the double nearest the largest bigint, and already past it.
        {"tsql_convert_int(9223372036854775807.0, 'bigint')", "error: "},
        {"tsql_convert_int(-9223372036854775808.0, 'bigint')", "-9223372036854775808"},
        {"tsql_dateadd('second', 2147483647, '1950-01-01 00:00:00')", "2018-01-19 03:14:07"},
        {"tsql_dateadd('second', -2147483648.9, '2050-01-01 00:00:00')", "1981-12-13 20:45:52"},
        {"tsql_dateadd('day', 2147483648, '2000-01-01 00:00:00')", intOverflow},
        {"tsql_dateadd('day', -2147483649, '2000-01-01 00:00:00')", intOverflow},
        {"tsql_dateadd('day', 8e80, '2000-01-01 00:00:00')", intOverflow},
        {"tsql_dateadd('day', -1e300, '2000-01-01 00:00:00')", intOverflow},
        {"tsql_dateadd('day', 9e18, '2000-01-01 00:00:00')", intOverflow},
        // Text of values whose type is known only at run time.
        {"tsql_to_text('2024-03-05 10:11:12', 10, 23, -1)", "2024-03-05"},
        {"tsql_to_text('not a date', 30, 23, -1)", "not a date"},
        {"tsql_to_text(12345, 3, NULL, -1)", "*"},
        {"tsql_to_text(2.5, 30, NULL, 6)", "2.500000"},
        // A number wider than any buffer guess keeps all its digits.
        {"length(tsql_to_text(1e300, -1, NULL, 2))", "304"},
        {"substr(tsql_to_text(-1e300, -1, NULL, 2), -3)", ".00"},
    };
    for (const auto& [expression, expected] : cases) {
        const std::string got = value(expression);
        // "error: " alone stands for any error.
        EXPECT_EQ(expected == "error: " ? got.substr(0, 7) : got, expected) << expression;
    }
}

TEST(TsqlRefusal, IsADbErrorWithStateAndStatement) {
    TsqlTestDb db;
    const std::string statement = "SELECT SOUNDEX(IE91_IDORD) FROM IE91_NSOFILES";
    const auto e = test::ExpectDbError("42000", [&] { (void)db.Translate(statement); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Statement(), statement);
    EXPECT_NE(e->Description().find("SOUNDEX"), std::string::npos) << e->Description();
}

TEST(TsqlHints, QueriesCarryTheTypesOfComputedColumns) {
    TsqlTestDb db;
    db.LoadTestSchema();
    const Translation translation =
        db.Translate("SELECT MAX(IE98_TYPE) AS M, 'ab' + IE98_FIELD AS F, CONVERT(TINYINT, 1) AS T "
                     "FROM IE98_NSO_LOGERRORS");
    EXPECT_EQ(translation.kind, Translation::Kind::Query);
    EXPECT_EQ(translation.columnTypes, (std::map<std::string, std::string>{
                                           {"M", "INT"}, {"F", "varchar(102)"}, {"T", "tinyint"}}));
}

TEST(TsqlCommonTableExpressions, OnlyOneNamedByItsOwnFromClauseIsRecursive) {
    TsqlTestDb db;
    // A appears in its own body as a column, a qualifier and a string, and B names A: neither
    // names itself, so both may be expanded where used.
    const std::string plain =
        db.Translate("WITH A AS (SELECT 'A' AS A), B AS (SELECT A.A FROM A) SELECT B.A FROM B").sql;
    EXPECT_NE(plain.find("A AS NOT MATERIALIZED ("), std::string::npos) << plain;
    EXPECT_NE(plain.find("B AS NOT MATERIALIZED ("), std::string::npos) << plain;
    const Translation recursive =
        db.Translate("WITH R(N) AS (SELECT 1 UNION ALL SELECT N + 1 FROM R WHERE N < 3) "
                     "SELECT N FROM R");
    EXPECT_NE(recursive.sql.find("R(N) AS (SELECT"), std::string::npos) << recursive.sql;
    EXPECT_EQ(db.Execute(recursive), (Rows{{"1"}, {"2"}, {"3"}}));
}

TEST(TsqlNames, TemporaryTablesLiveInTheTempSchema) {
    EXPECT_EQ(SqliteTableName("#TEMP_ORD"), "temp.\"#TEMP_ORD\"");
    EXPECT_EQ(SqliteTableName("IE91_NSOFILES"), "\"IE91_NSOFILES\"");
}

TEST(TsqlOnPostgres, LiteralsAnInsertWritesTakeTheirColumnsTypeButComputedTextStaysCaseBlind) {
    TsqlTestDb db;
    db.LoadTestSchema();
    // A collation on '2025-01-02' would keep the server from reading it as the column's date.
    const Translation insert =
        TranslateTsql("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE) "
                      "SELECT 1, 'ORD-2', '2025-01-02 00:00:00'",
                      db, SqlDialect::Postgres);
    EXPECT_NE(insert.sql.find("SELECT 1, 'ORD-2', '2025-01-02 00:00:00'"), std::string::npos)
        << insert.sql;
    // A working table's text column, and a subquery's, compare without case as before.
    const Translation into = TranslateTsql("SELECT 'a' AS X INTO #T", db, SqlDialect::Postgres);
    EXPECT_NE(into.sql.find("'a' COLLATE nocase"), std::string::npos) << into.sql;
    const Translation nested =
        TranslateTsql("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD) SELECT 1, S.X FROM "
                      "(SELECT 'b' AS X) AS S",
                      db, SqlDialect::Postgres);
    EXPECT_NE(nested.sql.find("'b' COLLATE nocase"), std::string::npos) << nested.sql;
}

} // namespace
} // namespace kvad::db
