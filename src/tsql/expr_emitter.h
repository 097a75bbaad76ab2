#pragma once
// Expressions: literals, column references, operators, predicates, CASE and subqueries, with
// SQL Server's comparison rules (text without case, string literals read as the other side).
// Functions and CONVERT/CAST have files of their own.

#include "emit_context.h"
#include "name_scope.h"
#include "tsql_ast.h"
#include "typed_sql.h"

namespace kvad::db::tsql {

/// Writes an expression seen from `scope`.
[[nodiscard]] TypedSql EmitExpr(EmitContext& context, const Expr& expr, NameScope& scope);

} // namespace kvad::db::tsql
