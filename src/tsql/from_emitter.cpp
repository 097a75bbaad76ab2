#include "from_emitter.h"

#include "expr_emitter.h"
#include "kvad_nso/text.h"
#include "outer_apply.h"
#include "query_emitter.h"
#include "tsql_catalogue.h"

namespace kvad::db::tsql {

namespace {

// The SQLite words of a join (the source and its condition follow). `inOrder` keeps an inner
// join in the order written.
std::string JoinSql(const Join& join, bool inOrder) {
    switch (join.type) {
    case JoinType::Inner:
        // Catalogue views, and every table after a working table named first (`inOrder`), are
        // joined in the order written (SQLite's CROSS JOIN keeps it): a view's table is found
        // by name first, so its columns are read only once. PostgreSQL plans the order itself
        // and takes no condition after CROSS JOIN.
        return CurrentDialect() == SqlDialect::Sqlite &&
                       (inOrder || (join.source.kind != TableSource::Kind::Derived &&
                                    IsSysName(join.source.name)))
                   ? " CROSS JOIN "
                   : " INNER JOIN ";
    case JoinType::Left:
        return " LEFT OUTER JOIN ";
    case JoinType::Right:
        return " RIGHT OUTER JOIN ";
    case JoinType::Full:
        return " FULL OUTER JOIN ";
    case JoinType::Cross:
        return " CROSS JOIN ";
    case JoinType::Comma:
        return ", ";
    case JoinType::OuterApply:
    case JoinType::CrossApply:
        break;
    }
    return {};
}

std::string EmitDerivedTable(EmitContext& context, const TableSource& source, NameScope& scope) {
    ColumnList& columns = context.NewColumnList();
    const std::string body = EmitQuery(context, *source.query, scope.parent, columns);
    scope.sources.push_back(Source{source.alias, &columns, nullptr, {}, {}});
    return "(" + body + ") AS " + SqliteIdentifier(source.alias);
}

std::string EmitCatalogueView(EmitContext& context, const TableSource& source, NameScope& scope) {
    auto view = CatalogueViewFor(source.name.Last());
    if (!view) {
        context.Fail("catalogue view sys." + source.name.Last() + " is not supported");
    }
    ColumnList& columns = context.NewColumnList();
    for (const CatalogueColumn& column : view->columns) {
        columns.columns.push_back(InfoFromDecl(std::string(column.name), std::string(column.type)));
    }
    const std::string& exposed = source.ExposedName();
    scope.sources.push_back(Source{exposed, &columns, nullptr, {}, {}});
    context.SetReadsCatalogue();
    return view->sql + " AS " + SqliteIdentifier(exposed);
}

std::string EmitCteReference(EmitContext& context, const TableSource& source, NameScope& scope) {
    scope.sources.push_back(
        Source{source.ExposedName(), context.ReferenceCte(source.name.Last()), nullptr, {}, {}});
    std::string sql = SqliteIdentifier(source.name.Last());
    if (!source.alias.empty()) {
        sql += " AS " + SqliteIdentifier(source.alias);
    }
    return sql;
}

std::string EmitSource(EmitContext& context, const TableSource& source, NameScope& scope) {
    if (source.kind == TableSource::Kind::Derived) {
        return EmitDerivedTable(context, source, scope);
    }
    if (IsSysName(source.name)) {
        return EmitCatalogueView(context, source, scope);
    }
    if (source.name.parts.size() == 1 && context.IsCte(source.name.Last())) {
        return EmitCteReference(context, source, scope);
    }
    std::string sql = context.TableSql(source.name);
    AddTableSource(context, scope, source.name, source.alias);
    if (!source.alias.empty()) {
        sql += " AS " + SqliteIdentifier(source.alias);
    }
    return sql;
}

} // namespace

std::string EmitFrom(EmitContext& context, const FromClause& from, NameScope& scope) {
    std::string sql = EmitSource(context, from.first, scope);
    // A working table named first holds the rows the statement is about (a batch, a list), and
    // the tables joined to it hold those of every document. SQLite, knowing neither size, could
    // walk a whole table in its ORDER BY's index and look each row up in the working table; the
    // working table is read first instead, and the joined tables looked up by their indexes.
    const bool workingTableFirst = IsWorkingTable(from.first);
    bool applySeen = false;
    for (const Join& join : from.joins) {
        if (join.type == JoinType::OuterApply) {
            if (CurrentDialect() == SqlDialect::Postgres) {
                sql += EmitLateralApply(context, join.source, scope);
            } else {
                RegisterApply(context, join.source, scope);
            }
            applySeen = true;
            continue;
        }
        if (join.type == JoinType::CrossApply) {
            context.Fail("CROSS APPLY is not supported");
        }
        if (applySeen) {
            context.Fail("a join after OUTER APPLY is not supported");
        }
        sql += JoinSql(join, workingTableFirst);
        sql += EmitSource(context, join.source, scope);
        if (join.on) {
            sql += " ON " + EmitExpr(context, *join.on, scope).sql;
        }
    }
    return sql;
}

void AddTableSource(EmitContext& context, NameScope& scope, const QualifiedName& name,
                    const std::string& alias) {
    const std::string& table = name.Last();
    if (name.parts.size() == 1 && context.IsCte(table)) {
        scope.sources.push_back(
            Source{alias.empty() ? table : alias, context.ReferenceCte(table), nullptr, {}, {}});
        return;
    }
    scope.sources.push_back(Source{alias.empty() ? table : alias, nullptr, nullptr, table, table});
    if (context.NeedTypes()) {
        (void)Columns(context, scope.sources.back());
    }
}

bool IsWorkingTable(const TableSource& source) {
    return source.kind == TableSource::Kind::Table && source.name.parts.size() == 1 &&
           source.name.Last().starts_with('#');
}

bool IsSysName(const QualifiedName& name) {
    return name.parts.size() == 2 && EqualsNoCase(name.parts[0], "sys");
}

std::string QualifierSql(std::string_view name) {
    return SqliteIdentifier(name);
}

} // namespace kvad::db::tsql
