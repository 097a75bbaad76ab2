#pragma once
// Turning SQLite's result codes into the provider errors the component reads.

#include <string>
#include <string_view>

#include "kvad_nso/errors.h"

struct sqlite3;

namespace kvad::db {

/// The provider source named in every error of this backend.
inline constexpr const char* kProviderSource = "KVAD_NSO.SQLite";

/// An extended result code with the condition it means for a host.
[[nodiscard]] DbCode CodeOf(int extendedResultCode) noexcept;

/// The ODBC-style SQL state of a SQLite failure, from its extended result code: 23000
/// constraint, 40001 busy or locked, 08001 cannot open or not a database, 42000 a statement
/// that cannot be prepared, 22007, 22003 and 22018 for the values the translation's functions
/// refuse (a date, a number out of range, a number), HY000 otherwise.
[[nodiscard]] std::string SqlStateOf(int resultCode, bool preparing);

/// The DbError of the connection's last failure (of `resultCode` without a connection) for the
/// statement.
[[nodiscard]] DbError SqliteError(sqlite3* db, int resultCode, std::string_view sql,
                                  bool preparing);
/// Throws SqliteError(db, resultCode, sql, preparing).
[[noreturn]] void ThrowSqliteError(sqlite3* db, int resultCode, std::string_view sql,
                                   bool preparing);

} // namespace kvad::db
