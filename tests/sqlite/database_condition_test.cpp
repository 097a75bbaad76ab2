// What a user can meet in a database file travels on the error as SQLite's result code with the
// condition it means: a file that is not a database, a missing folder, a lock another connection
// holds, a full database, a file written by a newer program. A value the translation refuses
// gets its SQL state from its code too.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <functional>
#include <optional>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "temp_database.h"
#include "tsql/tsql_functions.h"

namespace kvad::test {
namespace {

class DatabaseConditionTest : public TempDatabase {};

TEST_F(DatabaseConditionTest, FilesThatCannotBeUsedCarryTheirCode) {
    const std::string other = Path() + ".other";
    std::ofstream(other) << std::string(4096, 'x');
    const auto notDatabase = FailureOf([&] { (void)db::OpenSqlite(other); });
    ASSERT_TRUE(notDatabase);
    EXPECT_EQ(notDatabase->PrimaryResultCode(), SQLITE_NOTADB);
    EXPECT_EQ(notDatabase->Condition(), DatabaseCondition::NotDatabase);
    EXPECT_EQ(notDatabase->SqlState(), "08001");

    // A missing folder, whether the file may be made or not, and a missing file not to be made.
    for (const auto& place : {std::pair{Path() + ".d/none.db", true},
                              {Path() + ".d/none.db", false},
                              {Path() + ".none", false}}) {
        const std::string& path = place.first;
        const auto missing = FailureOf([&] {
            (void)db::OpenSqlite(path, db::OpenOptions{place.second, 0});
        });
        ASSERT_TRUE(missing) << path;
        EXPECT_EQ(missing->PrimaryResultCode(), SQLITE_CANTOPEN);
        EXPECT_EQ(missing->Condition(), DatabaseCondition::CannotOpen);
        EXPECT_EQ(missing->SqlState(), "08001");
    }
}

TEST_F(DatabaseConditionTest, ALockHeldByAnotherConnectionIsBusyInTheErrorAndTheErrorList) {
    Native("CREATE TABLE T (A int)");
    connection->BeginTrans();
    connection->Execute("INSERT INTO T (A) VALUES (1)");
    const auto second = db::OpenSqlite(Path(), db::OpenOptions{false, 0});
    const auto busy = FailureOf([&] { second->Execute("INSERT INTO T (A) VALUES (2)"); });
    connection->RollbackTrans();
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->PrimaryResultCode(), SQLITE_BUSY);
    EXPECT_EQ(busy->Condition(), DatabaseCondition::Busy);
    EXPECT_EQ(busy->SqlState(), "40001");
    EXPECT_EQ(busy->Statement(), "INSERT INTO T (A) VALUES (2)");
    ASSERT_EQ(second->Errors().size(), 1U);
    EXPECT_EQ(second->Errors()[0].nativeError, busy->ResultCode());
    EXPECT_EQ(second->Execute("INSERT INTO T (A) VALUES (2)"), 1) << "free once let go";
}

// SQLite ends the whole transaction itself when a write meets a full database (or an I/O
// error): the connection then refuses every statement, so that none runs outside the caller's
// unit of work, until the caller has rolled back what it began.
TEST_F(DatabaseConditionTest, ATransactionTheDatabaseEndedRefusesStatementsUntilRolledBack) {
    Native("CREATE TABLE T (A varchar(8000)); CREATE TABLE U (A int)");
    Native("PRAGMA max_page_count = 1");
    const auto rows = [&] { return Open()->Query("SELECT A FROM U")->RecordCount(); };
    const std::string write = "INSERT INTO U (A) VALUES (2)";

    connection->BeginTrans(); // the host's
    connection->BeginTrans(); // a unit of work inside it
    connection->Execute("INSERT INTO U (A) VALUES (1)");
    const auto full = FailureOf([&] {
        connection->Execute("INSERT INTO T (A) VALUES ('" + std::string(5000, 'x') + "')");
    });
    ASSERT_TRUE(full);
    EXPECT_EQ(full->PrimaryResultCode(), SQLITE_FULL);
    EXPECT_EQ(full->Condition(), DatabaseCondition::Full);

    const auto refused = FailureOf([&] { connection->Execute(write); });
    ASSERT_TRUE(refused) << "a write after the failure ran outside the transaction";
    EXPECT_EQ(refused->SqlState(), "25000");
    EXPECT_EQ(refused->Statement(), write);
    EXPECT_EQ(refused->Condition(), DatabaseCondition::Full) << "the condition that ended it";
    EXPECT_NE(refused->Description().find("roll"), std::string::npos) << refused->Description();
    ASSERT_EQ(connection->Errors().size(), 1U);
    EXPECT_EQ(connection->Errors()[0].sqlState, "25000");
    EXPECT_TRUE(FailureOf([&] { (void)connection->Query("SELECT A FROM U"); }));
    EXPECT_TRUE(FailureOf([&] { connection->CommitTrans(); })) << "there is nothing to commit";
    EXPECT_EQ(rows(), 0);

    connection->RollbackTrans(); // the unit of work's: the host's transaction is gone too
    EXPECT_TRUE(FailureOf([&] { connection->Execute(write); }));
    connection->RollbackTrans(); // the host's
    EXPECT_EQ(rows(), 0) << "nothing of the transaction, nothing after it";

    Native("PRAGMA max_page_count = 1000");
    connection->Execute(write);
    EXPECT_EQ(rows(), 1) << "the connection works again";
    {
        TransactionScope scope(*connection);
        connection->Execute(write);
        scope.Commit();
    }
    EXPECT_EQ(rows(), 2);
}

TEST_F(DatabaseConditionTest, AFileOfANewerSchemaIsToldApartFromAStatementError) {
    db::ApplySchema(*connection);
    const auto unknownColumn = [&] {
        return FailureOf([&] { (void)connection->Query("SELECT IE91_LATER FROM IE91_NSOFILES"); });
    };
    const auto current = unknownColumn();
    ASSERT_TRUE(current);
    EXPECT_EQ(current->SqlState(), "42000");
    EXPECT_EQ(current->Condition(), DatabaseCondition::None);

    Native("INSERT INTO KVAD_SCHEMA_VERSION (SCHEMA_VERSION, SCHEMA_SCRIPT, SCHEMA_APPLIED) "
           "VALUES (99, 'later', '2030-01-01')");
    const auto newer = unknownColumn();
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->Condition(), DatabaseCondition::NewerSchema);
    const auto applied = FailureOf([&] { (void)db::ApplySchema(*connection); });
    ASSERT_TRUE(applied);
    EXPECT_EQ(applied->Condition(), DatabaseCondition::NewerSchema);
    EXPECT_EQ(db::SchemaVersion(*connection), 99);
}

TEST_F(DatabaseConditionTest, AValueTheTranslationRefusesGetsItsSqlStateFromItsCode) {
    const auto refusal = [&](const std::string& sql) {
        auto error = FailureOf([&] { (void)connection->Query(sql); });
        EXPECT_TRUE(error) << sql;
        return error.value_or(DbError("", "", ""));
    };
    const DbError number = refusal("SELECT CONVERT(INT, 'x') AS N");
    EXPECT_EQ(number.SqlState(), "22018");
    EXPECT_EQ(number.ResultCode(), db::FunctionRefusalCode(db::FunctionRefusal::ValueConversion));
    EXPECT_EQ(number.PrimaryResultCode(), SQLITE_ERROR);
    EXPECT_EQ(number.Condition(), DatabaseCondition::None);
    EXPECT_EQ(refusal("SELECT CONVERT(DATETIME, 'x') AS D").SqlState(), "22007");
    EXPECT_EQ(refusal("SELECT CONVERT(TINYINT, 300) AS N").SqlState(), "22003");
}

} // namespace
} // namespace kvad::test
