#pragma once
// FROM clauses: tables, derived tables, catalogue views, common table expressions and joins,
// each source made known to the scope of the SELECT.

#include <string>
#include <string_view>

#include "emit_context.h"
#include "name_scope.h"
#include "tsql_ast.h"

namespace kvad::db::tsql {

/// Writes a FROM clause (without the word FROM) and adds its sources to `scope`.
[[nodiscard]] std::string EmitFrom(EmitContext& context, const FromClause& from, NameScope& scope);

/// Adds a table or CTE named by a statement (DELETE, UPDATE) to `scope`.
void AddTableSource(EmitContext& context, NameScope& scope, const QualifiedName& name,
                    const std::string& alias);

/// sys.<view>.
[[nodiscard]] bool IsSysName(const QualifiedName& name);

/// A "#" working table (a session's temporary table) named as a source.
[[nodiscard]] bool IsWorkingTable(const TableSource& source);

/// A table or alias used as a qualifier: "#T".col for temporary tables.
[[nodiscard]] std::string QualifierSql(std::string_view name);

} // namespace kvad::db::tsql
