#pragma once
// A database file of its own for each test, removed with the fixture.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kvad_nso/connection.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"
#include "sqlite_connection.h"
#include "support/temp_dir.h"

namespace kvad::test {

/// The DbError `action` threw, or none.
inline std::optional<DbError> FailureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DbError& e) {
        return e;
    }
    return std::nullopt;
}

/// One column of what SQLite's own `sql` gives on `db`, a value a row ("NULL" for a null).
inline std::vector<std::string> NativeColumn(sqlite3* db, const std::string& sql, int column = 0) {
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db) << ": " << sql;
    std::vector<std::string> values;
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        values.emplace_back(text != nullptr ? text : "NULL");
    }
    sqlite3_finalize(statement);
    return values;
}

class TempDatabase : public ::testing::Test {
  protected:
    void SetUp() override { connection = Open(); }
    void TearDown() override { connection.reset(); }

    /// Another connection to the same file.
    [[nodiscard]] std::shared_ptr<Connection> Open() const { return db::OpenSqlite(Path()); }
    [[nodiscard]] std::string Path() const { return (dir_ / "test.db").string(); }
    /// The connection as the SQLite connection it is (its handle, its kept statements).
    [[nodiscard]] db::SqliteConnection& Sqlite() const {
        return db::AsSqlite(*connection, std::string());
    }
    void Native(const std::string& sql) const { db::ExecuteNativeScript(*connection, sql); }
    /// The first value of a query's first row, as a number.
    [[nodiscard]] long Scalar(const std::string& sql) const {
        return connection->Query(sql)->Value(0).ToLong();
    }

    std::shared_ptr<Connection> connection;

  private:
    TempDir dir_{"db"};
};

} // namespace kvad::test
