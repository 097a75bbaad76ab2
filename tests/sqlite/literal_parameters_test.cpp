#include "literal_parameters.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "sqlite_connection.h"
#include "temp_database.h"

namespace kvad::db {
namespace {

using Texts = std::vector<std::string>;

/// The values taken out of `tsql`, numbers as written and texts in quotes; none when the scan
/// takes nothing out.
std::optional<Texts> Taken(std::string_view tsql) {
    const auto found = FindLiteralParameters(tsql);
    if (!found) {
        return std::nullopt;
    }
    Texts values;
    for (const ParameterValue& value : found->values) {
        values.push_back(std::holds_alternative<std::int64_t>(value)
                             ? std::to_string(std::get<std::int64_t>(value))
                             : "'" + std::get<std::string>(value) + "'");
    }
    return values;
}

TEST(LiteralParameters, OnlyIntegersComparedWithANameAreTakenOut) {
    EXPECT_EQ(Taken("DELETE FROM T WHERE A_ID = 12 AND [B] <> 3 AND t.C >= 40"),
              (Texts{"12", "3", "40"}));
    EXPECT_EQ(Taken("UPDATE T SET X = 2 WHERE Y <= 1 AND Z = 0"), (Texts{"2", "1", "0"}));
    // Not parameters: literals inside strings, after a function or a parenthesis, TOP, IN
    // lists, decimals, leading zeros, numbers too long for an int, signed ones. Nor statements
    // that are not read or written data, or that this scan cannot read surely.
    for (const char* kept :
         {"SELECT TOP 1 1 FROM T WHERE A = 'B = 5' AND ISNULL(C, 0) = 0 AND D IN (1, 2) AND E = "
          "1.5 AND F = 007 AND G = 1234567890 AND H = -4",
          "CREATE TABLE T (A int CHECK (A = 1))", "SELECT A FROM T WHERE B = 1 -- note",
          "SELECT A FROM T WHERE B = 1 AND C = ?", "SELECT A FROM T WHERE B = 'unclosed",
          "SELECT 'a\x01' FROM T WHERE B = 1"}) {
        EXPECT_FALSE(Taken(kept)) << kept;
    }
    const auto a = FindLiteralParameters(";WITH C AS (SELECT 1 AS X) SELECT * FROM T WHERE K = 5");
    const auto b = FindLiteralParameters(";WITH C AS (SELECT 1 AS X) SELECT * FROM T WHERE K = 61");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->key, b->key) << "the same statement with another value";
    const std::string k5 = "SELECT * FROM T WHERE K = 5";
    EXPECT_EQ(ReplaceLiterals(k5, *FindLiteralParameters(k5), {"77"}),
              "SELECT * FROM T WHERE K = 77");
}

TEST(LiteralParameters, LongTextsCodesAndGuidsAreTakenOutAndOtherShortTextsKept) {
    const std::string body(kLongLiteral, 'x');
    const std::string update =
        "UPDATE T SET XML = '<a b=''1''>" + body + "</a>', SHORT = 'a c' WHERE ID = 5";
    EXPECT_EQ(Taken(update), (Texts{"'<a b='1'>" + body + "</a>'", "5"}));
    EXPECT_EQ(FindLiteralParameters(update)->key,
              "UPDATE T SET XML = \x01, SHORT = 'a c' WHERE ID = \x01");

    const std::string codes =
        "SELECT 1 FROM T WHERE CODE = 'ART-5' AND REF = 'ORD/2024_7.b' AND D = '2024-01-05' AND "
        "E = '12' AND F = 'a b' AND G = '' AND H = 'x ' AND I = 'caf\xc3\xa9'";
    EXPECT_EQ(Taken(codes), (Texts{"'ART-5'", "'ORD/2024_7.b'"}));
    EXPECT_EQ(FindLiteralParameters(codes)->key,
              "SELECT 1 FROM T WHERE CODE = \x01 AND REF = \x01 AND D = '2024-01-05' AND E = '12' "
              "AND F = 'a b' AND G = '' AND H = 'x ' AND I = 'caf\xc3\xa9'");
    EXPECT_FALSE(Taken("SELECT 1 FROM T WHERE C = '" + std::string(kMaxCodeLength + 1, 'a') + "'"));

    // One digit short, a dash moved, a letter past F: kept.
    EXPECT_EQ(Taken("UPDATE T SET G = '0F3A9C1E-7B2D-4E5F-8A9B-C0D1E2F3A4B5' WHERE H = "
                    "'9f3a9c1e-7b2d-4e5f-8a9b-c0d1e2f3a4b5' AND A = "
                    "'0F3A9C1E-7B2D-4E5F-8A9B-C0D1E2F3A4B' AND B = "
                    "'0F3A9C1E7B2D-4E5F-8A9B-C0D1E2F3A4B5-' AND C = "
                    "'0G3A9C1E-7B2D-4E5F-8A9B-C0D1E2F3A4B5'"),
              (Texts{"'0F3A9C1E-7B2D-4E5F-8A9B-C0D1E2F3A4B5'",
                     "'9f3a9c1e-7b2d-4e5f-8a9b-c0d1e2f3a4b5'"}));
}

TEST(LiteralParameters, DatesAsTheTranslationWritesThemAreTakenOutWithTheirOwnMarker) {
    const auto found = FindLiteralParameters(
        "SELECT 1 FROM T WHERE D = '2024-02-29 23:59:59' AND E = '2023-02-29 00:00:00' AND F = "
        "'1752-12-31 00:00:00' AND G = '2024-01-05' AND H = '2024-01-05T10:00:00' AND I = "
        "'2024-01-05 24:00:00'");
    ASSERT_TRUE(found);
    ASSERT_EQ(found->values.size(), 1U) << "no such day, before 1753, other forms: kept";
    EXPECT_EQ(std::get<std::string>(found->values[0]), "2024-02-29 23:59:59");
    EXPECT_EQ(found->key.substr(0, 27), "SELECT 1 FROM T WHERE D = \x02");
    const std::vector<std::string> sentinels = SentinelValues("SELECT 1", *found);
    ASSERT_EQ(sentinels.size(), 1U);
    EXPECT_EQ(sentinels[0].size(), 21U);
    EXPECT_EQ(sentinels[0].substr(5, 16), "-03-07 11:13:17'") << "a date stands for dates";
    // A date written into a list is a text like any other there.
    const auto listed = FindLiteralParameters("INSERT INTO T (D) VALUES ('2024-02-29 23:59:59')");
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->key, "INSERT INTO T (D) VALUES (\x01)");
}

TEST(LiteralParameters, TranslationsMustMoveNothingButTheValues) {
    const std::string original = "SELECT * FROM \"T\" WHERE (K = 5) AND (J = 6)";
    const std::vector<std::string> written = {"5", "6"};
    const std::vector<std::string> s =
        SentinelValues(original, *FindLiteralParameters("SELECT * FROM T WHERE K = 5 AND J = 6"));
    ASSERT_EQ(s.size(), 2U);
    EXPECT_EQ(original.find(s[0]), std::string::npos);
    const auto where = [&](const std::string& k, const std::string& j) {
        return "SELECT * FROM \"T\" WHERE (K = " + k + ") AND (J = " + j + ")";
    };
    EXPECT_EQ(ParameterizedSql(original, written, where(s[0], s[1]), s, {}), where("?1", "?2"));
    // The values put elsewhere, one of them twice, or folded into another number.
    for (const std::string& moved :
         {where(s[1], s[0]), "SELECT " + s[0] + ", " + where(s[0], s[1]).substr(7),
          where(s[0] + "1", s[1])}) {
        EXPECT_FALSE(ParameterizedSql(original, written, moved, s, {})) << moved;
    }
}

TEST(LiteralParameters, WholeValuesOfAnInsertListAreTakenOut) {
    const std::string insert =
        "INSERT INTO LOG (A, B, C, D, E, F) VALUES (12, 'dell''ordine: 3/4', NULL, 'x' + 'y', "
        "ISNULL(7, 0), -4), (0, '', 5, N'n', 1.5, 'z')";
    EXPECT_EQ(Taken(insert), (Texts{"12", "'dell'ordine: 3/4'", "0", "''", "5", "'z'"}));
    const auto found = FindLiteralParameters(insert);
    // Not values of their own: a part of an expression, a function's argument, a signed,
    // national or decimal literal.
    EXPECT_EQ(found->key, "INSERT INTO LOG (A, B, C, D, E, F) VALUES (\x01, \x01, NULL, 'x' + 'y', "
                          "ISNULL(7, 0), -4), (\x01, \x01, \x01, N'n', 1.5, \x01)");
    // Texts may stand for parameters only where the translation writes them bare.
    EXPECT_EQ(found->bare, (std::vector<bool>{false, true, false, true, false, true}));
    EXPECT_FALSE(Taken("SELECT 'a', 1 FROM T"));
    EXPECT_FALSE(Taken("SELECT * FROM T WHERE A IN ('a', 1)"));

    const std::string tsql = "INSERT INTO T (A, D) VALUES ('a b', 'c d')";
    const auto texts = FindLiteralParameters(tsql);
    ASSERT_TRUE(texts);
    const std::vector<std::string> written = {"'a b'", "'c d'"};
    const std::vector<std::string> s = SentinelValues(tsql, *texts);
    const auto values = [](const std::string& a, const std::string& d) {
        return "INSERT INTO \"T\" (\"A\", \"D\") VALUES (" + a + ", " + d + ")";
    };
    EXPECT_EQ(
        ParameterizedSql(values("'a b'", "'c d'"), written, values(s[0], s[1]), s, texts->bare),
        values("?1", "?2"));
    // A text converted for a date column: the same conversion would give every value, but
    // a date written as text is converted when translated, so the list keeps its texts.
    const auto date = [](const std::string& d) { return "tsql_convert_datetime(" + d + ", 1)"; };
    EXPECT_FALSE(ParameterizedSql(values("'a b'", date("'c d'")), written, values(s[0], date(s[1])),
                                  s, texts->bare));
}

class ParameterizedStatements : public test::TempDatabase {
  protected:
    /// Runs `step` for 0 to n - 1: the steps after the first `warm` prepare no statement more.
    void ExpectOneStatementForEvery(std::size_t n, std::size_t warm,
                                    const std::function<void(std::size_t)>& step) const {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < n; ++i) {
            step(i);
            kept = i + 1 == warm ? Sqlite().KeptStatements() : kept;
        }
        EXPECT_EQ(Sqlite().KeptStatements(), kept) << "one statement for every value";
    }
};

TEST_F(ParameterizedStatements, RowsOfEachValueAreTheirOwn) {
    Native("CREATE TABLE RIGHE (ID INTEGER PRIMARY KEY, DOC int, RIGA int, TESTO varchar(10));");
    for (int doc = 1; doc <= 30; ++doc) {
        for (int riga = 1; riga <= 3; ++riga) {
            connection->Execute("INSERT INTO RIGHE (DOC, RIGA, TESTO) VALUES (" +
                                std::to_string(doc) + ", " + std::to_string(riga) + ", 'd" +
                                std::to_string(doc) + "')");
        }
    }
    ExpectOneStatementForEvery(30, 3, [&](std::size_t i) {
        const int doc = static_cast<int>(i) + 1;
        const std::string where =
            " WHERE DOC = " + std::to_string(doc) + " AND RIGA > " + std::to_string(doc % 3);
        EXPECT_EQ(connection->Execute("UPDATE RIGHE SET TESTO = 'x' + TESTO" + where), 3 - doc % 3);
        auto rs = connection->OpenRecordset("SELECT * FROM RIGHE" + where + " ORDER BY RIGA");
        ASSERT_EQ(rs->RecordCount(), 3 - doc % 3);
        EXPECT_EQ(rs->Value("TESTO").Text(), "xd" + std::to_string(doc));
        EXPECT_EQ(rs->Value("RIGA").ToLong(), doc % 3 + 1);
        rs->SetValue("TESTO", std::string("w"));
        rs->Update();
        EXPECT_EQ(connection->Execute("DELETE FROM RIGHE" + where), 3 - doc % 3);
    });
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM RIGHE"), 30);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM RIGHE WHERE TESTO LIKE 'd%'"), 30);
}

TEST_F(ParameterizedStatements, LongTextsAreStoredAsWritten) {
    Native("CREATE TABLE DOCUMENTI (ID INTEGER PRIMARY KEY, XML ntext);"
           "INSERT INTO DOCUMENTI (ID) VALUES (1), (2), (3);");
    ExpectOneStatementForEvery(3, 2, [&](std::size_t i) {
        const std::string id = std::to_string(i + 1);
        const std::string text =
            "<o n='" + id + "'>" + std::string(kLongLiteral * (i + 1), 'a') + "</o>";
        EXPECT_EQ(connection->Execute("UPDATE DOCUMENTI SET XML = '" + ReplaceAll(text, "'", "''") +
                                      "' WHERE ID = " + id),
                  1);
        EXPECT_EQ(connection->Query("SELECT XML FROM DOCUMENTI WHERE ID = " + id)->Value(0).Text(),
                  text);
    });
}

TEST_F(ParameterizedStatements, CodesFindTheirOwnRowsWhateverTheColumnsType) {
    Native("CREATE TABLE ARTICOLI (ID INTEGER PRIMARY KEY, CODICE varchar(20), QUANDO datetime, "
           "NUMERO int);"
           "INSERT INTO ARTICOLI (CODICE, NUMERO) VALUES ('ART-1', 1), ('ART-2', 2), ('ART-2', "
           "3), ('art-3', 4);");
    const std::vector<std::pair<std::string, long>> counts = {
        {"ART-1", 1}, {"ART-2", 2}, {"art-3", 1}, {"ART-4", 0}, {"ART-5", 0}};
    ExpectOneStatementForEvery(counts.size(), 2, [&](std::size_t i) {
        const auto& [code, count] = counts[i];
        EXPECT_EQ(
            Scalar("SELECT COUNT(*) FROM ARTICOLI WHERE CODICE = '" + code + "' AND NUMERO > 0"),
            count)
            << code;
        EXPECT_EQ(connection->Execute("UPDATE ARTICOLI SET CODICE = 'X" + code +
                                      "' WHERE CODICE = '" + code + "'"),
                  count);
        EXPECT_EQ(connection->Execute("UPDATE ARTICOLI SET CODICE = '" + code +
                                      "' WHERE CODICE = 'X" + code + "'"),
                  count);
    });
    // A code compared with a number or a date finds what a text that is no code finds.
    for (const std::string column : {"NUMERO", "QUANDO"}) {
        const std::string count = "SELECT COUNT(*) FROM ARTICOLI WHERE " + column;
        EXPECT_EQ(Scalar(count + " = 'abc'"), Scalar(count + " = 'a c'"));
    }
}

TEST_F(ParameterizedStatements, ListedTextsShareAStatementOnlyWhereStoredAsWritten) {
    Native("CREATE TABLE LOGERR (ID INTEGER PRIMARY KEY, DOC int, MSG varchar(200), QUANDO "
           "datetime);");
    const std::vector<std::string> messages = {
        "La data dell'ordine 1/2/2025 \xc3\xa8 errata", "", "2025-01-02", "?", "12 ", "'"};
    ExpectOneStatementForEvery(messages.size(), 2, [&](std::size_t i) {
        connection->Execute("INSERT INTO LOGERR (DOC, MSG) VALUES (" + std::to_string(i) + ", '" +
                            ReplaceAll(messages[i], "'", "''") + "')");
    });
    auto stored = connection->OpenRecordset("SELECT MSG FROM LOGERR ORDER BY DOC");
    for (const std::string& message : messages) {
        ASSERT_FALSE(stored->Eof());
        EXPECT_EQ(stored->Value("MSG").Text(), message);
        stored->MoveNext();
    }
    // Texts going into a date column are converted when translated: each keeps its text, and
    // is stored as the date it reads as.
    const std::vector<std::pair<std::string, std::string>> dates = {
        {"20250506", "06/05/2025"}, {"2025-01-02", "02/01/2025"}, {"2025-03-04", "04/03/2025"}};
    for (std::size_t i = 0; i < dates.size(); ++i) {
        const std::string doc = std::to_string(100 + i);
        connection->Execute("INSERT INTO LOGERR (DOC, QUANDO) VALUES (" + doc + ", '" +
                            dates[i].first + "')");
        EXPECT_EQ(connection->Query("SELECT QUANDO FROM LOGERR WHERE DOC = " + doc)
                      ->Value(0)
                      .ToDate()
                      .ToText(),
                  dates[i].second);
    }
}

TEST_F(ParameterizedStatements, DatesFindTheirOwnRowsInADateColumn) {
    Native("CREATE TABLE ORDINI (ID INTEGER PRIMARY KEY, QUANDO datetime, NOTA varchar(30));"
           "INSERT INTO ORDINI (QUANDO, NOTA) VALUES ('2025-01-02 00:00:00', '2025-01-02 "
           "00:00:00'), ('2025-01-02 10:00:00', 'b'), ('2025-01-03 00:00:00', 'c');");
    // A date, the rows equal to it, the rows from it on.
    const std::vector<std::tuple<std::string, long, long>> counts = {{"2025-01-02 00:00:00", 1, 3},
                                                                     {"2025-01-02 10:00:00", 1, 2},
                                                                     {"2025-01-03 00:00:00", 1, 1},
                                                                     {"2025-01-04 00:00:00", 0, 0},
                                                                     {"2024-02-29 00:00:00", 0, 3}};
    const std::string count = "SELECT COUNT(*) FROM ORDINI WHERE QUANDO ";
    ExpectOneStatementForEvery(counts.size(), 2, [&](std::size_t i) {
        const auto& [date, equal, from] = counts[i];
        EXPECT_EQ(Scalar(count + "= '" + date + "'"), equal) << date;
        EXPECT_EQ(Scalar(count + ">= '" + date + "'"), from) << date;
    });
    // A date compared with a text column, and dates the translation reads another way.
    EXPECT_EQ(Scalar("SELECT ID FROM ORDINI WHERE NOTA = '2025-01-02 00:00:00'"), 1);
    EXPECT_EQ(Scalar(count + "= '20250103'"), 1);
    EXPECT_EQ(Scalar(count + "< '2025-01-02 10:00'"), 1);
}

/// Everything the scan found, as one comparable value.
auto Found(const std::optional<LiteralParameters>& found) {
    return found ? std::make_optional(std::make_tuple(found->key, found->values, found->spans,
                                                      found->bare, found->dates))
                 : std::nullopt;
}

TEST(LiteralParameters, ShapesMetBeforeFindWhatTheWholeScanFinds) {
    // Each statement learns its shape, then every variant is read both ways: through the shape
    // where the text around the literals is the same, by the whole scan where it is not, and
    // alike either way, whether the variant's literal is taken out or not. A family's
    // statements are its text with a value put in.
    const auto around = [](const std::string& before, const std::string& after) {
        return [=](const std::string& value) { return before + value + after; };
    };
    const auto lines =
        around("SELECT * FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = ", " ORDER BY IE95_ID");
    const auto item =
        around("SELECT 1 FROM MG66_ANAGRART WHERE MG66_DITTA_CG18 = 2 AND MG66_CODART = ", "");
    const auto from = around("SELECT COUNT(*) FROM ORDINI WHERE QUANDO >= ", "");
    const auto log = around("INSERT INTO IE98_NSO_LOGERRORS (A, B, C) VALUES (", ")");
    const auto xml = around("UPDATE IE91_NSOFILES SET IE91_XML = ", " WHERE IE91_ID = 8");
    const std::vector<std::pair<std::string, Texts>> families = {
        {lines("5"),
         {lines("61"), lines("0123"), lines("5e3"), lines("1234567890"), lines(".5"),
          lines("'ART-5'"), lines(" 5"), lines("5") + " -- note", lines("5") + " DESC",
          "SELECT * FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = 5"}},
        {"SELECT 1 FROM MG66_ANAGRART WHERE MG66_DITTA_CG18 = 1 AND MG66_CODART = 'ART-5'",
         {item("'B.7/x_1'"), item("'ART 5'"), item("'5ART'"), item("'A''B'"),
          item("'7404CCAB-70C5-426A-95CA-B2A36A5E1F0E'"), item("'A\x01'"), item("'ART"),
          item("?")}},
        {from("'2025-01-02 00:00:00'"),
         {from("'2024-02-29 23:59:59'"), from("'2025-02-29 00:00:00'"),
          from("'1700-01-01 00:00:00'"), from("'ORD-2025'")}},
        {log("1, 'x', 'ART-5'"),
         {log("22, 'y''z', 'any text'"), log("2.5, 'y', 'ART-6'"), log("2, 3, 'ART-6'"),
          log("2, '2025-01-02 00:00:00', ''")}},
        {"UPDATE IE91_NSOFILES SET IE91_XML = '" + std::string(kLongLiteral, 'x') +
             "' WHERE IE91_ID = 7",
         {xml("'" + std::string(kLongLiteral + 5, 'y') + "'"), xml("'<short/>'")}},
    };
    for (const auto& [learnt, variants] : families) {
        LiteralShapes shapes(1 << 20);
        ASSERT_EQ(Found(shapes.Find(learnt)), Found(FindLiteralParameters(learnt))) << learnt;
        ASSERT_EQ(shapes.Matches(), 0U);
        const auto again = shapes.Find(learnt);
        ASSERT_EQ(Found(again), Found(FindLiteralParameters(learnt))) << learnt;
        EXPECT_EQ(shapes.Matches(), 1U) << "the same text again is read through its shape";
        EXPECT_EQ(again->keyHash, std::hash<std::string_view>{}(again->key));
        for (const std::string& variant : variants) {
            EXPECT_EQ(Found(shapes.Find(variant)), Found(FindLiteralParameters(variant)))
                << variant;
        }
        // The first variant of each family differs only in values that are taken out.
        EXPECT_GE(shapes.Matches(), 2U) << learnt;
    }
    // A shape whose key is longer than the memory keeps is scanned whole every time.
    const std::string learnt = families.front().first;
    LiteralShapes bounded(learnt.size() - 1);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Found(bounded.Find(learnt)), Found(FindLiteralParameters(learnt)));
    }
    EXPECT_EQ(bounded.Matches(), 0U);
}

} // namespace
} // namespace kvad::db
