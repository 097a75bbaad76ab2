#pragma once
// Queries: WITH, the SELECTs joined by set operators, ORDER BY and TOP.

#include <string>

#include "emit_context.h"
#include "name_scope.h"
#include "tsql_ast.h"

namespace kvad::db::tsql {

/// Writes a query seen from `parent` (nullptr for a statement's own query); `out` receives the
/// columns of its first SELECT. `cte` is the common table expression the query is the body of:
/// its columns become known to its recursive members as soon as the first SELECT is written.
[[nodiscard]] std::string EmitQuery(EmitContext& context, const QueryExpr& query,
                                    const NameScope* parent, ColumnList& out,
                                    const Cte* cte = nullptr);

} // namespace kvad::db::tsql
