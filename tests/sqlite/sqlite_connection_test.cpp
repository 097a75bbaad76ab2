#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "sqlite_connection.h"
#include "sqlite_schema_lookup.h"
#include "support/expect_error.h"
#include "temp_database.h"

namespace kvad::test {
namespace {

class Connection : public TempDatabase {
  protected:
    void SetUp() override {
        TempDatabase::SetUp();
        Native("CREATE TABLE ORDINI (ID INTEGER PRIMARY KEY, CODICE varchar(20) COLLATE NOCASE "
               "UNIQUE, DATA datetime, IMPORTO decimal(18,5));"
               "INSERT INTO ORDINI VALUES (1, 'AB1', '2024-03-05 00:00:00', 12.5);"
               "INSERT INTO ORDINI VALUES (2, 'AB2', '2024-03-06 10:20:30', 0.1);");
    }

    [[nodiscard]] long Count(kvad::Connection& on, const std::string& table) {
        auto rs = on.Query("SELECT COUNT(*) AS N FROM " + table);
        return rs->Value("N").ToLong();
    }
};

TEST_F(Connection, TemporaryTableLivesOnItsConnectionOnly) {
    EXPECT_EQ(connection->Execute("SELECT ID, CODICE INTO #TMP FROM ORDINI"), 2);
    EXPECT_EQ(Count(*connection, "#TMP"), 2);
    EXPECT_EQ(connection->Execute("DELETE FROM #TMP WHERE ID = 1"), 1);
    EXPECT_EQ(Count(*connection, "#TMP"), 1);

    auto other = Open();
    const auto error =
        test::ExpectDbError("42000", [&] { (void)other->Query("SELECT * FROM #TMP"); });
    ASSERT_TRUE(error) << "the other connection sees the temporary table";
    ASSERT_EQ(other->Errors().size(), 1U);
    EXPECT_EQ(other->Errors()[0].description, error->Description());
}

TEST_F(Connection, SelectIntoKeepsDeclaredTypes) {
    connection->Execute("SELECT ID, CODICE, DATA, IMPORTO INTO #TMP FROM ORDINI");
    auto rs = connection->Query("SELECT * FROM #TMP WHERE CODICE = 'ab2'");
    ASSERT_EQ(rs->RecordCount(), 1); // text columns keep the case-insensitive comparison
    EXPECT_EQ(rs->Value("DATA").Type(), VarType::Date);
    EXPECT_EQ(rs->Value("DATA").ToDate(), (DateTime{2024, 3, 6, 10, 20, 30}));
    EXPECT_EQ(rs->Value("IMPORTO"), Variant(*Decimal::Parse("0.1")));
    EXPECT_EQ(rs->Value("ID").Type(), VarType::Long);
}

TEST_F(Connection, SelectIntoIndexesTheIdentityItCopies) {
    Native("CREATE TABLE DOCUMENTI (DOC_ID INTEGER PRIMARY KEY AUTOINCREMENT, TESTO text);"
           "INSERT INTO DOCUMENTI (TESTO) VALUES ('a'), ('b');");
    connection->Execute("SELECT DOC_ID, DOC_ID + 0 AS CALCOLATO, TESTO INTO #LAVORO FROM "
                        "DOCUMENTI");
    connection->Execute("SELECT ID, CODICE INTO #ALTRO FROM ORDINI");
    const std::vector<std::string> indexes = NativeColumn(
        Sqlite().Handle(),
        "SELECT tbl_name || '.' || sql FROM sqlite_temp_master WHERE type = 'index' ORDER BY name");
    // Only the copied identity: not the expression, not a key that is not an identity.
    ASSERT_EQ(indexes.size(), 1U);
    EXPECT_NE(indexes[0].find("#LAVORO.CREATE INDEX"), std::string::npos) << indexes[0];
    EXPECT_NE(indexes[0].find("(\"DOC_ID\")"), std::string::npos) << indexes[0];
    // The rows read back as they went in.
    auto rs = connection->Query("SELECT TESTO FROM #LAVORO WHERE DOC_ID = 2");
    EXPECT_EQ(rs->Value("TESTO").Text(), "b");
}

TEST_F(Connection, RolledBackTransactionLeavesNothing) {
    EXPECT_EQ(connection->BeginTrans(), 1);
    connection->Execute("INSERT INTO ORDINI (CODICE) VALUES ('OUTER')");
    EXPECT_EQ(connection->BeginTrans(), 2);
    auto rs = connection->OpenRecordset("SELECT * FROM ORDINI WHERE ID = 1");
    rs->SetValue("CODICE", "INNER");
    rs->Update();
    connection->RollbackTrans();
    EXPECT_EQ(connection->Query("SELECT CODICE FROM ORDINI WHERE ID = 1")->Value(0).Text(), "AB1");
    EXPECT_EQ(Count(*connection, "ORDINI"), 3);
    connection->RollbackTrans();
    EXPECT_EQ(Count(*connection, "ORDINI"), 2);

    connection->BeginTrans();
    connection->Execute("INSERT INTO ORDINI (CODICE) VALUES ('KEPT')");
    connection->CommitTrans();
    EXPECT_EQ(Count(*Open(), "ORDINI"), 3);
    EXPECT_THROW(connection->CommitTrans(), DbError);
}

TEST_F(Connection, FailingStatementFillsTheErrorList) {
    const std::string duplicate = "INSERT INTO ORDINI (ID, CODICE) VALUES (1, 'X')";
    const auto error = test::ExpectDbError("23000", [&] { connection->Execute(duplicate); });
    ASSERT_TRUE(error) << "duplicate key accepted";
    EXPECT_EQ(error->Statement(), duplicate);
    EXPECT_EQ(error->Number(), DbError::kProviderErrorNumber);
    ASSERT_EQ(connection->Errors().size(), 1U);
    const ProviderError& entry = connection->Errors()[0];
    EXPECT_EQ(entry.description, error->Description());
    EXPECT_NE(entry.description.find("UNIQUE"), std::string::npos);
    EXPECT_EQ(entry.source, "KVAD_NSO.SQLite");
    EXPECT_EQ(entry.sqlState, "23000");
    // A later failure replaces the entry, as ADO's error list does.
    EXPECT_THROW((void)connection->Query("SELECT NOPE FROM ORDINI"), DbError);
    ASSERT_EQ(connection->Errors().size(), 1U);
    EXPECT_EQ(connection->Errors()[0].sqlState, "42000");

    EXPECT_EQ(connection->Execute("UPDATE ORDINI SET IMPORTO = 1"), 2);
    EXPECT_EQ(connection->Execute("DROP TABLE ORDINI"), 0);
}

TEST_F(Connection, SchemaLookupSeesTablesAndTemporaryTables) {
    connection->Execute("SELECT CODICE, DATA INTO #TMP FROM ORDINI");
    db::SqliteSchemaLookup lookup(Sqlite().Handle());

    const auto columns = lookup.TableColumns("dbo.[ORDINI]");
    ASSERT_TRUE(columns.has_value());
    ASSERT_EQ(columns->size(), 4U);
    EXPECT_TRUE((*columns)[0].identity);
    EXPECT_EQ((*columns)[2].name, "DATA");
    EXPECT_EQ((*columns)[2].declType, "datetime");
    EXPECT_FALSE((*columns)[3].identity);

    const auto temporary = lookup.TableColumns("tempdb..#TMP");
    ASSERT_TRUE(temporary.has_value());
    ASSERT_EQ(temporary->size(), 2U);
    EXPECT_EQ((*temporary)[1].declType, "datetime");
    EXPECT_FALSE(lookup.TableColumns("#NOT_THERE").has_value());
}

} // namespace
} // namespace kvad::test
