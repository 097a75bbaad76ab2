#pragma once
// OUTER APPLY (SELECT TOP 1 ...) AS alias: SQLite has no APPLY, so every column of the apply
// is written as the same SELECT turned into a correlated scalar subquery, which gives NULL
// when there is no row, as OUTER APPLY does. PostgreSQL joins the SELECT once, as
// LEFT JOIN LATERAL (SELECT ... LIMIT 1) AS alias ON true.

#include <cstddef>
#include <string>

#include "emit_context.h"
#include "name_scope.h"
#include "tsql_ast.h"

namespace kvad::db::tsql {

/// PostgreSQL: the apply joined as a lateral subquery (" LEFT JOIN LATERAL (...) AS A ON true"),
/// made a source of `scope` like a derived table.
[[nodiscard]] std::string EmitLateralApply(EmitContext& context, const TableSource& source,
                                           NameScope& scope);

/// SQLite: makes the apply a source of `scope` with the columns its SELECT gives.
void RegisterApply(EmitContext& context, const TableSource& source, NameScope& scope);

/// The column `index` of an apply as a correlated subquery.
[[nodiscard]] TypedSql ApplyValue(EmitContext& context, const ApplyInfo& apply, std::size_t index);

/// Every column of an apply source, "value AS name, ..." (for * and T.*).
[[nodiscard]] std::string ApplyColumns(EmitContext& context, const Source& source);

} // namespace kvad::db::tsql
