#pragma once
/// The embedded database: a SQLite file behind the Connection interface.

#include <memory>
#include <string>

#include "kvad_nso/connection.h"

namespace kvad::db {

struct OpenOptions {
    /// Create the file when it does not exist.
    bool create = true;
    /// How long a statement waits for another connection's lock, in milliseconds.
    int busyTimeoutMs = 5000;
    /// The write-ahead log's length, in pages, at which it is copied back into the file.
    int checkpointPages = 10000;
    /// Copy the log back on a thread of its own, so that writing goes on meanwhile.
    bool backgroundCheckpoints = true;
};

/// Opens a database file (":memory:" for a private in-memory database) as a connection that
/// runs the component's T-SQL. Throws DbError when the file cannot be opened, with SQLite's
/// result code and its condition (CannotOpen, NotDatabase, Busy, ...). A statement that fails
/// on the connection throws DbError with the same; one that cannot be prepared or translated
/// on a file whose schema version is newer than this build knows has condition NewerSchema.
[[nodiscard]] std::shared_ptr<Connection> OpenSqlite(const std::string& path,
                                                     const OpenOptions& options = {});

/// True when a connection made by OpenSqlite can only read its file (the file or its folder is
/// not writable by this process, or it lies on a read-only file system).
[[nodiscard]] bool IsReadOnly(Connection& connection);

/// Runs SQLite's own SQL (one or more statements, e.g. a schema script) on a connection made by
/// OpenSqlite, bypassing the T-SQL translation. Throws DbError.
void ExecuteNativeScript(Connection& connection, const std::string& sql);

/// Applies the schema scripts that the file does not have yet, in version order, each in its
/// own transaction. Idempotent. With `upTo` above 0, stops after that version (to test an
/// upgrade from it). Returns the schema version the file has afterwards. Throws DbError, with
/// condition NewerSchema for a file whose version is newer than LatestSchemaVersion().
int ApplySchema(Connection& connection, int upTo = 0);

/// The schema version recorded in the file (0 for a file without the schema).
[[nodiscard]] int SchemaVersion(Connection& connection);

/// The highest schema version this build knows (the last embedded schema script).
[[nodiscard]] int LatestSchemaVersion() noexcept;

} // namespace kvad::db
