#pragma once
// The T-SQL functions the translator knows, each written by a handler of its own found by
// name; any other function is refused.

#include "emit_context.h"
#include "name_scope.h"
#include "tsql_ast.h"
#include "typed_sql.h"

namespace kvad::db::tsql {

/// Writes a function call (expr.text is the name in upper case).
[[nodiscard]] TypedSql EmitFunction(EmitContext& context, const Expr& expr, NameScope& scope);

} // namespace kvad::db::tsql
