#pragma once
// A database file of its own for each test, removed with the fixture.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "kvad_nso/connection.h"
#include "sqlite/sqlite_database.h"

namespace kvad::test {

class TempDatabase : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "kvad_db_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        connection = Open();
    }
    void TearDown() override {
        connection.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    /// Another connection to the same file.
    [[nodiscard]] std::shared_ptr<Connection> Open() const { return db::OpenSqlite(Path()); }
    [[nodiscard]] std::string Path() const { return (dir_ / "test.db").string(); }
    void Native(const std::string& sql) const { db::ExecuteNativeScript(*connection, sql); }

    std::shared_ptr<Connection> connection;

  private:
    std::filesystem::path dir_;
};

} // namespace kvad::test
