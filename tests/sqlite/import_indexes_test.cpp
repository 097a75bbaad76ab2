// The statements that ask whether an NSO order is already an ERP document, and the one that
// finds the next document number, are answered from an index: without one each is a scan of
// every ERP document, and decoding and import slow down as the ERP's documents grow.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "kvad_nso/recordset.h"
#include "sqlite_connection.h"
#include "sqlite_schema_lookup.h"
#include "temp_database.h"
#include "tsql/tsql_translator.h"

namespace {

/// SQLite's plan for `sql` (already SQLite's) on `db`, one step a line.
std::string PlanLines(sqlite3* db, const std::string& sql) {
    std::string plan;
    for (const std::string& step : kvad::test::NativeColumn(db, "EXPLAIN QUERY PLAN " + sql, 3)) {
        plan += step + "\n";
    }
    return plan;
}

class ImportIndexes : public kvad::test::TempDatabase {
  protected:
    void SetUp() override {
        TempDatabase::SetUp();
        kvad::db::ApplySchema(*connection);
    }

    /// SQLite's plan for a T-SQL statement, as translated for this database, one step a line.
    std::string PlanOf(const std::string& tsql) {
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open_v2(Path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        kvad::db::SqliteSchemaLookup lookup(db);
        std::string plan = PlanLines(db, kvad::db::TranslateTsql(tsql, lookup).sql);
        sqlite3_close(db);
        return plan;
    }

    /// The plan of a T-SQL statement on the connection's own session, which sees its working
    /// tables.
    std::string SessionPlanOf(const std::string& tsql) {
        sqlite3* db = Sqlite().Handle();
        kvad::db::SqliteSchemaLookup lookup(db);
        return PlanLines(db, kvad::db::TranslateTsql(tsql, lookup).sql);
    }
};

TEST_F(ImportIndexes, AlreadyImportedAndNextNumberAreIndexLookups) {
    // The import's own question, as it sends it.
    const std::string imported = PlanOf(
        "SELECT DO11_GUID FROM IE91_NSOFILES WITH (NOLOCK) INNER JOIN DO12_DOCTESTARIF WITH "
        "(NOLOCK) ON DO12_DITTA_CG18 = IE91_DITTA_CG18 AND ISNULL(DO12_FEIDDOC,'') = "
        "ISNULL(IE91_IDORD,'') AND ISNULL(DO12_FEDATADOC,'') = ISNULL(IE91_ISSUEDATE,'') AND "
        "ISNULL(DO12_FEIDSOGGETTO,'') = ISNULL(IE91_ENDPOINTID,'') INNER JOIN DO11_DOCTESTATA "
        "WITH (NOLOCK) ON DO11_DITTA_CG18 = DO12_DITTA_CG18 AND DO11_NUMREG_CO99 = "
        "DO12_NUMREG_CO99 WHERE IE91_ID = 7");
    EXPECT_NE(imported.find("USING INDEX DO12_DOCTESTARIF_NSO_ORDER"), std::string::npos)
        << imported;
    EXPECT_EQ(imported.find("SCAN"), std::string::npos) << imported;

    const std::string number =
        PlanOf("SELECT MAX(DO11_NUMDOC) FROM DO11_DOCTESTATA WHERE DO11_DITTA_CG18 = 1 AND "
               "DO11_DOCUM_MG36 = 'OCL' AND DO11_SEZDOC = 'A' AND DO11_ANNODOC = 2024");
    EXPECT_NE(number.find("DO11_DOCTESTATA_NUMBER"), std::string::npos) << number;

    // A cancelled chain's ERP orders, found from its documents' ids: by id, then by company and
    // GUID. With three ids or more SQLite walked every ERP order of the company instead.
    const std::string cancelled =
        PlanOf("SELECT DO11_NUMREG_CO99 FROM IE91_NSOFILES WITH (NOLOCK) INNER JOIN "
               "DO11_DOCTESTATA WITH (NOLOCK) ON DO11_DITTA_CG18 = IE91_DITTA_CG18 AND "
               "DO11_GUID = IE91_GUID_DO11 WHERE IE91_DITTA_CG18 = 1 AND IE91_ID IN (4, 8, 15, "
               "16)");
    EXPECT_NE(cancelled.find("SEARCH IE91_NSOFILES USING INTEGER PRIMARY KEY"), std::string::npos)
        << cancelled;
    EXPECT_NE(cancelled.find("DO11_DOCTESTATA_DITTA_GUID (DO11_DITTA_CG18=? AND DO11_GUID=?)"),
              std::string::npos)
        << cancelled;
}

class ErpOrderStatistics : public kvad::test::TempDatabase {};

TEST_F(ErpOrderStatistics, AFilesMeasuredStatisticsOutliveTheUpgrade) {
    // A file measured by ANALYZE before the upgrade keeps its figures (a fresh file gets the
    // shapes: the plans above).
    kvad::db::ApplySchema(*connection, 11);
    Native("ANALYZE sqlite_master; INSERT INTO sqlite_stat1 (tbl, idx, stat) VALUES "
           "('DO11_DOCTESTATA', 'DO11_DOCTESTATA_GUID', '7 1');");
    kvad::db::ApplySchema(*connection);
    EXPECT_EQ(kvad::test::NativeColumn(
                  Sqlite().Handle(),
                  "SELECT idx || '=' || stat FROM sqlite_stat1 WHERE tbl = 'DO11_DOCTESTATA'"),
              std::vector<std::string>{"DO11_DOCTESTATA_GUID=7 1"});
}

TEST_F(ImportIndexes, ABatchsChainsAreReadByIdNotThroughTheWholeRegister) {
    // The look-up that follows a batch's documents to the later ones that refer to them, as the
    // workspace sends it: by id, then by the reference index. Without the register's statistics
    // SQLite walked the reference index on the company alone for every batch.
    const std::string later = PlanOf(
        "SELECT LATER.IE91_ID FROM IE91_NSOFILES AS EARLIER INNER JOIN IE91_NSOFILES AS LATER ON "
        "LATER.IE91_RIF_IDORD = EARLIER.IE91_IDORD AND LATER.IE91_RIF_ISSUEDATE = "
        "EARLIER.IE91_ISSUEDATE AND LATER.IE91_RIF_ENDPOINTID = EARLIER.IE91_ENDPOINTID AND "
        "LATER.IE91_DITTA_CG18 = EARLIER.IE91_DITTA_CG18 WHERE EARLIER.IE91_DITTA_CG18 = 1 AND "
        "EARLIER.IE91_ID IN (7, 8, 9)");
    EXPECT_NE(later.find("SEARCH EARLIER USING INTEGER PRIMARY KEY"), std::string::npos) << later;
    EXPECT_NE(later.find("IE91_NSOFILES_RIFERIMENTO (IE91_DITTA_CG18=? AND IE91_RIF_IDORD=? AND "
                         "IE91_RIF_ISSUEDATE=? AND IE91_RIF_ENDPOINTID=?)"),
              std::string::npos)
        << later;
    // The leaves of a batch's chains: the chains' statement with the batch's ids (its part on
    // the register alone; it walked the ERP order index on the company before).
    const std::string leaves =
        PlanOf("SELECT IE91_ID FROM IE91_NSOFILES WITH (NOLOCK) WHERE IE91_NSOFILES.IE91_XML IS "
               "NOT NULL AND IE91_NSOFILES.IE91_DITTA_CG18 = 1 AND ISNULL(IE91_PROCESSATO, 0) = "
               "0 AND IE91_NSOFILES.IE91_ID IN (7, 8, 9)");
    EXPECT_NE(leaves.find("USING INTEGER PRIMARY KEY"), std::string::npos) << leaves;

    // The documents not loaded, asked once a batch: few, found without reading the register.
    const std::string notLoaded =
        PlanOf("SELECT IE91_ID, IE91_IDORD, IE91_HUBID, INTAKE_OUTCOME, INTAKE_REASON FROM "
               "IE91_NSOFILES INNER JOIN KVAD_DOCUMENT_INTAKE ON INTAKE_ID_IE91 = IE91_ID WHERE "
               "IE91_DITTA_CG18 = 1 AND INTAKE_OUTCOME <> 0 ORDER BY IE91_ID");
    EXPECT_NE(notLoaded.find("SEARCH IE91_NSOFILES USING INTEGER PRIMARY KEY"), std::string::npos)
        << notLoaded;
}

TEST_F(ImportIndexes, AWorkingTableIsReadInItsOrderWithoutSortingItsRows) {
    // Rows that tie on every key, long texts (a document's XML), and a key updated after the
    // table was made: the order is the one a sort gives, ties in the order rows were added.
    Native("CREATE TABLE DOCS (ID INTEGER PRIMARY KEY, QUANDO datetime, PADRE int, XML ntext);");
    const std::string xml(4000, 'x');
    const std::vector<std::pair<std::string, int>> rows = {{"2025-01-02", 3}, {"2025-01-03", 1},
                                                           {"2025-01-02", 1}, {"2025-01-03", 1},
                                                           {"2025-01-02", 2}, {"2025-01-01", 9}};
    for (const auto& [date, parent] : rows) {
        connection->Execute("INSERT INTO DOCS (QUANDO, PADRE, XML) VALUES ('" + date + "', " +
                            std::to_string(parent) + ", '" + xml + "')");
    }
    connection->Execute("SELECT ID, QUANDO, PADRE, 0 AS ELABORA, XML INTO #LAVORO FROM DOCS");
    connection->Execute("UPDATE #LAVORO SET PADRE = 0, ELABORA = 1 WHERE ID = 6");
    const std::string ordered = "SELECT * FROM #LAVORO ORDER BY QUANDO DESC, PADRE";
    std::string order;
    auto read = connection->OpenRecordset(ordered);
    for (; !read->Eof(); read->MoveNext()) {
        order += std::to_string(read->Value("ID").ToLong());
    }
    EXPECT_EQ(order, "243516");
    read->Requery();
    EXPECT_EQ(read->Value("ID").ToLong(), 2);

    const std::string plan = SessionPlanOf(ordered);
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << plan;
    EXPECT_NE(plan.find("USING INDEX"), std::string::npos) << plan;
    // Joined to the left, the table stays the outer one; an ORDER BY that names a select-list
    // alias gets no index and sorts.
    EXPECT_EQ(Scalar("SELECT L.ID FROM #LAVORO AS L LEFT OUTER JOIN DOCS ON DOCS.ID = L.PADRE "
                     "ORDER BY L.QUANDO DESC, L.PADRE"),
              2);
    EXPECT_EQ(Scalar("SELECT ID, PADRE * 2 AS DOPPIO FROM #LAVORO ORDER BY DOPPIO"), 6);
    connection->Execute("DROP TABLE #LAVORO");
}

TEST_F(ImportIndexes, AWorkingTableJoinedFirstIsReadFirst) {
    // A batch's log messages: the working table holds the batch, the log every document's
    // entries. SQLite walked the whole log in its index's order (the ORDER BY) and looked each
    // entry up in the batch, once a batch, however small the batch.
    connection->Execute("SELECT IE91_ID, 0 AS TMP_ELABORA INTO #TEMP_ORD FROM IE91_NSOFILES");
    const std::string messages =
        "SELECT IE98_ID, IE98_ID_IE91, IE97_CODE FROM #TEMP_ORD AS TEMP_ORD INNER JOIN "
        "IE98_NSO_LOGERRORS WITH (NOLOCK) ON IE98_ID_IE91 = TEMP_ORD.IE91_ID LEFT OUTER JOIN "
        "IE97_NSO_ERRORS WITH (NOLOCK) ON IE97_CODE = IE98_CODE_IE97 ORDER BY IE98_ID_IE91, "
        "IE98_PROGRIGA_DO30";
    const std::string plan = SessionPlanOf(messages);
    EXPECT_NE(plan.find("SCAN TEMP_ORD"), std::string::npos) << plan;
    EXPECT_NE(plan.find("SEARCH IE98_NSO_LOGERRORS USING INDEX"), std::string::npos) << plan;

    // Still an inner join: a document without entries gives no row, and the order holds.
    Native("INSERT INTO IE91_NSOFILES (IE91_ID, IE91_DITTA_CG18, IE91_STATUS) VALUES (1, 1, 0), "
           "(2, 1, 0), (3, 1, 0);");
    Native("INSERT INTO IE98_NSO_LOGERRORS (IE98_ID_IE91, IE98_PROGRIGA_DO30, IE98_CODE_IE97, "
           "IE98_TYPE, IE98_CONTESTO) VALUES (3, 2, 1, 1, 0), (1, 0, 1, 1, 0), (3, 1, 1, 1, 0);");
    connection->Execute("DROP TABLE #TEMP_ORD");
    connection->Execute("SELECT IE91_ID, 0 AS TMP_ELABORA INTO #TEMP_ORD FROM IE91_NSOFILES");
    std::string order;
    for (auto rows = connection->Query(messages); !rows->Eof(); rows->MoveNext()) {
        order += std::to_string(rows->Value("IE98_ID_IE91").ToLong());
    }
    EXPECT_EQ(order, "133");
    connection->Execute("DROP TABLE #TEMP_ORD");
}

} // namespace
