#pragma once
// Writes a parsed T-SQL statement as one SQLite statement with SQL Server's meaning. Each kind
// of statement has its file (<kind>_statement.cpp); the parts they share are the queries
// (query_emitter), FROM clauses (from_emitter), expressions (expr_emitter), functions
// (function_handlers), conversions (convert_emitter) and OUTER APPLY (outer_apply).

#include <string_view>

#include "emit_context.h"
#include "tsql/tsql_translator.h"
#include "tsql_ast.h"

namespace kvad::db::tsql {

/// Translates a parsed statement; `text` is the original statement for error messages.
/// Throws DbError (42000) for what has no faithful SQLite form.
[[nodiscard]] Translation EmitStatement(const Statement& statement, std::string_view text,
                                        SchemaLookup& schema);

[[nodiscard]] Translation Emit(EmitContext& context, const SelectStatement& statement);
[[nodiscard]] Translation Emit(EmitContext& context, const SelectIntoStatement& statement);
[[nodiscard]] Translation Emit(EmitContext& context, const InsertStatement& statement);
[[nodiscard]] Translation Emit(EmitContext& context, const UpdateStatement& statement);
[[nodiscard]] Translation Emit(EmitContext& context, const DeleteStatement& statement);
[[nodiscard]] Translation Emit(EmitContext& context, const DropStatement& statement);

} // namespace kvad::db::tsql
