#pragma once
// A database file of its own for each test, removed with the fixture.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kvad_nso/connection.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"
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

class TempDatabase : public ::testing::Test {
  protected:
    void SetUp() override { connection = Open(); }
    void TearDown() override { connection.reset(); }

    /// Another connection to the same file.
    [[nodiscard]] std::shared_ptr<Connection> Open() const { return db::OpenSqlite(Path()); }
    [[nodiscard]] std::string Path() const { return (dir_ / "test.db").string(); }
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
