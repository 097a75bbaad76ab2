#include "outer_apply.h"

#include <utility>

#include "expr_emitter.h"
#include "from_emitter.h"
#include "query_emitter.h"

namespace kvad::db::tsql {

namespace {

// The applies both dialects write: SELECT TOP 1 of named columns, alone. Returns its SELECT.
const SelectCore& CheckApply(EmitContext& context, const TableSource& source) {
    if (source.kind != TableSource::Kind::Derived) {
        context.Fail("OUTER APPLY is supported only on a subquery");
    }
    const QueryExpr& query = *source.query;
    if (!query.ctes.empty() || query.cores.size() != 1) {
        context.Fail("OUTER APPLY is supported only on a single SELECT");
    }
    const SelectCore& core = query.cores.front();
    if (!core.top || core.top->kind != ExprKind::Number || core.top->text != "1") {
        context.Fail(
            "OUTER APPLY is supported only on SELECT TOP 1 (it must give at most one row)");
    }
    for (const SelectItem& item : core.items) {
        if (item.expr->kind == ExprKind::Star) {
            context.Fail("OUTER APPLY (SELECT * ...) is not supported: name its columns");
        }
        if (item.alias.empty() && item.expr->kind != ExprKind::Column) {
            context.Fail("every column of OUTER APPLY needs a name");
        }
    }
    return core;
}

} // namespace

std::string EmitLateralApply(EmitContext& context, const TableSource& source, NameScope& scope) {
    (void)CheckApply(context, source);
    // The subquery sees the sources left of it (those of `scope` so far) and the enclosing
    // queries'; its LIMIT 1 comes from TOP 1.
    ColumnList& columns = context.NewColumnList();
    const std::string body = EmitQuery(context, *source.query, &scope, columns);
    scope.sources.push_back(Source{source.alias, &columns, nullptr, {}, {}});
    return " LEFT JOIN LATERAL (" + body + ") AS " + SqliteIdentifier(source.alias) + " ON true";
}

void RegisterApply(EmitContext& context, const TableSource& source, NameScope& scope) {
    const QueryExpr& query = *source.query;
    const SelectCore& core = CheckApply(context, source);
    ApplyInfo& apply = scope.applies.emplace_back();
    apply.query = &query;
    apply.owner = &scope;
    apply.left = scope.sources;
    // The types of the columns: written once in a scratch scope to learn them.
    NameScope probe(&scope);
    if (core.from) {
        (void)EmitFrom(context, *core.from, probe);
    }
    for (const SelectItem& item : core.items) {
        std::string name = item.alias.empty() ? item.expr->name.Last() : item.alias;
        TypedSql value = EmitExpr(context, *item.expr, probe);
        apply.columns.columns.push_back(InfoFromTyped(name, Settle(context, value)));
    }
    scope.sources.push_back(Source{source.alias, &apply.columns, &apply, {}, {}});
}

TypedSql ApplyValue(EmitContext& context, const ApplyInfo& apply, std::size_t index) {
    const SelectCore& core = apply.query->cores.front();
    NameScope leftOfApply(apply.owner->parent);
    leftOfApply.sources = apply.left;
    NameScope inner(&leftOfApply);
    std::string from;
    if (core.from) {
        from = EmitFrom(context, *core.from, inner);
    }
    TypedSql value = EmitExpr(context, *core.items[index].expr, inner);
    Settle(context, value);
    std::string sql = "(SELECT " + value.sql;
    if (core.from) {
        sql += " FROM " + from;
    }
    if (core.where) {
        sql += " WHERE " + EmitExpr(context, *core.where, inner).sql;
    }
    if (!core.groupBy.empty()) {
        sql += " GROUP BY ";
        for (std::size_t i = 0; i < core.groupBy.size(); ++i) {
            sql += (i == 0 ? "" : ", ") + EmitExpr(context, *core.groupBy[i], inner).sql;
        }
    }
    if (core.having) {
        sql += " HAVING " + EmitExpr(context, *core.having, inner).sql;
    }
    if (!apply.query->orderBy.empty()) {
        sql += " ORDER BY ";
        for (std::size_t i = 0; i < apply.query->orderBy.size(); ++i) {
            const OrderItem& item = apply.query->orderBy[i];
            sql += (i == 0 ? "" : ", ") + EmitExpr(context, *item.expr, inner).sql +
                   (item.descending ? " DESC" : "");
        }
    }
    sql += " LIMIT 1)";
    context.CountApplyCopy(sql.size());
    TypedSql result;
    result.sql = std::move(sql);
    result.cls = value.cls;
    result.type = value.type;
    result.length = value.length;
    return result;
}

std::string ApplyColumns(EmitContext& context, const Source& source) {
    std::string sql;
    const auto& columns = source.columns->columns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        sql += (i == 0 ? "" : ", ") + ApplyValue(context, *source.apply, i).sql + " AS " +
               SqliteIdentifier(columns[i].name);
    }
    return sql;
}

} // namespace kvad::db::tsql
