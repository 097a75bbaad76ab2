#pragma once
// Writes a parsed T-SQL statement as one SQLite statement with SQL Server's meaning.

#include <string_view>

#include "tsql/tsql_translator.h"
#include "tsql_ast.h"

namespace kvad::db::tsql {

/// Translates a parsed statement; `text` is the original statement for error messages.
/// Throws DbError (42000) for what has no faithful SQLite form.
[[nodiscard]] Translation EmitStatement(const Statement& statement, std::string_view text,
                                        SchemaLookup& schema);

/// An identifier as SQLite reads it: bare when that is safe, double-quoted otherwise.
[[nodiscard]] std::string SqliteIdentifier(std::string_view name);

} // namespace kvad::db::tsql
