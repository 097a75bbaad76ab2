#pragma once
// The floor by the rows on a server database: rows_floor.h's floor over libpq. The same documents
// parsed with libxml2 and the very rows the job added to its server database (every column, the
// stored XML and the ERP documents included) inserted into a new server database of the same
// schema with statements prepared once, one transaction per document.
//
// A server table has no rowid: the rows a run added are those whose primary key was not in the
// table before it (PgExistingKeys, read before the run). A document's rows are its register row and
// the rows that refer to it; a table without such a reference (the ERP documents, the import's
// marks) gives each document an equal share of its new rows, in the order of its primary key.
// Within a transaction the tables come in the order their foreign keys need. Reading the rows from
// the job's database is not timed: only parsing the document and writing its rows are.

#include <libpq-fe.h>
#include <strings.h>

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench_clock.h"
#include "rows_floor.h" // the timed parse, the even share

namespace bench {

namespace pg_rows_floor {

struct ConnectionDeleter {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
using ConnectionPtr = std::unique_ptr<PGconn, ConnectionDeleter>;

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

inline ConnectionPtr Connect(const std::string& uri) {
    ConnectionPtr conn(PQconnectdb(uri.c_str()));
    if (PQstatus(conn.get()) != CONNECTION_OK) {
        throw std::runtime_error(std::string("rows floor: cannot connect: ") +
                                 PQerrorMessage(conn.get()));
    }
    return conn;
}

inline ResultPtr Checked(PGconn* conn, PGresult* result, const std::string& what) {
    ResultPtr owned(result);
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        throw std::runtime_error("rows floor: " + what + ": " + PQerrorMessage(conn));
    }
    return owned;
}

/// Runs `sql` with text parameters (nullptr for Null).
inline ResultPtr Exec(PGconn* conn, const std::string& sql,
                      const std::vector<const char*>& params = {}) {
    return Checked(conn,
                   PQexecParams(conn, sql.c_str(), static_cast<int>(params.size()), nullptr,
                                params.data(), nullptr, nullptr, 0),
                   sql);
}

/// A name as a server identifier, in double quotes.
inline std::string Quoted(PGconn* conn, const std::string& name) {
    char* quoted = PQescapeIdentifier(conn, name.c_str(), name.size());
    if (quoted == nullptr) {
        throw std::runtime_error(std::string("rows floor: ") + PQerrorMessage(conn));
    }
    std::string text(quoted);
    PQfreemem(quoted);
    return text;
}

inline bool EqualsNoCase(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

/// A table of the current schema and its primary key's columns (every column when it has none).
struct TableKey {
    std::string name;
    std::vector<std::string> key;
};

/// The tables of the current schema, in the order they were made.
inline std::vector<TableKey> Tables(PGconn* conn) {
    std::vector<TableKey> tables;
    const ResultPtr list = Exec(conn, "SELECT c.oid::text, c.relname FROM pg_class AS c "
                                      "WHERE c.relkind = 'r' AND "
                                      "c.relnamespace = current_schema()::regnamespace "
                                      "ORDER BY c.oid");
    for (int t = 0; t < PQntuples(list.get()); ++t) {
        TableKey table;
        table.name = PQgetvalue(list.get(), t, 1);
        const char* oid = PQgetvalue(list.get(), t, 0);
        ResultPtr key = Exec(conn,
                             "SELECT a.attname FROM pg_index AS i "
                             "CROSS JOIN LATERAL unnest(i.indkey::int2[]) WITH ORDINALITY "
                             "AS k(attnum, n) "
                             "JOIN pg_attribute AS a ON a.attrelid = i.indrelid "
                             "AND a.attnum = k.attnum "
                             "WHERE i.indrelid = $1::oid AND i.indisprimary ORDER BY k.n",
                             {oid});
        if (PQntuples(key.get()) == 0) {
            key = Exec(conn,
                       "SELECT attname FROM pg_attribute WHERE attrelid = $1::oid "
                       "AND attnum > 0 AND NOT attisdropped ORDER BY attnum",
                       {oid});
        }
        for (int c = 0; c < PQntuples(key.get()); ++c) {
            table.key.emplace_back(PQgetvalue(key.get(), c, 0));
        }
        tables.push_back(std::move(table));
    }
    return tables;
}

/// The columns of `table` joined by commas, each quoted.
inline std::string ColumnList(PGconn* conn, const std::vector<std::string>& columns) {
    std::string list;
    for (const std::string& column : columns) {
        list += (list.empty() ? "" : ", ") + Quoted(conn, column);
    }
    return list;
}

/// The text of a row's values, Null told apart from every text.
inline std::string KeyText(const PGresult* result, int row) {
    std::string key;
    for (int c = 0; c < PQnfields(result); ++c) {
        key += PQgetisnull(result, row, c) != 0 ? std::string("\x01N") : PQgetvalue(result, row, c);
        key += '\x1f';
    }
    return key;
}

} // namespace pg_rows_floor

/// Each table's primary keys in a server database, as text, to tell the rows a run adds from
/// those it found.
using PgKeys = std::map<std::string, std::set<std::string>>;

inline PgKeys PgExistingKeys(const std::string& uri) {
    namespace f = pg_rows_floor;
    const f::ConnectionPtr conn = f::Connect(uri);
    PgKeys keys;
    for (const f::TableKey& table : f::Tables(conn.get())) {
        const f::ResultPtr rows =
            f::Exec(conn.get(), "SELECT " + f::ColumnList(conn.get(), table.key) + " FROM " +
                                    f::Quoted(conn.get(), table.name));
        std::set<std::string>& found = keys[table.name];
        for (int r = 0; r < PQntuples(rows.get()); ++r) {
            found.insert(f::KeyText(rows.get(), r));
        }
    }
    return keys;
}

class PgRowsFloor {
  public:
    /// Reads which rows the job added to server database `jobUri` (those whose key `before` does
    /// not hold) and connects to `floorUri`, which has the schema.
    PgRowsFloor(const std::string& jobUri, const PgKeys& before, const std::string& floorUri)
        : job_(pg_rows_floor::Connect(jobUri)), floor_(pg_rows_floor::Connect(floorUri)) {
        namespace f = pg_rows_floor;
        // Each table's foreign keys: the tables it refers to, and its column that refers to the
        // register.
        std::map<std::string, std::set<std::string>> refersTo;
        std::map<std::string, std::string> registerLink;
        const f::ResultPtr keys =
            f::Exec(job_.get(), "SELECT c.relname, r.relname, a.attname FROM pg_constraint AS k "
                                "JOIN pg_class AS c ON c.oid = k.conrelid "
                                "JOIN pg_class AS r ON r.oid = k.confrelid "
                                "JOIN pg_attribute AS a ON a.attrelid = k.conrelid "
                                "AND a.attnum = k.conkey[1] "
                                "WHERE k.contype = 'f' AND "
                                "c.relnamespace = current_schema()::regnamespace");
        for (int k = 0; k < PQntuples(keys.get()); ++k) {
            const std::string from = PQgetvalue(keys.get(), k, 0);
            const std::string to = PQgetvalue(keys.get(), k, 1);
            refersTo[from].insert(to);
            if (f::EqualsNoCase(to, "IE91_NSOFILES")) {
                registerLink[from] = PQgetvalue(keys.get(), k, 2);
            }
        }
        static const std::set<std::string> kNone;
        std::vector<std::unique_ptr<Table>> found;
        for (const f::TableKey& table : f::Tables(job_.get())) {
            const auto was = before.find(table.name);
            const auto link = registerLink.find(table.name);
            if (auto added = AddTable(table, was != before.end() ? was->second : kNone,
                                      link != registerLink.end() ? link->second : std::string())) {
                found.push_back(std::move(added));
            }
        }
        // The order the foreign keys need: a table after those it refers to (a table placed
        // leaves `found`).
        while (!found.empty()) {
            bool moved = false;
            for (auto it = found.begin(); it != found.end();) {
                bool ready = true;
                for (const std::string& target : refersTo[(*it)->name]) {
                    ready = ready && (target == (*it)->name || !Holds(found, target));
                }
                if (ready) {
                    tables_.push_back(std::move(*it));
                    it = found.erase(it);
                    moved = true;
                } else {
                    ++it;
                }
            }
            if (!moved) {
                throw std::runtime_error("rows floor: the tables' foreign keys form a cycle");
            }
        }
        if (registerIds_.empty()) {
            throw std::runtime_error("rows floor: the job added no register rows");
        }
    }
    PgRowsFloor(const PgRowsFloor&) = delete;
    PgRowsFloor& operator=(const PgRowsFloor&) = delete;
    PgRowsFloor(PgRowsFloor&&) = delete;
    PgRowsFloor& operator=(PgRowsFloor&&) = delete;
    ~PgRowsFloor() = default;

    /// The documents the job registered, one transaction each.
    [[nodiscard]] std::size_t Documents() const { return registerIds_.size(); }

    /// Parses `xml` and writes the rows of the job's document `index` (0 to Documents() - 1) in
    /// one transaction, adding the time both took to `spent`; returns the rows written.
    long Load(std::size_t index, const std::string& xml, Timing& spent) {
        namespace f = pg_rows_floor;
        // Read, not timed: the document's rows as the job left them.
        std::vector<std::vector<f::ResultPtr>> rows(tables_.size());
        for (std::size_t t = 0; t < tables_.size(); ++t) {
            ReadRows(*tables_[t], index, rows[t]);
        }
        return rows_floor::TimedLoad(index, xml, spent, [&] { return Write(rows); });
    }

  private:
    /// Writes rows read for a document, in one transaction; returns how many.
    long Write(const std::vector<std::vector<pg_rows_floor::ResultPtr>>& rows) {
        namespace f = pg_rows_floor;
        (void)f::Exec(floor_.get(), "BEGIN");
        long written = 0;
        std::vector<const char*> values;
        for (std::size_t t = 0; t < tables_.size(); ++t) {
            const Table& table = *tables_[t];
            for (const f::ResultPtr& result : rows[t]) {
                for (int r = 0; r < PQntuples(result.get()); ++r) {
                    values.clear();
                    for (int c = 0; c < PQnfields(result.get()); ++c) {
                        values.push_back(PQgetisnull(result.get(), r, c) != 0
                                             ? nullptr
                                             : PQgetvalue(result.get(), r, c));
                    }
                    (void)f::Checked(floor_.get(),
                                     PQexecPrepared(floor_.get(), table.statement.c_str(),
                                                    static_cast<int>(values.size()), values.data(),
                                                    nullptr, nullptr, 0),
                                     "insert into " + table.name);
                    ++written;
                }
            }
        }
        (void)f::Exec(floor_.get(), "COMMIT");
        return written;
    }

    struct Table {
        std::string name;
        std::string statement; ///< the prepared insert's name on the floor's connection
        std::string read;      ///< by the register row, or one row by its key
        bool byRegister = false;
        std::vector<std::vector<std::string>> shared; ///< the new rows' keys, in key order
        std::size_t taken = 0;                        ///< of those, read so far
    };

    static bool Holds(const std::vector<std::unique_ptr<Table>>& tables, const std::string& name) {
        for (const auto& table : tables) {
            if (table->name == name) {
                return true;
            }
        }
        return false;
    }

    /// The table when the job added rows to it, else nullptr.
    std::unique_ptr<Table> AddTable(const pg_rows_floor::TableKey& info,
                                    const std::set<std::string>& before, const std::string& link) {
        namespace f = pg_rows_floor;
        PGconn* job = job_.get();
        const std::string quoted = f::Quoted(job, info.name);
        const std::string keyList = f::ColumnList(job, info.key);
        const f::ResultPtr keys =
            f::Exec(job, "SELECT " + keyList + " FROM " + quoted + " ORDER BY " + keyList);
        auto table = std::make_unique<Table>();
        table->name = info.name;
        const bool isRegister = f::EqualsNoCase(info.name, "IE91_NSOFILES");
        table->byRegister = isRegister || !link.empty();
        for (int r = 0; r < PQntuples(keys.get()); ++r) {
            if (before.count(f::KeyText(keys.get(), r)) != 0) {
                continue;
            }
            std::vector<std::string> key;
            for (int c = 0; c < PQnfields(keys.get()); ++c) {
                key.emplace_back(PQgetvalue(keys.get(), r, c));
            }
            if (isRegister) {
                registerIds_.push_back(key.front());
            } else if (!table->byRegister) {
                table->shared.push_back(std::move(key));
            }
        }
        if (isRegister ? registerIds_.empty() : !table->byRegister && table->shared.empty()) {
            return nullptr;
        }
        std::string where;
        if (table->byRegister) {
            where = f::Quoted(job, isRegister ? std::string("IE91_ID") : link) + " = $1";
        } else {
            for (std::size_t c = 0; c < info.key.size(); ++c) {
                where += (c > 0 ? " AND " : "") + f::Quoted(job, info.key[c]) + " = $" +
                         std::to_string(c + 1);
            }
        }
        table->read = "SELECT * FROM " + quoted + " WHERE " + where + " ORDER BY " + keyList;
        const f::ResultPtr shape = f::Exec(job, "SELECT * FROM " + quoted + " LIMIT 0");
        std::vector<std::string> columns;
        std::string marks;
        for (int c = 0; c < PQnfields(shape.get()); ++c) {
            columns.emplace_back(PQfname(shape.get(), c));
            marks += (c > 0 ? ", $" : "$") + std::to_string(c + 1);
        }
        table->statement = "insert_" + std::to_string(statements_++);
        (void)f::Checked(
            floor_.get(),
            PQprepare(floor_.get(), table->statement.c_str(),
                      ("INSERT INTO " + f::Quoted(floor_.get(), info.name) + " (" +
                       f::ColumnList(floor_.get(), columns) + ") VALUES (" + marks + ")")
                          .c_str(),
                      0, nullptr),
            "prepare " + info.name);
        return table;
    }

    /// The rows of `table` that belong to document `index`.
    void ReadRows(Table& table, std::size_t index, std::vector<pg_rows_floor::ResultPtr>& rows) {
        namespace f = pg_rows_floor;
        if (table.byRegister) {
            rows.push_back(f::Exec(job_.get(), table.read, {registerIds_[index].c_str()}));
            return;
        }
        // An even share, in key order.
        const std::size_t until =
            rows_floor::ShareEnd(table.shared.size(), index, registerIds_.size());
        for (; table.taken < until; ++table.taken) {
            std::vector<const char*> key;
            for (const std::string& value : table.shared[table.taken]) {
                key.push_back(value.c_str());
            }
            rows.push_back(f::Exec(job_.get(), table.read, key));
        }
    }

    pg_rows_floor::ConnectionPtr job_;
    pg_rows_floor::ConnectionPtr floor_;
    std::vector<std::unique_ptr<Table>> tables_;
    std::vector<std::string> registerIds_;
    int statements_ = 0;
};

} // namespace bench
