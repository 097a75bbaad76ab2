#pragma once
// A second floor, by the rows: the same documents parsed with libxml2 and the very rows the job
// added to its database (every column, the stored XML and the ERP documents included) inserted
// into a new database of the same schema, one transaction per document. The floor of
// floor_loader.h inserts the staging rows only, 41 of the job's 107 an order; this one writes what
// the job writes, so that the ratio to it tells how the job runs its work apart from how much
// work it has.
//
// A document's rows are the register row the job added for it and the rows that refer to that row
// (a foreign key to IE91_NSOFILES); a table without one (the ERP documents, the import's marks)
// gives each document an equal share of its new rows, in the order they were added. Reading the
// rows from the job's database is not timed: only parsing the document and writing its rows are.

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_clock.h"

namespace bench {

namespace rows_floor {

inline void Check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) {
        throw std::runtime_error(std::string("rows floor: ") + what + ": " + sqlite3_errmsg(db));
    }
}

inline sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    Check(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), sql.c_str());
    return stmt;
}

/// A name as an SQLite identifier, in double quotes (SQLite's own %w doubles those inside).
inline std::string Quoted(const std::string& name) {
    char* quoted = sqlite3_mprintf("\"%w\"", name.c_str());
    if (quoted == nullptr) {
        throw std::bad_alloc();
    }
    std::string text(quoted);
    sqlite3_free(quoted);
    return text;
}

struct StatementDeleter {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

struct ValueDeleter {
    void operator()(sqlite3_value* value) const { sqlite3_value_free(value); }
};
using ValuePtr = std::unique_ptr<sqlite3_value, ValueDeleter>;

/// Parses document `index`'s `xml` with libxml2, then runs `write` (its transaction), adding the
/// time both took to `spent`; returns what `write` returns, the rows written.
template <class Write>
long TimedLoad(std::size_t index, const std::string& xml, Timing& spent, Write&& write) {
    const auto wall = Clock::now();
    const double cpu = CpuMs();
    xmlDocPtr doc =
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, "UTF-8", XML_PARSE_NONET);
    if (doc == nullptr) {
        throw std::runtime_error("rows floor: document " + std::to_string(index) +
                                 " does not parse");
    }
    xmlFreeDoc(doc);
    const long written = write();
    spent.wallMs += MsSince(wall);
    spent.cpuMs += CpuMs() - cpu;
    return written;
}

/// Where document `index`'s even share of a table's `added` new rows ends, of `documents`: its
/// rows are [ShareEnd(index - 1), ShareEnd(index)) in order.
inline std::size_t ShareEnd(std::size_t added, std::size_t index, std::size_t documents) {
    return added * (index + 1) / documents;
}

} // namespace rows_floor

/// Each table's highest rowid in the database file `path` (0 for an empty table), to tell the
/// rows a run adds from those it found.
inline std::map<std::string, sqlite3_int64> HighestRowids(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        throw std::runtime_error("rows floor: cannot open " + path);
    }
    std::map<std::string, sqlite3_int64> highest;
    std::vector<std::string> tables;
    {
        const rows_floor::StatementPtr list(rows_floor::Prepare(
            db,
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"));
        while (sqlite3_step(list.get()) == SQLITE_ROW) {
            tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0)));
        }
    }
    for (const std::string& table : tables) {
        const rows_floor::StatementPtr max(rows_floor::Prepare(
            db, "SELECT IFNULL(MAX(rowid), 0) FROM " + rows_floor::Quoted(table)));
        rows_floor::Check(db, sqlite3_step(max.get()), "highest rowid");
        highest[table] = sqlite3_column_int64(max.get(), 0);
    }
    sqlite3_close_v2(db);
    return highest;
}

class RowsFloor {
  public:
    /// Reads which rows the job added to `jobDatabase` (rowids above `before`) and opens
    /// `floorDatabase`, which has the schema, with the job's file settings (WAL, synchronous
    /// NORMAL, foreign keys on, an 8 MB page cache, checkpoints every 10,000 pages of log).
    RowsFloor(const std::string& jobDatabase, const std::map<std::string, sqlite3_int64>& before,
              const std::string& floorDatabase) {
        Open(jobDatabase, SQLITE_OPEN_READONLY, job_);
        Open(floorDatabase, SQLITE_OPEN_READWRITE, floor_);
        for (const char* pragma :
             {"PRAGMA foreign_keys = ON", "PRAGMA journal_mode = WAL",
              "PRAGMA synchronous = NORMAL", "PRAGMA wal_autocheckpoint = 10000",
              "PRAGMA cache_size = -8192"}) {
            rows_floor::Check(floor_, sqlite3_exec(floor_, pragma, nullptr, nullptr, nullptr),
                              pragma);
        }
        begin_.reset(rows_floor::Prepare(floor_, "BEGIN IMMEDIATE"));
        commit_.reset(rows_floor::Prepare(floor_, "COMMIT"));
        for (const auto& [name, highest] : before) {
            AddTable(name, highest);
        }
        if (registerIds_.empty()) {
            throw std::runtime_error("rows floor: the job added no register rows");
        }
    }
    RowsFloor(const RowsFloor&) = delete;
    RowsFloor& operator=(const RowsFloor&) = delete;
    RowsFloor(RowsFloor&&) = delete;
    RowsFloor& operator=(RowsFloor&&) = delete;
    ~RowsFloor() {
        tables_.clear();
        begin_.reset();
        commit_.reset();
        sqlite3_close_v2(job_);
        sqlite3_close_v2(floor_);
    }

    /// The documents the job registered, one transaction each.
    [[nodiscard]] std::size_t Documents() const { return registerIds_.size(); }

    /// Parses `xml` and writes the rows of the job's document `index` (0 to Documents() - 1) in
    /// one transaction, adding the time both took to `spent`; returns the rows written.
    long Load(std::size_t index, const std::string& xml, Timing& spent) {
        // Read, not timed: the document's rows as the job left them.
        std::vector<std::vector<std::vector<rows_floor::ValuePtr>>> rows(tables_.size());
        for (std::size_t t = 0; t < tables_.size(); ++t) {
            ReadRows(*tables_[t], index, rows[t]);
        }
        return rows_floor::TimedLoad(index, xml, spent, [&] {
            Run(begin_.get());
            long written = 0;
            for (std::size_t t = 0; t < tables_.size(); ++t) {
                sqlite3_stmt* insert = tables_[t]->insert.get();
                for (const auto& row : rows[t]) {
                    for (std::size_t c = 0; c < row.size(); ++c) {
                        rows_floor::Check(
                            floor_,
                            sqlite3_bind_value(insert, static_cast<int>(c) + 1, row[c].get()),
                            "bind");
                    }
                    Run(insert);
                    ++written;
                }
            }
            Run(commit_.get());
            return written;
        });
    }

  private:
    struct Table {
        std::string name;
        rows_floor::StatementPtr insert;
        rows_floor::StatementPtr read; ///< by the register row, or all new rows in order
        bool byRegister = false;
        sqlite3_int64 added = 0; ///< new rows, for a table shared out evenly
        sqlite3_int64 taken = 0; ///< of those, read so far
        int columns = 0;
    };

    static void Open(const std::string& path, int flags, sqlite3*& db) {
        if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
            throw std::runtime_error("rows floor: cannot open " + path);
        }
    }

    void Run(sqlite3_stmt* stmt) {
        const int rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(std::string("rows floor: ") + sqlite3_errmsg(floor_));
        }
    }

    void AddTable(const std::string& name, sqlite3_int64 highest) {
        const std::string quoted = rows_floor::Quoted(name);
        const std::string after = " WHERE rowid > " + std::to_string(highest);
        sqlite3_int64 added = 0;
        {
            const rows_floor::StatementPtr count(
                rows_floor::Prepare(job_, "SELECT COUNT(*) FROM " + quoted + after));
            rows_floor::Check(job_, sqlite3_step(count.get()), "count");
            added = sqlite3_column_int64(count.get(), 0);
        }
        if (added == 0) {
            return;
        }
        auto table = std::make_unique<Table>();
        table->name = name;
        table->added = added;
        std::string link;
        {
            const rows_floor::StatementPtr keys(
                rows_floor::Prepare(job_, "SELECT \"from\" FROM pragma_foreign_key_list(?1) "
                                          "WHERE \"table\" = 'IE91_NSOFILES' COLLATE NOCASE"));
            sqlite3_bind_text(keys.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(keys.get()) == SQLITE_ROW) {
                link = reinterpret_cast<const char*>(sqlite3_column_text(keys.get(), 0));
            }
        }
        const bool isRegister = EqualsNoCase(name, "IE91_NSOFILES");
        table->byRegister = !link.empty() || isRegister;
        const std::string key = isRegister ? std::string("IE91_ID") : link;
        table->read.reset(rows_floor::Prepare(
            job_, "SELECT * FROM " + quoted + after +
                      (table->byRegister ? " AND " + rows_floor::Quoted(key) + " = ?1" : "") +
                      " ORDER BY rowid"));
        table->columns = sqlite3_column_count(table->read.get());
        std::string columns;
        std::string marks;
        for (int c = 0; c < table->columns; ++c) {
            columns +=
                (c > 0 ? ", " : "") + rows_floor::Quoted(sqlite3_column_name(table->read.get(), c));
            marks += c > 0 ? ", ?" : "?";
        }
        table->insert.reset(rows_floor::Prepare(floor_, "INSERT INTO " + quoted + " (" + columns +
                                                            ") VALUES (" + marks + ")"));
        if (isRegister) {
            const rows_floor::StatementPtr ids(rows_floor::Prepare(
                job_, "SELECT IE91_ID FROM IE91_NSOFILES" + after + " ORDER BY IE91_ID"));
            while (sqlite3_step(ids.get()) == SQLITE_ROW) {
                registerIds_.push_back(sqlite3_column_int64(ids.get(), 0));
            }
            // The register row comes first in each transaction: the others refer to it.
            tables_.insert(tables_.begin(), std::move(table));
            return;
        }
        tables_.push_back(std::move(table));
    }

    /// The rows of `table` that belong to document `index`.
    void ReadRows(Table& table, std::size_t index,
                  std::vector<std::vector<rows_floor::ValuePtr>>& rows) {
        sqlite3_stmt* read = table.read.get();
        sqlite3_int64 wanted = -1; // every row the statement gives
        if (table.byRegister) {
            sqlite3_reset(read);
            sqlite3_bind_int64(read, 1, registerIds_[index]);
        } else {
            wanted = static_cast<sqlite3_int64>(rows_floor::ShareEnd(
                         static_cast<std::size_t>(table.added), index, registerIds_.size())) -
                     table.taken;
        }
        while (wanted != 0) {
            const int rc = sqlite3_step(read);
            if (rc != SQLITE_ROW) {
                rows_floor::Check(job_, rc, table.name.c_str());
                break;
            }
            std::vector<rows_floor::ValuePtr> row;
            row.reserve(static_cast<std::size_t>(table.columns));
            for (int c = 0; c < table.columns; ++c) {
                row.emplace_back(sqlite3_value_dup(sqlite3_column_value(read, c)));
            }
            rows.push_back(std::move(row));
            if (wanted > 0) {
                --wanted;
                ++table.taken;
            }
        }
    }

    static bool EqualsNoCase(const std::string& a, const char* b) {
        return sqlite3_stricmp(a.c_str(), b) == 0;
    }

    sqlite3* job_ = nullptr;
    sqlite3* floor_ = nullptr;
    rows_floor::StatementPtr begin_;
    rows_floor::StatementPtr commit_;
    std::vector<std::unique_ptr<Table>> tables_;
    std::vector<sqlite3_int64> registerIds_;
};

} // namespace bench
