#pragma once
// The database nso works on: an embedded SQLite file (a path) or a PostgreSQL server database
// (a "postgresql://" URI), opened, versioned and upgraded the same way whichever it is.

#include <memory>
#include <string>
#include <string_view>

#include "kvad_nso/connection.h"

namespace nsoapp {

/// True for a server database (a "postgresql://" or "postgres://" URI).
[[nodiscard]] bool IsServerDatabase(std::string_view database) noexcept;

/// True for a URI that carries a password (user:password@ or password=).
[[nodiscard]] bool UriHasPassword(std::string_view database) noexcept;

/// The database's name as messages show it: a URI with any password replaced by "***".
[[nodiscard]] std::string ShownDatabase(std::string_view database);

/// Throws Failure when a database given on the command line carries a password: the command
/// line is seen by every user of the machine (ps), so the password belongs in the settings
/// file, PGPASSWORD, a service file or ~/.pgpass.
void RefuseCommandLinePassword(std::string_view database);

/// Opens the database: the file (made when `create` and it is missing) or the server database.
/// Throws DbError.
[[nodiscard]] std::shared_ptr<kvad::Connection> OpenNsoDatabase(const std::string& database,
                                                                bool create);

/// The schema version the database records (0 without the schema).
[[nodiscard]] int DatabaseSchemaVersion(kvad::Connection& connection, std::string_view database);

/// Applies the schema scripts the database lacks; returns its version afterwards.
int ApplyDatabaseSchema(kvad::Connection& connection, std::string_view database);

/// True when this process can only read the database (a file it may not write).
[[nodiscard]] bool DatabaseIsReadOnly(kvad::Connection& connection);

} // namespace nsoapp
