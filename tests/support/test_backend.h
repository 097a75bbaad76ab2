#pragma once
// The database backend the tests run on: SQLite unless KVAD_TEST_BACKEND=postgresql, when each
// test gets a database of its own on the server KVAD_PG_URI names (scripts/pg_cluster.sh sets
// it), with the schema applied, dropped when the test ends.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "kvad_nso/connection.h"

namespace kvad::test {

/// True when the tests run on PostgreSQL.
[[nodiscard]] bool OnPostgres();

/// A fresh database with the schema applied: the file `file` on SQLite, a new server database on
/// PostgreSQL. Name() is what `nso --db` takes.
class TestDatabase {
  public:
    /// What a new database holds: the schema, or nothing (as a file not made yet, which
    /// `nso init` gives the schema).
    enum class Contents { Schema, Empty };

    explicit TestDatabase(const std::filesystem::path& file, Contents contents = Contents::Schema);
    /// A copy of `source` as it stands (nothing may be connected to it on PostgreSQL): the file
    /// and its write-ahead log copied to `file` on SQLite.
    TestDatabase(const std::filesystem::path& file, const TestDatabase& source);
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;
    TestDatabase(TestDatabase&&) = delete;
    TestDatabase& operator=(TestDatabase&&) = delete;
    ~TestDatabase();

    [[nodiscard]] const std::string& Name() const { return name_; }
    /// A connection to it (opened on first use, kept).
    [[nodiscard]] std::shared_ptr<Connection> Open();
    /// Closes the connection Open made.
    void Close() { connection_.reset(); }

  private:
    std::string name_;
    std::string serverName_; ///< the server database's name (empty on SQLite)
    std::shared_ptr<Connection> connection_;
};

/// Runs PostgreSQL's own SQL on a server database and returns the first column of its first row
/// ("" when there is none, "null" for a null).
[[nodiscard]] std::string ServerValue(const std::string& uri, const std::string& sql);

/// Runs SQL written for the test data (SQLite's, or T-SQL both read) on the connection: as it
/// stands on SQLite, statement by statement through the T-SQL translation on PostgreSQL.
void RunTestSql(Connection& connection, const std::string& sql);

} // namespace kvad::test

/// Skips a test of what only the SQLite backend has (its file, its locks, its own SQL).
#define KVAD_SQLITE_ONLY()                                                                         \
    do {                                                                                           \
        if (::kvad::test::OnPostgres()) {                                                          \
            GTEST_SKIP() << "SQLite only";                                                         \
        }                                                                                          \
    } while (false)
