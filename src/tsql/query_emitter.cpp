#include "query_emitter.h"

#include <deque>
#include <utility>

#include "expr_emitter.h"
#include "from_emitter.h"
#include "outer_apply.h"

namespace kvad::db::tsql {

namespace {

// Computed text keeps SQL Server's case-insensitive comparison wherever it is compared or
// sorted; a plain column compares with its declared collation.
void CollateComputedText(TypedSql& value) {
    if (value.cls == ValueClass::Text && !value.column) {
        value.sql = NoCase(value.sql, value.cls);
    }
}

// A key of ORDER BY or GROUP BY.
TypedSql SortKey(EmitContext& context, const Expr& expr, NameScope& scope) {
    TypedSql value = EmitExpr(context, expr, scope);
    if (!value.column) {
        Settle(context, value);
    }
    CollateComputedText(value);
    return value;
}

// * and T.*; the columns of an OUTER APPLY are written out one by one.
std::string EmitStarItem(EmitContext& context, const Expr& star, const NameScope& scope,
                         ColumnList& out) {
    auto appendColumns = [&out](const Source& source) {
        if (!source.pendingTable.empty() || source.columns == nullptr) {
            out.complete = false;
            return;
        }
        out.complete = out.complete && source.columns->complete;
        for (const ColumnInfo& column : source.columns->columns) {
            out.columns.push_back(column);
        }
    };
    if (star.name.parts.empty()) {
        if (scope.sources.empty()) {
            context.Fail("SELECT * without FROM");
        }
        std::string sql = "*";
        for (const Source& source : scope.sources) {
            appendColumns(source);
            if (source.apply != nullptr) {
                sql += ", " + ApplyColumns(context, source);
            }
        }
        return sql;
    }
    const std::string& qualifier = star.name.Last();
    const Source* source = FindSource(scope, qualifier);
    if (source == nullptr) {
        context.Fail("unknown table " + qualifier + " in " + qualifier + ".*");
    }
    appendColumns(*source);
    if (source->apply != nullptr) {
        return ApplyColumns(context, *source);
    }
    return QualifierSql(qualifier) + ".*";
}

// An item of the select list other than a star, with the column it gives.
std::string EmitSelectItem(EmitContext& context, const SelectItem& item, NameScope& scope,
                           ColumnList& out, bool inserted) {
    TypedSql value = EmitExpr(context, *item.expr, scope);
    if (!value.column) {
        Settle(context, value);
    } else {
        SettleIfKnown(context, value);
    }
    std::string name = item.alias;
    if (name.empty() && item.expr->kind == ExprKind::Column) {
        name = item.expr->name.Last();
    }
    // The queries that read this column (CTEs, derived tables, DISTINCT) compare it as SQL
    // Server would; a literal an INSERT writes takes its column's type and collation.
    if (!(inserted && item.expr->kind == ExprKind::String)) {
        CollateComputedText(value);
    }
    std::string sql = value.sql;
    if (!item.alias.empty()) {
        sql += " AS " + SqliteIdentifier(item.alias);
    }
    out.columns.push_back(InfoFromTyped(std::move(name), value));
    return sql;
}

// One SELECT: its FROM first (the select list sees its sources), then the rest in order.
std::string EmitCore(EmitContext& context, const SelectCore& core, NameScope& scope,
                     ColumnList& out) {
    std::string from;
    if (core.from) {
        from = EmitFrom(context, *core.from, scope);
    }
    std::string items;
    for (const SelectItem& item : core.items) {
        if (!items.empty()) {
            items += ", ";
        }
        items += item.expr->kind == ExprKind::Star
                     ? EmitStarItem(context, *item.expr, scope, out)
                     : EmitSelectItem(context, item, scope, out, context.InsertedCore() == &core);
    }
    std::string sql = "SELECT ";
    if (core.distinct) {
        sql += "DISTINCT ";
    }
    sql += items;
    if (core.from) {
        sql += " FROM " + from;
    }
    if (core.where) {
        sql += " WHERE " + EmitExpr(context, *core.where, scope).sql;
    }
    if (!core.groupBy.empty()) {
        sql += " GROUP BY ";
        for (std::size_t i = 0; i < core.groupBy.size(); ++i) {
            sql += (i == 0 ? "" : ", ") + SortKey(context, *core.groupBy[i], scope).sql;
        }
    }
    if (core.having) {
        sql += " HAVING " + EmitExpr(context, *core.having, scope).sql;
    }
    return sql;
}

// A CTE's own column names replace those of its first SELECT.
void NameCteColumns(EmitContext& context, const Cte& cte, ColumnList& columns) {
    if (!cte.columns.empty()) {
        if (columns.complete && columns.columns.size() != cte.columns.size()) {
            context.Fail("common table expression " + cte.name + " names " +
                         std::to_string(cte.columns.size()) + " columns for " +
                         std::to_string(columns.columns.size()));
        }
        for (std::size_t c = 0; c < cte.columns.size() && c < columns.columns.size(); ++c) {
            columns.columns[c].name = cte.columns[c];
        }
    }
    context.SetCteColumns(cte.name, &columns);
}

// name(columns) AS (body) of one CTE, which stays in scope for the rest of the query.
std::string EmitCte(EmitContext& context, const Cte& definition, const NameScope* parent) {
    const std::size_t index = context.DefineCte(definition.name);
    ColumnList& columns = context.NewColumnList();
    const std::string body = EmitQuery(context, *definition.query, parent, columns, &definition);
    context.SetCteColumns(definition.name, &columns);
    std::string sql = SqliteIdentifier(definition.name);
    if (!definition.columns.empty()) {
        sql += "(";
        for (std::size_t c = 0; c < definition.columns.size(); ++c) {
            sql += (c == 0 ? "" : ", ") + SqliteIdentifier(definition.columns[c]);
        }
        sql += ")";
    }
    // SQL Server expands a common table expression where it is used; SQLite may materialize
    // it without an index, which makes a join on it quadratic. Only a recursive one (a FROM
    // clause of its body named it) has to be materialized.
    const bool recursive = context.CteIsReferenced(index);
    sql += std::string(recursive ? " AS (" : " AS NOT MATERIALIZED (") + body + ")";
    return sql;
}

std::string EmitWith(EmitContext& context, const std::vector<Cte>& ctes, const NameScope* parent) {
    if (ctes.empty()) {
        return {};
    }
    std::string sql = "WITH RECURSIVE ";
    for (std::size_t i = 0; i < ctes.size(); ++i) {
        sql += (i == 0 ? "" : ", ") + EmitCte(context, ctes[i], parent);
    }
    return sql + " ";
}

// The SELECTs joined by their set operators, each in a scope of its own kept in `scopes`.
std::string EmitMembers(EmitContext& context, const QueryExpr& query, const NameScope* parent,
                        ColumnList& out, const Cte* cte, std::deque<NameScope>& scopes) {
    std::string sql;
    const bool compound = query.cores.size() > 1;
    for (std::size_t i = 0; i < query.cores.size(); ++i) {
        const SelectCore& core = query.cores[i];
        if (core.into) {
            context.Fail("SELECT INTO is supported only as the statement's first SELECT");
        }
        NameScope& scope = scopes.emplace_back(parent);
        ColumnList scratch;
        ColumnList& columns = i == 0 ? out : scratch;
        std::string coreSql = EmitCore(context, core, scope, columns);
        if (i == 0 && cte != nullptr) {
            NameCteColumns(context, *cte, columns);
        }
        if (i > 0) {
            sql += " " + query.setOps[i - 1] + " ";
        }
        if (compound && core.top) {
            // A member of a compound cannot have its own LIMIT in SQLite.
            sql += "SELECT * FROM (";
            sql += coreSql;
            sql += " LIMIT ";
            sql += EmitExpr(context, *core.top, scope).sql;
            sql += ")";
        } else {
            sql += coreSql;
        }
    }
    return sql;
}

// ORDER BY of a single SELECT sees its sources; that of a compound only the enclosing ones.
std::string EmitOrderBy(EmitContext& context, const QueryExpr& query, const NameScope* parent,
                        std::deque<NameScope>& scopes) {
    if (query.orderBy.empty()) {
        return {};
    }
    NameScope compoundScope(parent);
    NameScope& scope = query.cores.size() > 1 ? compoundScope : scopes.front();
    std::string sql = " ORDER BY ";
    for (std::size_t i = 0; i < query.orderBy.size(); ++i) {
        const OrderItem& item = query.orderBy[i];
        sql += (i == 0 ? "" : ", ") + SortKey(context, *item.expr, scope).sql +
               (item.descending ? " DESC" : "");
    }
    // Over one working table alone, rows with equal keys come in a fixed order where the
    // database says how (the register ids the table copied).
    const SelectCore& core = query.cores.front();
    if (query.cores.size() == 1 && !core.distinct && core.groupBy.empty() && !core.having &&
        scope.sources.size() == 1 && scope.applies.empty() &&
        !scope.sources.front().table.empty()) {
        const Source& source = scope.sources.front();
        for (const std::string& column : context.TieBreakColumns(source.table)) {
            sql += ", " + QualifierSql(source.exposed) + "." + SqliteIdentifier(column);
        }
    }
    return sql;
}

} // namespace

std::string EmitQuery(EmitContext& context, const QueryExpr& query, const NameScope* parent,
                      ColumnList& out, const Cte* cte) {
    const std::size_t ctesBefore = context.CteCount();
    std::string sql = EmitWith(context, query.ctes, parent);
    std::deque<NameScope> scopes;
    sql += EmitMembers(context, query, parent, out, cte, scopes);
    sql += EmitOrderBy(context, query, parent, scopes);
    const SelectCore& first = query.cores.front();
    if (query.cores.size() == 1 && first.top) {
        sql += " LIMIT " + EmitExpr(context, *first.top, scopes.front()).sql;
    }
    context.DropCtes(ctesBefore);
    return sql;
}

} // namespace kvad::db::tsql
