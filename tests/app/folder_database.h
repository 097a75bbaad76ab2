#pragma once
// The database of a folder nso runs in (nso.db), as the command tests read it beside nso: one
// value, a count, rows as sorted text; and its write lock held, as another program writing to it
// would hold it, which stops a running nso at its next write.

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "nso_process.h"

namespace kvad::test {

/// The folder's database opened read-only, closed with the object; Handle() is null when it
/// cannot be opened.
class FolderDatabase {
  public:
    explicit FolderDatabase(const std::filesystem::path& folder) {
        if (sqlite3_open_v2((folder / "nso.db").c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
        }
    }
    FolderDatabase(const FolderDatabase&) = delete;
    FolderDatabase& operator=(const FolderDatabase&) = delete;
    FolderDatabase(FolderDatabase&&) = delete;
    FolderDatabase& operator=(FolderDatabase&&) = delete;
    ~FolderDatabase() { sqlite3_close(db_); }

    [[nodiscard]] sqlite3* Handle() const { return db_; }

  private:
    sqlite3* db_ = nullptr;
};

/// The first column of the first row of a query on the folder's database, as text ("null" for a
/// null; "" when there is no row or the database cannot be read).
inline std::string Value(const std::filesystem::path& folder, const std::string& sql) {
    const FolderDatabase db(folder);
    std::string value;
    if (db.Handle() != nullptr) {
        sqlite3_exec(
            db.Handle(), sql.c_str(),
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) = values[0] != nullptr ? values[0] : "null";
                return 1;
            },
            &value, nullptr);
    }
    return value;
}

/// The number of rows of `from` ("TABLE WHERE ...") in the folder's database; -1 when it cannot
/// be read.
inline long Count(const std::filesystem::path& folder, const std::string& from) {
    const std::string count = Value(folder, "SELECT COUNT(*) FROM " + from);
    return count.empty() ? -1 : std::stol(count);
}

/// The rows of a query, one line each, fields separated by "|", sorted; columns named in
/// `leftOut` or ending with "_GUID" (a new GUID at every import) are left out.
inline std::string SortedRows(sqlite3* db, const std::string& sql,
                              const std::vector<std::string>& leftOut = {}) {
    std::vector<std::string> rows;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        return "cannot read: " + sql + ": " + sqlite3_errmsg(db) + "\n";
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const std::string name = sqlite3_column_name(stmt, i);
            if ((name.size() >= 5 && name.compare(name.size() - 5, 5, "_GUID") == 0) ||
                std::find(leftOut.begin(), leftOut.end(), name) != leftOut.end()) {
                continue;
            }
            const auto* text = sqlite3_column_text(stmt, i);
            row += text == nullptr ? std::string("null")
                                   : std::string(reinterpret_cast<const char*>(text));
            row += "|";
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    std::sort(rows.begin(), rows.end());
    std::string out;
    for (const std::string& row : rows) {
        out += row + "\n";
    }
    return out;
}

/// Every ERP table (master data, documents, counters, layouts: all but the register's, the
/// schema's and SQLite's own), each as "[NAME]" and its SortedRows, by name.
inline std::string ErpTables(sqlite3* db) {
    std::vector<std::string> tables;
    sqlite3_exec(
        db,
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'IE9%' AND name "
        "NOT LIKE 'KVAD%' AND name NOT LIKE 'sqlite%' ORDER BY name",
        [](void* names, int, char** values, char**) {
            static_cast<std::vector<std::string>*>(names)->emplace_back(values[0]);
            return 0;
        },
        &tables, nullptr);
    std::string out;
    for (const std::string& table : tables) {
        out += "[" + table + "]\n" + SortedRows(db, "SELECT * FROM " + table);
    }
    return out;
}

/// Holds the database's write lock, as another program writing to it would: a command that runs
/// stops at its next write until the lock goes (its busy timeout is 5 s).
class WriteStall {
  public:
    explicit WriteStall(const std::filesystem::path& folder) {
        if (sqlite3_open_v2((folder / "nso.db").c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK) {
            return;
        }
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!(held_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) ==
                         SQLITE_OK) &&
               std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    }
    WriteStall(const WriteStall&) = delete;
    WriteStall& operator=(const WriteStall&) = delete;
    WriteStall(WriteStall&&) = delete;
    WriteStall& operator=(WriteStall&&) = delete;
    ~WriteStall() { Release(); }

    [[nodiscard]] bool Held() const { return held_; }
    /// Lets the lock go.
    void Release() {
        if (db_ != nullptr) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db_);
            db_ = nullptr;
        }
    }

  private:
    sqlite3* db_ = nullptr;
    bool held_ = false;
};

/// Kills the child at once; true when the kill ended it (it had not ended by itself).
inline bool KillNow(NsoChild& child) {
    kill(child.pid, SIGKILL);
    return Finish(child) == -1;
}

/// Takes the folder's database's write lock as soon as the command lets go of it between two
/// writes, then kills the command, which now waits for the lock at its next write (or reads on);
/// the lock goes after. True when the kill ended it.
inline bool KillAtNextWrite(const std::filesystem::path& folder, NsoChild& child) {
    const WriteStall stall(folder);
    return KillNow(child);
}

} // namespace kvad::test
