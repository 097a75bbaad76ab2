#include "savepoint.h"

#include <gtest/gtest.h>

#include "kvad_nso/recordset.h"
#include "sqlite_connection.h"
#include "temp_database.h"

namespace kvad::db {
namespace {

class SavepointTest : public test::TempDatabase {
  protected:
    void SetUp() override {
        test::TempDatabase::SetUp();
        Native("CREATE TABLE NOTE (ID int NOT NULL PRIMARY KEY)");
    }
    sqlite3* Handle() const { return Sqlite().Handle(); }
    long Rows() { return connection->Query("SELECT ID FROM NOTE")->RecordCount(); }
};

TEST_F(SavepointTest, UndoesItsOwnWorkUnlessReleased) {
    {
        Savepoint kept(Handle(), "kept");
        connection->Execute("INSERT INTO NOTE (ID) VALUES (1)");
        kept.Release();
    }
    {
        Savepoint dropped(Handle(), "dropped");
        connection->Execute("INSERT INTO NOTE (ID) VALUES (2)");
        connection->Execute("INSERT INTO NOTE (ID) VALUES (3)");
    }
    EXPECT_EQ(Rows(), 1);

    // Nested in the connection's transaction, it undoes only its own work.
    connection->BeginTrans();
    connection->Execute("INSERT INTO NOTE (ID) VALUES (4)");
    {
        Savepoint inner(Handle(), "inner");
        connection->Execute("INSERT INTO NOTE (ID) VALUES (5)");
    }
    EXPECT_EQ(Rows(), 2) << "only the savepoint's own work is undone";
    connection->RollbackTrans();
    EXPECT_EQ(Rows(), 1);
}

TEST_F(SavepointTest, OutlivingItsSavepointIsHarmless) {
    {
        Savepoint guard(Handle(), "gone");
        connection->Execute("INSERT INTO NOTE (ID) VALUES (1)");
        Native("ROLLBACK"); // ends the savepoint under the guard's feet
    }
    connection->Execute("INSERT INTO NOTE (ID) VALUES (2)");
    EXPECT_EQ(Rows(), 1) << "the connection is usable after the guard's undo failed";
}

} // namespace
} // namespace kvad::db
