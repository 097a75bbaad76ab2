// What a user can meet in a database file, as the backend reports it: a file that is not a
// database, a lock another connection holds, and what a fresh file leaves in the error list.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "kvad_nso/errors.h"
#include "temp_database.h"

namespace kvad::test {
namespace {

using db::ConditionOf;
using db::DatabaseCondition;

class DatabaseConditionTest : public TempDatabase {};

std::string FailureText(const std::function<void()>& action) {
    try {
        action();
    } catch (const DbError& e) {
        return e.Description();
    }
    return "(no failure)";
}

TEST_F(DatabaseConditionTest, TheBackendsErrorsNameTheirCondition) {
    const std::string other = Path() + ".other";
    std::ofstream(other) << std::string(4096, 'x');
    const std::string notDatabase = FailureText([&] { (void)db::OpenSqlite(other); });
    EXPECT_EQ(ConditionOf(notDatabase), DatabaseCondition::NotDatabase) << notDatabase;

    const std::string missing = FailureText([&] {
        (void)db::OpenSqlite(Path() + ".d/none.db", db::OpenOptions{false, 0});
    });
    EXPECT_EQ(ConditionOf(missing), DatabaseCondition::CannotOpen) << missing;

    Native("CREATE TABLE T (A int)");
    connection->BeginTrans();
    connection->Execute("INSERT INTO T (A) VALUES (1)");
    const auto second = db::OpenSqlite(Path(), db::OpenOptions{false, 0});
    const std::string busy = FailureText([&] { (void)second->BeginTrans(); });
    EXPECT_EQ(ConditionOf(busy), DatabaseCondition::Busy) << busy;
    connection->RollbackTrans();

    // A component's error text quotes the provider's; any other text names nothing.
    EXPECT_EQ(ConditionOf("Routine: X\r\nVB error: -2147217900 " + busy), DatabaseCondition::Busy);
    EXPECT_EQ(ConditionOf("Routine: X\r\nVB error: 13 Type mismatch"), DatabaseCondition::None);
    EXPECT_FALSE(db::IsReadOnly(*connection));
}

TEST_F(DatabaseConditionTest, ASchemaVersionOfAFreshFileLeavesNoErrorBehind) {
    EXPECT_EQ(db::SchemaVersion(*connection), 0);
    EXPECT_TRUE(connection->Errors().empty());
    db::ApplySchema(*connection);
    EXPECT_TRUE(connection->Errors().empty());
}

} // namespace
} // namespace kvad::test
