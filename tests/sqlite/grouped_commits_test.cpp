// Grouped commits: each transaction keeps or undoes its own work, other connections read the
// work when its group is written, and a group the database undid is told, not lost silently.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "temp_database.h"

namespace kvad::test::grouped_commits {
namespace {

class GroupedCommitsTest : public TempDatabase {
  protected:
    void Unit(int value, bool keep = true) {
        connection->BeginTrans();
        connection->Execute("INSERT INTO U (A) VALUES (" + std::to_string(value) + ")");
        if (keep) {
            connection->CommitTrans();
        } else {
            connection->RollbackTrans();
        }
    }
    void SetUp() override {
        TempDatabase::SetUp();
        Native("CREATE TABLE U (A int)");
        reader_ = Open();
    }
    void TearDown() override {
        reader_.reset();
        TempDatabase::TearDown();
    }
    /// The rows another connection reads: what was written to the file.
    long Written() { return reader_->Query("SELECT A FROM U")->RecordCount(); }

  private:
    std::shared_ptr<Connection> reader_;
};

TEST_F(GroupedCommitsTest, EachTransactionKeepsOrUndoesItsWorkAndTheGroupIsWrittenWhole) {
    connection->GroupCommits(3, 60000);
    Unit(1);
    Unit(2, false);
    connection->BeginTrans();
    connection->Execute("INSERT INTO U (A) VALUES (3)");
    connection->BeginTrans(); // nested: a savepoint of its own
    connection->Execute("INSERT INTO U (A) VALUES (4)");
    connection->RollbackTrans();
    connection->CommitTrans();
    EXPECT_EQ(Written(), 0) << "two transactions kept: the group of three is not written yet";
    EXPECT_EQ(connection->Query("SELECT A FROM U")->RecordCount(), 2) << "its own work it reads";

    Unit(5);
    EXPECT_EQ(Written(), 3) << "1, 3 and 5: the third kept transaction wrote the group";

    // A statement outside a transaction joins the open group; CommitGroup writes it.
    Unit(6);
    connection->Execute("INSERT INTO U (A) VALUES (7)");
    EXPECT_EQ(Written(), 3);
    connection->CommitGroup();
    EXPECT_EQ(Written(), 5);

    // A group may not be written under an open transaction.
    Unit(8);
    connection->BeginTrans();
    EXPECT_TRUE(FailureOf([&] { connection->CommitGroup(); }));
    connection->CommitTrans();

    // Ending the grouping writes the open group; later transactions commit on their own.
    connection->GroupCommits(0, 0);
    EXPECT_EQ(Written(), 6);
    Unit(9);
    EXPECT_EQ(Written(), 7);
}

TEST_F(GroupedCommitsTest, AGroupOpenLongerThanItsTimeIsWrittenByItsNextCommit) {
    connection->GroupCommits(1000, 0);
    Unit(1);
    EXPECT_EQ(Written(), 1);
    Unit(2);
    EXPECT_EQ(Written(), 2);
}

TEST_F(GroupedCommitsTest, ClosingTheConnectionWritesTheGroupAndUndoesTheOpenTransaction) {
    connection->GroupCommits(100, 60000);
    Unit(1);
    Unit(2);
    connection->BeginTrans();
    connection->Execute("INSERT INTO U (A) VALUES (3)");
    connection.reset();
    EXPECT_EQ(Written(), 2);
}

// Two transactions kept in a group, then a third that fills the database: SQLite undoes the
// whole group, and the next write of the group tells it, once.
TEST_F(GroupedCommitsTest, AGroupTheDatabaseUndidIsToldOnceAndTheGroupingGoesOn) {
    Native("CREATE TABLE T (A varchar(8000))");
    connection->GroupCommits(100, 60000);
    Unit(1);
    Unit(2);
    Native("PRAGMA max_page_count = 1");
    connection->BeginTrans();
    const auto full = FailureOf([&] {
        connection->Execute("INSERT INTO T (A) VALUES ('" + std::string(5000, 'x') + "')");
    });
    connection->RollbackTrans();
    Native("PRAGMA max_page_count = 1000");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->Condition(), DatabaseCondition::Full);

    const auto told = FailureOf([&] { connection->CommitGroup(); });
    ASSERT_TRUE(told) << "two kept transactions were undone without a word";
    EXPECT_NE(told->Description().find("last 2 unit(s)"), std::string::npos) << told->Description();
    EXPECT_EQ(told->Condition(), DatabaseCondition::Full) << "the condition that undid them";
    EXPECT_EQ(Written(), 0);
    EXPECT_FALSE(FailureOf([&] { connection->CommitGroup(); })) << "told once";
    Unit(3);
    connection->CommitGroup();
    EXPECT_EQ(Written(), 1) << "the grouping goes on";
}

} // namespace
} // namespace kvad::test::grouped_commits
