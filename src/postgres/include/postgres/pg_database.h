#pragma once
/// The server database: PostgreSQL behind the Connection interface, running the component's
/// T-SQL through the translator's PostgreSQL dialect.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/connection.h"

namespace kvad::db {

/// True for a database name that is a PostgreSQL connection URI ("postgresql://...",
/// "postgres://...").
[[nodiscard]] bool IsPostgresUri(std::string_view database) noexcept;

/// Opens a connection to the server. The password comes from the URI's own settings, the
/// environment (PGPASSWORD, PGSERVICE and its service file) or ~/.pgpass, as libpq reads them.
/// Throws DbError (08001, condition CannotOpen) when the server cannot be reached or refuses.
/// A statement that fails throws DbError with PostgreSQL's SQLSTATE as its SQL state.
[[nodiscard]] std::shared_ptr<Connection> OpenPostgres(const std::string& uri);

/// The URI with any password in it replaced by "***", for messages.
[[nodiscard]] std::string RedactedUri(std::string_view uri);

/// Runs PostgreSQL's own SQL (one or more statements) on a connection made by OpenPostgres,
/// bypassing the T-SQL translation. Throws DbError.
void ExecutePostgresScript(Connection& connection, const std::string& sql);

/// Applies the schema scripts the database does not have yet, in version order, each in its own
/// transaction, after readying the schema for translated statements (collation, type domains,
/// functions). The scripts are the SQLite backend's, converted (PostgresDdl). Returns the
/// version the database has afterwards. Throws DbError (NewerSchema for a newer database).
int ApplyPostgresSchema(Connection& connection, int upTo = 0);

/// The schema version the database records (0 for a database without the schema).
[[nodiscard]] int PostgresSchemaVersion(Connection& connection);

/// A schema script as PostgreSQL runs it. The scripts are written once, in the SQLite dialect
/// with SQL Server type names; this converts what differs: identifiers quoted in upper case
/// (each column's declared name and type kept in its comment for the catalogue),
/// "INTEGER PRIMARY KEY AUTOINCREMENT" an identity, decimal as exact numeric, COLLATE NOCASE the
/// "nocase" collation, IFNULL COALESCE, bit the tsql_bit domain. Text between the lines
/// "-- kvad: sqlite only" and "-- kvad: end" is left out; text between "-- kvad: postgres only"
/// and "-- kvad: end" is taken without its comment marks.
[[nodiscard]] std::string PostgresDdl(std::string_view sqliteScript);

/// The tables of the database that hold rows (for copying into it: it must be empty).
[[nodiscard]] long CountRowsInUserTables(Connection& connection);

/// Moves every identity sequence past the highest id its table holds (after rows were copied
/// in with their ids).
void ResetIdentitySequences(Connection& connection);

/// One table of a copy into a server database: the rows read from the source and what the
/// server holds afterwards, each with an order-independent checksum of the rows' values.
struct CopiedTable {
    std::string table;
    long sourceRows = 0;
    long copiedRows = 0;
    std::uint64_t sourceChecksum = 0;
    std::uint64_t copiedChecksum = 0;
};

/// Copies every row of every table of `source` (any backend, at the same schema version) into
/// `target`, a server database that has just been given the schema (the rows the schema scripts
/// put in are replaced by the source's), keeping each id, then moves the identity sequences past
/// the copied ids. It all happens in one transaction on the server (a savepoint when the caller
/// opened one), committed only when each table's row count and checksum read back from the
/// server equal the source's. Throws DbError when a table or column is missing there or the
/// check fails (nothing is then kept).
std::vector<CopiedTable> CopyIntoPostgres(Connection& source, Connection& target);

/// What a company's advisory lock keeps apart (as CompanyWork of the file locks).
enum class AdvisoryWork : std::int32_t { Retrieval = 1, Clerk = 2 };

/// Who holds a company's advisory lock: the name its session published and when it took the lock.
struct AdvisoryHolder {
    std::string name; ///< "nso import, process 4312"; empty when the session gave none
    std::chrono::system_clock::time_point since; ///< when its session took the lock
};

/// One holder at a time of a company's work on a server database, across processes and
/// machines: a session-level advisory lock on its own connection, which the server releases
/// when the holder disconnects, however it ends. Its holder's name is published in the
/// session's application_name, so that one that is refused can name it.
class AdvisoryLock {
  public:
    /// Takes the lock, waiting up to `wait`. Throws DbError (40001, condition Busy) naming the
    /// holder when it stays taken.
    AdvisoryLock(const std::string& uri, std::int32_t company, AdvisoryWork work,
                 const std::string& name, std::chrono::milliseconds wait);
    AdvisoryLock(AdvisoryLock&&) noexcept;
    AdvisoryLock& operator=(AdvisoryLock&&) noexcept;
    AdvisoryLock(const AdvisoryLock&) = delete;
    AdvisoryLock& operator=(const AdvisoryLock&) = delete;
    ~AdvisoryLock();

    /// Who holds the lock now ("nso import, process 4312"), empty when nobody does.
    [[nodiscard]] static std::string Holder(const std::string& uri, std::int32_t company,
                                            AdvisoryWork work);
    /// Who holds the lock now and since when; nothing when nobody does.
    [[nodiscard]] static std::optional<AdvisoryHolder>
    HolderOf(const std::string& uri, std::int32_t company, AdvisoryWork work);

  private:
    std::shared_ptr<Connection> session_;
};

} // namespace kvad::db
