// Checkpoints on a thread of their own: the log is copied back while the writer goes on, it
// stays bounded, and closing in the middle of a checkpoint loses no commit.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"
#include "support/temp_dir.h"
#include "wal_checkpointer.h"

namespace kvad::test::wal_checkpoint {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr int kMark = 40;         // pages
constexpr int kRowBytes = 3000;   // a row of its own page
constexpr int kRowsPerCommit = 8; // pages a commit adds to the log

struct RawCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};

/// The first value SQLite's own `sql` gives on the file, as text.
std::string NativeText(const std::string& path, const char* sql) {
    sqlite3* raw = nullptr;
    sqlite3_open(path.c_str(), &raw);
    const std::unique_ptr<sqlite3, RawCloser> db(raw);
    sqlite3_stmt* stmt = nullptr;
    std::string text = "(no result)";
    if (sqlite3_prepare_v2(db.get(), sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return text;
}

class WalCheckpointTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(Path().c_str(), &raw), SQLITE_OK);
        db_.reset(raw);
        Run("PRAGMA journal_mode = WAL");
        Run("PRAGMA wal_autocheckpoint = 0"); // only the checkpointer copies the log back
        Run("CREATE TABLE T (A int, B blob)");
    }

    [[nodiscard]] std::string Path() const { return (dir_.Path() / "wal.db").string(); }
    [[nodiscard]] std::uintmax_t LogBytes() const {
        std::error_code ignored;
        const auto size = fs::file_size(Path() + "-wal", ignored);
        return ignored ? 0 : size;
    }
    void Run(const std::string& sql) const {
        ASSERT_EQ(sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db_.get());
    }
    void Commit(int first) const {
        Run("BEGIN");
        for (int i = 0; i < kRowsPerCommit; ++i) {
            Run("INSERT INTO T VALUES (" + std::to_string(first + i) + ", zeroblob(" +
                std::to_string(kRowBytes) + "))");
        }
        Run("COMMIT");
    }
    /// Waits (at most ten seconds) until the thread has finished every checkpoint asked of it.
    static bool CaughtUp(const db::WalCheckpointer& checkpointer) {
        for (int i = 0; i < 10000 && checkpointer.Finished() < checkpointer.Asked(); ++i) {
            std::this_thread::sleep_for(milliseconds(1));
        }
        return checkpointer.Finished() >= checkpointer.Asked();
    }

    TempDir dir_;
    std::unique_ptr<sqlite3, RawCloser> db_;
};

TEST_F(WalCheckpointTest, TheThreadCopiesTheLogBackSoItStaysNearTheMark) {
    std::uintmax_t largest = 0;
    {
        const db::WalCheckpointer checkpointer(db_.get(), Path(), kMark);
        for (int commit = 0; commit < 40; ++commit) {
            Commit(commit * kRowsPerCommit);
            ASSERT_TRUE(CaughtUp(checkpointer)) << "the checkpoint thread did not answer";
            largest = std::max(largest, LogBytes());
        }
        EXPECT_GT(checkpointer.Asked(), 3U);
        // The thread kept up: the writer never had to copy the log back itself.
        EXPECT_EQ(checkpointer.MadeByWriter(), 0U);
    }
    // 320 pages were written. Copied back at the mark, the log restarts: it never held much
    // more than the mark and one commit (without the thread it reaches four times the mark).
    const std::uintmax_t frameBytes = 4096 + 24;
    EXPECT_LE(largest, (kMark + 3 * kRowsPerCommit) * frameBytes);
    EXPECT_EQ(NativeText(Path(), "SELECT COUNT(*) FROM T"), std::to_string(40 * kRowsPerCommit));
}

TEST_F(WalCheckpointTest, WithoutItsThreadTheWriterStillBoundsTheLog) {
    // The thread's connection cannot be opened (its file is not there): the writer copies the
    // log back itself at four times the mark, and goes on.
    std::uintmax_t largest = 0;
    const db::WalCheckpointer checkpointer(db_.get(), (dir_.Path() / "none" / "x.db").string(),
                                           kMark);
    for (int commit = 0; commit < 60; ++commit) {
        Commit(commit * kRowsPerCommit);
        largest = std::max(largest, LogBytes());
    }
    EXPECT_EQ(checkpointer.Finished(), 0U);
    EXPECT_GE(checkpointer.MadeByWriter(), 2U);
    EXPECT_LE(largest, (4 * kMark + 3 * kRowsPerCommit) * (4096 + 24));
}

TEST(WalCheckpointConnectionTest, ClosingWhileTheLogIsCopiedBackKeepsEveryCommit) {
    const TempDir dir;
    const std::string path = (dir.Path() / "close.db").string();
    db::OpenOptions options;
    options.checkpointPages = 20;
    constexpr int kRows = 600;
    {
        const auto connection = db::OpenSqlite(path, options);
        db::ExecuteNativeScript(*connection, "CREATE TABLE T (A int, B varchar(4000))");
        for (int i = 0; i < kRows; ++i) {
            connection->Execute("INSERT INTO T (A, B) VALUES (" + std::to_string(i) + ", '" +
                                std::string(3000, 'x') + "')");
        }
    } // closed at once, with a checkpoint likely under way
    const auto reopened = db::OpenSqlite(path, options);
    EXPECT_EQ(reopened->Query("SELECT COUNT(*) FROM T")->Value(0).ToLong(), kRows);
    EXPECT_EQ(reopened->Query("SELECT SUM(A) FROM T")->Value(0).ToLong(), kRows * (kRows - 1) / 2);
}

/// Writes commits of 3 KB rows to `path` for ever, each checkpointed past 20 pages of log, and
/// tells `report` the number of each commit once it is done.
[[noreturn]] void WriteUntilKilled(const std::string& path, int report) {
    db::OpenOptions options;
    options.checkpointPages = 20;
    const auto connection = db::OpenSqlite(path, options);
    for (std::int32_t commit = 1;; ++commit) {
        connection->BeginTrans();
        for (int row = 0; row < 3; ++row) {
            connection->Execute("INSERT INTO T (A, B) VALUES (" + std::to_string(commit) + ", '" +
                                std::string(3000, 'x') + "')");
        }
        connection->CommitTrans();
        if (write(report, &commit, sizeof commit) != sizeof commit) {
            _exit(3);
        }
    }
}

TEST(WalCheckpointConnectionTest, AKillDuringCheckpointsLosesNoCommitAndLeavesAWholeFile) {
    const TempDir dir;
    const std::string path = (dir.Path() / "killed.db").string();
    db::ExecuteNativeScript(*db::OpenSqlite(path), "CREATE TABLE T (A int, B varchar(4000))");
    std::mt19937 random(20261208);
    std::int32_t committed = 0;
    for (int round = 0; round < 8; ++round) {
        int pipeEnds[2];
        ASSERT_EQ(pipe(pipeEnds), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(pipeEnds[0]);
            try {
                WriteUntilKilled(path, pipeEnds[1]);
            } catch (...) {
                _exit(2);
            }
        }
        close(pipeEnds[1]);
        // Killed after 20 to 120 commits: a checkpoint every seven or so, on the writer's thread
        // or on its own.
        const int commits = std::uniform_int_distribution(20, 120)(random);
        std::int32_t last = 0;
        for (int i = 0; i < commits && read(pipeEnds[0], &last, sizeof last) == sizeof last; ++i) {
        }
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        // The reports written before the kill and not read yet: the last is its last commit.
        for (std::int32_t more = 0; read(pipeEnds[0], &more, sizeof more) == sizeof more;) {
            last = more;
        }
        close(pipeEnds[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own in round " << round;
        committed += last;

        EXPECT_EQ(NativeText(path, "PRAGMA integrity_check"), "ok") << "round " << round;
        // Every commit the writer told of is there, three rows each; the one under way when it
        // was killed may be there too.
        const long rows = std::stol(NativeText(path, "SELECT COUNT(*) FROM T"));
        EXPECT_GE(rows, 3L * committed) << "round " << round;
        EXPECT_LE(rows, 3L * (committed + 1)) << "round " << round;
        committed = static_cast<std::int32_t>(rows / 3);
    }
}

} // namespace
} // namespace kvad::test::wal_checkpoint
