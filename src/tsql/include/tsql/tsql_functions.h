#pragma once
// SQL functions that translated statements call (string '+', CONVERT, GETDATE, DATEADD, the
// catalogue's type mapping, ...). The SQLite backend registers them on every connection.

struct sqlite3;

namespace kvad::db {

/// Registers the translation layer's functions on a connection.
void RegisterTsqlFunctions(sqlite3* db);

} // namespace kvad::db
