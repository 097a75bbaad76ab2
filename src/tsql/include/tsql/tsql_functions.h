#pragma once
// SQL functions that translated statements call (string '+', CONVERT, GETDATE, DATEADD, the
// catalogue's type mapping, ...). The SQLite backend registers them on every connection.

#include <optional>

struct sqlite3;

namespace kvad::db {

/// Registers the translation layer's functions on a connection.
void RegisterTsqlFunctions(sqlite3* db);

/// Why a translation function refused a value, as SQL Server's SQL state tells it. A refusal
/// travels in the extended result code of the statement's failure (SQLITE_ERROR in the low byte),
/// so that the backend gives the SQL state without reading the message.
enum class FunctionRefusal {
    DateConversion,  ///< 22007: text that is not a date
    Overflow,        ///< 22003: a number out of the type's range
    ValueConversion, ///< 22018: text that is not a number of the type
};

/// The extended result code a function fails with for a refusal.
[[nodiscard]] int FunctionRefusalCode(FunctionRefusal refusal) noexcept;
/// The refusal an extended result code carries; nullopt for any other code.
[[nodiscard]] std::optional<FunctionRefusal> FunctionRefusalOf(int resultCode) noexcept;

} // namespace kvad::db
