// The chain list statement (recursive CTE, OUTER APPLY, SELECT INTO a temporary table) and the
// two UPDATE ... FROM forms that work on its table, run on SQLite.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/expect_error.h"
#include "tsql_test_db.h"
#include "workspace/ordini.h"

namespace kvad::db {
namespace {

using testing::Rows;
using testing::TsqlTestDb;

// The statement exactly as the component sends it for company 1.
std::string ChainStatement(const std::string& filter) {
    return nso::ChainStatement("1", "#TEMP_ORD", filter);
}

// An order, its revision and a second revision (the revisions write the reference in another
// case, which the comparison ignores); a separate order whose own ERP order is delivered; a
// document without XML; another company's document.
void AddDocuments(TsqlTestDb& db) {
    db.Exec(R"(
INSERT INTO IE91_NSOFILES (IE91_ID, IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID,
    IE91_OPERAZIONE, IE91_XML, IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID,
    IE91_PROCESSATO, IE91_GUID_DO11, IE91_ID_FW07) VALUES
 (1, 1, 'ORD-1', '2024-01-10 00:00:00', 'UFABC1', 0, '<x/>', NULL, NULL, NULL, 1, 'G-1', 7),
 (2, 1, 'ORD-1R', '2024-02-01 00:00:00', 'UFABC1', 1, '<x/>', 'ord-1', '2024-01-10 00:00:00',
    'ufabc1', 1, NULL, 7),
 (3, 1, 'ORD-1R2', '2024-03-05 00:00:00', 'UFABC1', 1, '<x/>', 'ORD-1R',
    '2024-02-01 00:00:00', 'UFABC1', 0, NULL, 7),
 (4, 1, 'ORD-2', '2024-02-20 00:00:00', 'UFXYZ9', 0, '<x/>', NULL, NULL, NULL, 1, 'G-2', NULL),
 (5, 1, 'ORD-3', '2024-02-21 00:00:00', 'UFXYZ9', 0, NULL, NULL, NULL, NULL, 0, NULL, NULL),
 (6, 2, 'ORD-9', '2024-02-22 00:00:00', 'UFXYZ9', 0, '<x/>', NULL, NULL, NULL, 0, NULL, NULL);
INSERT INTO FW07_APPUSER VALUES (7, 'mrossi');
INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91, IE92_BuyerCustomerParty_Party_PartyName_Name)
    VALUES (3, 'ASL Roma 1');
INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, DO11_GUID, DO11_DOCUM_MG36)
    VALUES (1, 100, 'G-1', 'OC'), (1, 200, 'G-2', 'OC');
INSERT INTO DO31_DOCCORPOORD VALUES (1, 100, 1, 0), (1, 100, 2, 5), (1, 200, 1, 3);
)");
}

const char* kMarkDelivered = "UPDATE TEMP_MAIN \r\nSET TMP_IMG_SEL = 2 \r\n"
                             "FROM #TEMP_ORD AS TEMP_EVASI \r\n"
                             "INNER JOIN #TEMP_ORD AS TEMP_MAIN \r\n"
                             "ON TEMP_MAIN.ID_RIGA = TEMP_EVASI.ID_PADRE \r\n"
                             "WHERE TEMP_EVASI.TMP_ORDINE_CONSEGNATO > 0";

class ChainList : public ::testing::Test {
  protected:
    void SetUp() override {
        db.LoadTestSchema();
        AddDocuments(db);
    }
    TsqlTestDb db;
};

TEST_F(ChainList, BuildsLevelsAndParentsOfAChainOfThree) {
    const Translation translation = db.Translate(ChainStatement(""));
    ASSERT_EQ(translation.kind, Translation::Kind::SelectInto);
    EXPECT_EQ(translation.intoTable, "#TEMP_ORD");
    EXPECT_TRUE(db.Run(ChainStatement("")).empty());

    EXPECT_EQ(
        db.Native("SELECT IE91_ID, LIVELLO, ID_RIGA, IFNULL(ID_PADRE, 'NULL'), TMP_IMG_SEL, "
                  "TMP_IMG_OPERAZIONE, TMP_IMG_GESTIONEDOC, TMP_ORDINE_CONSEGNATO, "
                  "IFNULL(FW07_USERNAME, 'NULL'), DO11_NUMREG_CO99 FROM temp.\"#TEMP_ORD\" "
                  "ORDER BY IE91_ID"),
        (Rows{
            {"1", "2", "ORD-1#2024-01-10#UFABC1", "ORD-1R2#2024-03-05#UFABC1", "9", "99", "8", "13",
             "mrossi", "100"},
            {"2", "1", "ORD-1R#2024-02-01#UFABC1", "ORD-1R2#2024-03-05#UFABC1", "9", "15", "99",
             "0", "mrossi", "NULL"},
            {"3", "0", "ORD-1R2#2024-03-05#UFABC1", "NULL", "0", "15", "99", "0", "mrossi", "NULL"},
            {"4", "0", "ORD-2#2024-02-20#UFXYZ9", "NULL", "0", "99", "8", "13", "NULL", "200"}}));
    EXPECT_EQ(db.Native("SELECT IE92_BuyerCustomerParty_Party_PartyName_Name FROM "
                        "temp.\"#TEMP_ORD\" WHERE IE91_ID = 3"),
              (Rows{{"ASL Roma 1"}}));

    // The working table keeps the declared types.
    const std::vector<std::string> columns = db.DeclaredColumns("#TEMP_ORD");
    ASSERT_GE(columns.size(), 12U);
    EXPECT_EQ(std::vector<std::string>(columns.begin(), columns.begin() + 12),
              (std::vector<std::string>{
                  "TMP_IMG_SEL tinyint", "TMP_ELABORA tinyint", "TMP_FLGNONPIUEV tinyint",
                  "TMP_ESITO tinyint", "TMP_GESTIONE tinyint", "TMP_IMG_OPERAZIONE int",
                  "TMP_IMG_GESTIONEDOC int", "ID_RIGA varchar(132)", "ID_PADRE varchar(50)",
                  "LIVELLO int", "IE91_ID INTEGER", "IE91_DITTA_CG18 int"}));
    for (const char* column : {"IE91_ISSUEDATE datetime", "TMP_ORDINE_CONSEGNATO int",
                               "DO11_DATADOC datetime", "FW07_USERNAME nvarchar(100)"}) {
        EXPECT_NE(std::find(columns.begin(), columns.end(), column), columns.end()) << column;
    }
}

TEST_F(ChainList, OnPostgresTheApplyIsJoinedOnceAsALateralSubquery) {
    const Translation pg = TranslateTsql(ChainStatement(""), db, SqlDialect::Postgres);
    ASSERT_EQ(pg.kind, Translation::Kind::SelectInto);
    // One LEFT JOIN LATERAL with the apply's SELECT, its TOP 1 a LIMIT, read by its column.
    const std::string lateral =
        " LEFT JOIN LATERAL (SELECT 13 AS \"TMP_ORDINE_CONSEGNATO\" FROM \"DO31_DOCCORPOORD\" "
        "WHERE ((\"DO31_DOCCORPOORD\".\"DO31_DITTA_CG18\" = "
        "\"DO11_DOCTESTATA\".\"DO11_DITTA_CG18\") "
        "AND (\"DO31_DOCCORPOORD\".\"DO31_NUMREG_CO99\" = "
        "\"DO11_DOCTESTATA\".\"DO11_NUMREG_CO99\") "
        "AND (\"DO31_QTA1CONS\" <> 0)) LIMIT 1) AS \"ORDINE\" ON true";
    EXPECT_TRUE(pg.sql.ends_with(lateral)) << pg.sql;
    EXPECT_NE(pg.sql.find("COALESCE(\"ORDINE\".\"TMP_ORDINE_CONSEGNATO\", 0)"), std::string::npos)
        << pg.sql;
    EXPECT_EQ(pg.sql.find("FROM \"DO31_DOCCORPOORD\""), pg.sql.rfind("FROM \"DO31_DOCCORPOORD\""));
    EXPECT_EQ(pg.columnTypes.count("TMP_ORDINE_CONSEGNATO"), 1U);
    // SQLite keeps its correlated subquery.
    const Translation sqlite = db.Translate(ChainStatement(""));
    EXPECT_EQ(sqlite.sql.find("LATERAL"), std::string::npos);
    EXPECT_NE(sqlite.sql.find("LIMIT 1)"), std::string::npos);
}

TEST(ApplyOnPostgres, ChainedAppliesSeeTheOnesBeforeAndAreRefusedAsOnSqlite) {
    TsqlTestDb db;
    db.LoadTestSchema();
    const Translation chained = TranslateTsql(
        "SELECT A1.Y FROM CG08_TABVALUTE OUTER APPLY (SELECT TOP 1 CG08_SIGLA AS X) A0 "
        "OUTER APPLY (SELECT TOP 1 A0.X + A0.X AS Y) A1",
        db, SqlDialect::Postgres);
    EXPECT_EQ(chained.sql,
              "SELECT \"A1\".\"Y\" FROM \"CG08_TABVALUTE\" LEFT JOIN LATERAL (SELECT "
              "\"CG08_SIGLA\" AS \"X\" LIMIT 1) AS \"A0\" ON true LEFT JOIN LATERAL (SELECT "
              "tsql_add(\"A0\".\"X\", \"A0\".\"X\") AS \"Y\" LIMIT 1) AS \"A1\" ON true");
    for (const char* apply : {"SELECT X FROM CG08_TABVALUTE OUTER APPLY (SELECT 1 AS X) A",
                              "SELECT X FROM CG08_TABVALUTE OUTER APPLY (SELECT TOP 1 *) A",
                              "SELECT X FROM CG08_TABVALUTE OUTER APPLY (SELECT TOP 1 1+1) A"}) {
        for (const SqlDialect dialect : {SqlDialect::Postgres, SqlDialect::Sqlite}) {
            SCOPED_TRACE(apply);
            (void)test::ThrownBy<DbError>([&] { (void)TranslateTsql(apply, db, dialect); });
        }
    }
}

TEST_F(ChainList, FilterOnLeavesKeepsWholeChains) {
    db.Run(ChainStatement(" AND ISNULL(IE91_PROCESSATO, 0) = 1 \r\n"));
    // Only the processed leaf ORD-2 heads a chain; the chain of ORD-1R2 (not processed) is
    // left out with its processed older documents.
    EXPECT_EQ(db.Native("SELECT IE91_ID FROM temp.\"#TEMP_ORD\" ORDER BY IE91_ID"), (Rows{{"4"}}));
}

TEST_F(ChainList, OutcomeUpdateChangesOnlyTheTargetedRow) {
    db.Run(ChainStatement(""));
    db.Exec("UPDATE IE91_NSOFILES SET IE91_GUID_DO11 = 'G-2' WHERE IE91_ID = 3");
    db.Run("UPDATE #TEMP_ORD SET TMP_ESITO        = 1,     TMP_GESTIONE     = 3,     "
           "DO11_NUMREG_CO99 = DO11_DOCTESTATA.DO11_NUMREG_CO99 \r\n"
           "FROM #TEMP_ORD AS TEMP_ORD \r\n"
           "LEFT OUTER JOIN IE91_NSOFILES WITH (NOLOCK) \r\n"
           "ON IE91_NSOFILES.IE91_DITTA_CG18 = 1 AND    IE91_NSOFILES.IE91_ID         = "
           "TEMP_ORD.IE91_ID \r\n"
           "LEFT OUTER JOIN DO11_DOCTESTATA WITH (NOLOCK) \r\n"
           "ON DO11_DOCTESTATA.DO11_GUID     = IE91_NSOFILES.IE91_GUID_DO11 \r\n"
           "WHERE TEMP_ORD.IE91_ID = 3");
    EXPECT_EQ(db.Native("SELECT IE91_ID, TMP_ESITO, TMP_GESTIONE, IFNULL(DO11_NUMREG_CO99, 'NULL') "
                        "FROM temp.\"#TEMP_ORD\" ORDER BY IE91_ID"),
              (Rows{{"1", "0", "0", "100"},
                    {"2", "0", "0", "NULL"},
                    {"3", "1", "3", "200"},
                    {"4", "0", "0", "200"}}));
}

TEST_F(ChainList, MarkDeliveredThenSelectionUpdateAndDropOfTheWorkingTable) {
    db.Run(ChainStatement(""));
    db.Run(kMarkDelivered);
    // ORD-1R2 heads a chain whose ORD-1 has a delivered line; ORD-2 is delivered itself.
    const std::string selection = "SELECT TMP_IMG_SEL FROM temp.\"#TEMP_ORD\" ORDER BY IE91_ID";
    EXPECT_EQ(db.Native(selection), (Rows{{"9"}, {"9"}, {"2"}, {"0"}}));
    EXPECT_EQ(db.Run("SELECT * \r\nFROM #TEMP_ORD \r\nORDER BY IE91_ISSUEDATE DESC, ID_PADRE, "
                     "LIVELLO ")
                  .size(),
              4U);
    const std::string invert = "UPDATE #TEMP_ORD \r\nSET TMP_IMG_SEL = (CASE WHEN TMP_IMG_SEL = 1 "
                               "THEN 0 ELSE 1 END) \r\nWHERE TMP_IMG_SEL <= 1 AND \r\n"
                               "      LIVELLO = 0 ";
    db.Run(invert);
    EXPECT_EQ(db.Native(selection), (Rows{{"9"}, {"9"}, {"2"}, {"1"}}));
    db.Run(invert);
    EXPECT_EQ(db.Native(selection), (Rows{{"9"}, {"9"}, {"2"}, {"0"}}));

    const std::string drop = "IF NOT OBJECT_ID('tempdb..#TEMP_ORD') IS NULL DROP TABLE #TEMP_ORD";
    EXPECT_EQ(db.Translate(drop).kind, Translation::Kind::Command);
    db.Run(drop);
    EXPECT_FALSE(db.TableColumns("#TEMP_ORD").has_value());
    EXPECT_EQ(db.Translate(drop).kind, Translation::Kind::Nothing);
}

} // namespace
} // namespace kvad::db
