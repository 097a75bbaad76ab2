#pragma once
// CONVERT(type, value [, style]) and CAST(value AS type): folded where the value is known
// here, else written as the run-time conversion functions with SQL Server's checks.

#include "emit_context.h"
#include "name_scope.h"
#include "tsql_ast.h"
#include "typed_sql.h"

namespace kvad::db::tsql {

/// Writes a CONVERT or CAST.
[[nodiscard]] TypedSql EmitConvert(EmitContext& context, const Expr& expr, NameScope& scope);

} // namespace kvad::db::tsql
