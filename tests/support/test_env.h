#pragma once
// A fresh database file with the schema applied and an instance state wired to it, the way the
// nso host sets up CLSIE_NSO: company 1, the host stand-ins and the framework objects. Tests of
// the subsystems call their routines on S(); the class itself is tested through its public face.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "frame/nso_state.h"
#include "kvad_nso/connection.h"
#include "support/temp_dir.h"
#include "support/test_backend.h"

namespace kvad::test {

/// A SQLite text literal: the text between quotes, its own quotes doubled.
inline std::string Q(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return quoted + "'";
}

class TestEnv {
  public:
    explicit TestEnv(std::int32_t company = 1);
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;
    TestEnv(TestEnv&&) = delete;
    TestEnv& operator=(TestEnv&&) = delete;
    ~TestEnv();

    [[nodiscard]] nso::NsoState& S() { return *state_; }
    [[nodiscard]] Connection& Db() { return *connection_; }
    [[nodiscard]] std::shared_ptr<Connection> SharedDb() { return connection_; }
    [[nodiscard]] const std::filesystem::path& Dir() const { return dir_.Path(); }
    [[nodiscard]] std::filesystem::path DbFile() const { return dir_ / "test.db"; }

    /// Runs the test data's SQL (RunTestSql).
    void Native(const std::string& sql);
    /// The first column of the first row of a T-SQL query (Null when there is no row).
    [[nodiscard]] Variant Scalar(const std::string& sql);
    /// Number of rows a T-SQL query returns.
    [[nodiscard]] long Count(const std::string& sql);

  private:
    TempDir dir_;
    TestDatabase database_;
    std::shared_ptr<Connection> connection_;
    std::unique_ptr<nso::NsoState> state_;
};

/// The text of a file under the source tree (examples, test data).
[[nodiscard]] std::string ReadSourceFile(const std::string& relativePath);
/// Copies a folder (documents received by the folder inbox, examples) recursively, every file
/// with one and the same modification time: the documents arrived together, so the inbox lists
/// them by name, however long the copying took.
void CopyReceived(const std::filesystem::path& from, const std::filesystem::path& to);
/// The folder of the public sample documents, or empty when it is absent. The environment
/// variable KVAD_SHARED_SAMPLES_DIR names another one, or none when empty.
[[nodiscard]] std::filesystem::path SharedSamplesDir();
/// The folders of UBL documents the tests read: the project's own (tests/data/ubl and the
/// examples' inboxes) always, then the public samples when their folder is at hand (they may not
/// be shipped with the project).
[[nodiscard]] std::vector<std::filesystem::path> UblDocumentFolders();
/// Every .xml document of UblDocumentFolders(), folder by folder, each folder's by name.
[[nodiscard]] std::vector<std::filesystem::path> UblDocuments();

} // namespace kvad::test
