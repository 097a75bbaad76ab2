#pragma once
// The database of a folder nso runs in, as the command tests read it beside nso through the
// connection interface, on either backend: one value, a count, rows as sorted text; and held
// against writes, as another program writing to it would hold it, which stops a running nso at
// its next write.

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "folder_db.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "nso_process.h"
#include "sqlite/company_lock.h"
#include "support/register_snapshot.h"

namespace kvad::test {

/// The first column of the first row of a query (T-SQL) on the folder's database, as text
/// ("null" for a null; "" when there is no row or the database cannot be read).
inline std::string Value(const std::filesystem::path& folder, const std::string& sql) {
    try {
        const auto rows = OpenFolderDb(folder)->Query(sql);
        if (rows->Eof()) {
            return {};
        }
        const Variant value = rows->Value(0);
        return value.IsNull() ? std::string("null") : value.Text();
    } catch (const Error&) {
        return {};
    }
}

/// The number of rows of `from` ("TABLE WHERE ...") in the folder's database; -1 when it cannot
/// be read.
inline long Count(const std::filesystem::path& folder, const std::string& from) {
    const std::string count = Value(folder, "SELECT COUNT(*) FROM " + from);
    return count.empty() ? -1 : std::stol(count);
}

/// The rows of a query (T-SQL), one line each, fields separated by "|", sorted; columns named in
/// `leftOut` or ending with "_GUID" (a new GUID at every import) are left out.
inline std::string SortedRows(Connection& db, const std::string& sql,
                              const std::vector<std::string>& leftOut = {}) {
    std::vector<std::string> rows;
    try {
        for (const auto rs = db.Query(sql); !rs->Eof(); rs->MoveNext()) {
            std::string row;
            for (int i = 0; i < rs->FieldCount(); ++i) {
                const std::string name = rs->FieldName(i);
                if ((name.size() >= 5 && name.compare(name.size() - 5, 5, "_GUID") == 0) ||
                    std::find(leftOut.begin(), leftOut.end(), name) != leftOut.end()) {
                    continue;
                }
                const Variant value = rs->Value(i);
                row += value.IsNull() ? std::string("null") : value.Text();
                row += "|";
            }
            rows.push_back(std::move(row));
        }
    } catch (const Error& e) {
        return "cannot read: " + sql + ": " + e.what() + "\n";
    }
    std::sort(rows.begin(), rows.end());
    std::string out;
    for (const std::string& row : rows) {
        out += row + "\n";
    }
    return out;
}

/// Every ERP table (master data, documents, counters, layouts: all but the register's and the
/// schema's), each as "[NAME]" and its SortedRows, by name.
inline std::string ErpTables(Connection& db) {
    std::vector<std::string> tables;
    for (const auto rs = db.Query("SELECT name FROM sys.tables WHERE name NOT LIKE 'IE9%' AND "
                                  "name NOT LIKE 'KVAD%' ORDER BY name");
         !rs->Eof(); rs->MoveNext()) {
        tables.push_back(rs->Value(0).Text());
    }
    std::string out;
    for (const std::string& table : tables) {
        out += "[" + table + "]\n" + SortedRows(db, "SELECT * FROM " + table);
    }
    return out;
}

/// What the main job (or any of its phases) leaves that outlasts it, as text: every ERP table
/// (master data, documents, counters, layouts); per received document its register row (reception
/// time left out) with the processed mark and the registration of the ERP order its link names; the
/// decoded headers and lines; every log entry. Rows name their document by its order number and
/// date, and a staged line by its line id, so that the ids the database handed out are not
/// compared.
inline std::string DurableState(const std::filesystem::path& folder) {
    std::shared_ptr<Connection> database;
    try {
        database = OpenFolderDb(folder);
    } catch (const Error&) {
        return "cannot open the database";
    }
    Connection& db = *database;
    std::string out = ErpTables(db);
    const std::string document = "IE91_IDORD AS DOCUMENT, IE91_ISSUEDATE AS DOCUMENT_DATE";
    out += "[register]\n" +
           SortedRows(db,
                      "SELECT " + document +
                          ", IE91_NSOFILES.*, CASE WHEN IE91_GUID_DO11 IS NULL THEN 1 ELSE 0 END "
                          "AS UNLINKED, "
                          "DO11_NUMREG_CO99 FROM IE91_NSOFILES LEFT OUTER JOIN DO11_DOCTESTATA "
                          "ON DO11_DITTA_CG18 = IE91_DITTA_CG18 AND DO11_GUID = IE91_GUID_DO11",
                      {"IE91_ID", "IE91_DATAORA_RICEZIONE", "IE91_XML", "IE91_GUID_DO11"});
    out += "[decoded headers]\n" +
           SortedRows(db,
                      "SELECT " + document +
                          ", IE93_NSOTESTATA.* FROM IE93_NSOTESTATA INNER JOIN IE91_NSOFILES ON "
                          "IE91_ID = IE93_ID_IE91",
                      {"IE93_ID", "IE93_ID_IE91"});
    out += "[decoded lines]\n" +
           SortedRows(db,
                      "SELECT " + document +
                          ", IE94_LineItem_ID AS STAGED_LINE, IE95_NSOCORPO.* FROM IE95_NSOCORPO "
                          "INNER JOIN IE91_NSOFILES ON IE91_ID = IE95_ID_IE91 LEFT OUTER JOIN "
                          "IE94_NSOCORPOXML ON IE94_ID = IE95_ID_IE94",
                      {"IE95_ID", "IE95_ID_IE91", "IE95_ID_IE94"});
    out += "[log]\n" +
           SortedRows(
               db, "SELECT " + document +
                       ", IE94_LineItem_ID AS STAGED_LINE, IE98_PROGRIGA_DO30, IE98_CODE_IE97, "
                       "IE98_TYPE, IE98_CONTESTO, IE98_FIELD, IE98_ERRORMESSAGE FROM "
                       "IE98_NSO_LOGERRORS LEFT OUTER JOIN IE91_NSOFILES ON IE91_ID = "
                       "IE98_ID_IE91 LEFT OUTER JOIN IE94_NSOCORPOXML ON IE94_ID = IE98_ID_IE94");
    return out;
}

/// Holds the folder's database against writes, as another program writing to it would: a
/// command that runs stops at its next write until the hold goes, and reads on meanwhile. On
/// SQLite it holds the database's write lock (a command's busy timeout is 5 s); on PostgreSQL
/// an open transaction holds every table of the database in EXCLUSIVE mode, which lets reads by
/// and stops every insert, update, delete and row lock.
class WriteStall {
  public:
    explicit WriteStall(const std::filesystem::path& folder) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        if (OnPostgres()) {
            HoldServer(folder, giveUp);
            return;
        }
        if (sqlite3_open_v2((folder / "nso.db").c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK) {
            return;
        }
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
    /// Lets the hold go.
    void Release() {
        if (db_ != nullptr) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db_);
            db_ = nullptr;
        }
        if (server_) {
            try {
                db::ExecutePostgresScript(*server_, "ROLLBACK");
            } catch (const Error&) {
                // Closing the session ends its transaction all the same.
            }
            server_.reset();
        }
    }

  private:
    // Takes every table at once or none, trying again while a command's transaction holds one:
    // waiting with some taken could deadlock with the command.
    void HoldServer(const std::filesystem::path& folder,
                    std::chrono::steady_clock::time_point giveUp) {
        try {
            server_ = OpenFolderDb(folder);
        } catch (const Error&) {
            return;
        }
        const std::string hold =
            "BEGIN; DO $$ BEGIN EXECUTE 'LOCK TABLE ' || (SELECT string_agg(format('%I', "
            "tablename), ', ') FROM pg_tables WHERE schemaname = current_schema()) || ' IN "
            "EXCLUSIVE MODE NOWAIT'; END $$";
        do {
            try {
                db::ExecutePostgresScript(*server_, hold);
                held_ = true;
                return;
            } catch (const Error&) {
                db::ExecutePostgresScript(*server_, "ROLLBACK");
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        } while (std::chrono::steady_clock::now() < giveUp);
    }

    sqlite3* db_ = nullptr;
    std::shared_ptr<Connection> server_;
    bool held_ = false;
};

/// Holds a company's lock of `work` (company 1) as a holder that does not say who it is: the
/// lock file beside the database locked, or the server's advisory lock taken by a session of
/// its own that gives no name.
class UnnamedCompanyLock {
  public:
    UnnamedCompanyLock(const std::filesystem::path& folder, db::CompanyWork work) {
        if (OnPostgres()) {
            // The advisory locks' keys: the work in the range nso keeps for them, the company.
            constexpr int kWorkBase = 0x4B560000;
            const int key = kWorkBase + (work == db::CompanyWork::Retrieval ? 1 : 2);
            server_ = OpenFolderDb(folder);
            db::ExecutePostgresScript(*server_,
                                      "SELECT pg_advisory_lock(" + std::to_string(key) + ", 1)");
            held_ = true;
            return;
        }
        const std::string file = db::CompanyLock::Path(FolderDbName(folder), 1, work);
        fd_ = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        held_ = fd_ >= 0 && flock(fd_, LOCK_EX) == 0;
    }
    UnnamedCompanyLock(const UnnamedCompanyLock&) = delete;
    UnnamedCompanyLock& operator=(const UnnamedCompanyLock&) = delete;
    UnnamedCompanyLock(UnnamedCompanyLock&&) = delete;
    UnnamedCompanyLock& operator=(UnnamedCompanyLock&&) = delete;
    ~UnnamedCompanyLock() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }

    [[nodiscard]] bool Held() const { return held_; }

  private:
    int fd_ = -1;
    std::shared_ptr<Connection> server_; ///< closing the session releases the lock
    bool held_ = false;
};

/// Checks that the folder's database file is whole (SQLite's integrity check); a server database
/// has no file of the tests' to check. `context` goes with a failure.
inline void ExpectFileWhole(const std::filesystem::path& folder, const std::string& context = {}) {
    if (!OnPostgres()) {
        EXPECT_EQ(IntegrityCheck(FolderDbName(folder)), "ok") << context;
    }
}

/// Kills the child at once; true when the kill ended it (it had not ended by itself).
inline bool KillNow(NsoChild& child) {
    kill(child.pid, SIGKILL);
    return Finish(child) == -1;
}

/// Holds the folder's database against writes as soon as the command's transaction lets go of
/// it between two writes, then kills the command, which now waits at its next write (or reads
/// on); the hold goes after. True when the kill ended it.
inline bool KillAtNextWrite(const std::filesystem::path& folder, NsoChild& child) {
    const WriteStall stall(folder);
    return KillNow(child);
}

} // namespace kvad::test
