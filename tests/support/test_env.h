#pragma once
// A fresh database file with the schema applied and a CLSIE_NSO instance wired to it, the way
// the nso host sets one up: company 1, the host stand-ins, the component's class registered.

#include <filesystem>
#include <memory>
#include <string>

#include "component/nso_state.h"
#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/connection.h"

namespace kvad::test {

class TestEnv {
  public:
    explicit TestEnv(std::int32_t company = 1);
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;
    TestEnv(TestEnv&&) = delete;
    TestEnv& operator=(TestEnv&&) = delete;
    ~TestEnv();

    [[nodiscard]] CLSIE_NSO& Object() { return *object_; }
    [[nodiscard]] nso::NsoState& S() { return object_->State(); }
    [[nodiscard]] Connection& Db() { return *connection_; }
    [[nodiscard]] std::shared_ptr<Connection> SharedDb() { return connection_; }
    [[nodiscard]] const std::filesystem::path& Dir() const { return dir_; }
    [[nodiscard]] std::filesystem::path DbFile() const { return dir_ / "test.db"; }

    /// Runs SQLite's own SQL (test data set-up).
    void Native(const std::string& sql);
    /// The first column of the first row of a T-SQL query (Null when there is no row).
    [[nodiscard]] Variant Scalar(const std::string& sql);
    /// Number of rows a T-SQL query returns.
    [[nodiscard]] long Count(const std::string& sql);

  private:
    std::filesystem::path dir_;
    std::shared_ptr<Connection> connection_;
    std::unique_ptr<CLSIE_NSO> object_;
};

/// The text of a file under the source tree (examples, test data).
[[nodiscard]] std::string ReadSourceFile(const std::string& relativePath);
/// The folder of the public sample documents, or empty when it is absent.
[[nodiscard]] std::filesystem::path SharedSamplesDir();

} // namespace kvad::test
