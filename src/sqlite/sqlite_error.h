#pragma once
// Turning SQLite's result codes into the provider errors the component reads.

#include <string>
#include <string_view>

struct sqlite3;

namespace kvad::db {

/// The provider source named in every error of this backend.
inline constexpr const char* kProviderSource = "KVAD_NSO.SQLite";

/// The ODBC-style SQL state of a SQLite failure: 23000 constraint, 42000 statement that cannot
/// be prepared, 22007 date conversion, 22003 arithmetic overflow, 22012 division by zero,
/// 22018 value conversion, 40001 busy or locked, 08001 cannot open, HY000 otherwise.
[[nodiscard]] std::string SqlStateOf(int resultCode, std::string_view message, bool preparing);

/// Throws the DbError of the connection's last failure for the statement.
[[noreturn]] void ThrowSqliteError(sqlite3* db, int resultCode, std::string_view sql,
                                   bool preparing);

} // namespace kvad::db
