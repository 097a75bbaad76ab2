#pragma once
// Copies a database's write-ahead log back into the file on a thread of its own, so that the
// connection that writes does not stop for it.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

namespace kvad::db {

/// The checkpoints of one writing connection. Installed on the connection, it is told after each
/// commit how long the log is; from `pages` pages on, a thread with a connection of its own
/// copies the log back (a passive checkpoint: it never holds the writer up). Should the log
/// reach four times `pages` all the same (the thread behind, or it could not start), the writer
/// copies it back itself before it goes on, as SQLite's automatic checkpoint does: the log stays
/// bounded either way.
class WalCheckpointer {
  public:
    /// Installs itself on `writer` (a file database in WAL mode at `path`) in place of SQLite's
    /// automatic checkpoint. The thread starts at the first checkpoint asked for.
    WalCheckpointer(sqlite3* writer, std::string path, int pages);
    WalCheckpointer(const WalCheckpointer&) = delete;
    WalCheckpointer& operator=(const WalCheckpointer&) = delete;
    WalCheckpointer(WalCheckpointer&&) = delete;
    WalCheckpointer& operator=(WalCheckpointer&&) = delete;
    /// Uninstalls itself, stops a checkpoint under way and waits for the thread.
    ~WalCheckpointer();

    /// Checkpoints asked of the thread (asks while one waits count once), and those it has
    /// finished, whole or in part.
    [[nodiscard]] std::uint64_t Asked() const;
    [[nodiscard]] std::uint64_t Finished() const;
    /// Checkpoints the writer made itself because the log had grown to four times the mark.
    [[nodiscard]] std::uint64_t MadeByWriter() const;

  private:
    static int OnCommit(void* self, sqlite3* db, const char* name, int walPages);
    void Ask();
    void Run();

    sqlite3* writer_;
    std::string path_;
    int pages_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;
    bool stop_ = false;
    bool failed_ = false; ///< the thread's connection could not be opened
    std::uint64_t asked_ = 0;
    std::uint64_t finished_ = 0;
    std::uint64_t byWriter_ = 0;
    sqlite3* own_ = nullptr; ///< the thread's connection; opened and closed by this object
    std::thread thread_;
};

} // namespace kvad::db
