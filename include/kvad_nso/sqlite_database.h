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
};

/// Opens a database file (":memory:" for a private in-memory database) as a connection that
/// runs the component's T-SQL. Throws DbError when the file cannot be opened.
[[nodiscard]] std::shared_ptr<Connection> OpenSqlite(const std::string& path,
                                                     const OpenOptions& options = {});

} // namespace kvad::db
