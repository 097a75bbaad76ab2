// UPDATE table SET ... [WHERE ...] and UPDATE target SET ... FROM ... [WHERE ...]. The FROM
// form becomes SQLite's UPDATE ... FROM over a subquery that gives, for every row of the T-SQL
// FROM clause, the target's rowid and the new values.

#include <string>
#include <vector>

#include "expr_emitter.h"
#include "from_emitter.h"
#include "kvad_nso/text.h"
#include "statement_emitter.h"

namespace kvad::db::tsql {

namespace {

// SET may qualify the column only with the target's own name.
const std::string& CheckSetColumn(EmitContext& context, const QualifiedName& column,
                                  const TableSource& target) {
    if (column.parts.size() > 2 ||
        (column.parts.size() == 2 && !EqualsNoCase(column.parts[0], target.ExposedName()) &&
         !EqualsNoCase(column.parts[0], target.name.Last()))) {
        context.Fail("SET column " + column.parts.front() + "." + column.Last() +
                     " is not a column of the UPDATE target");
    }
    return column.Last();
}

// The class of a SET column, looked up only for a text literal (the one value it changes).
ValueClass TargetClass(EmitContext& context, const Source* source, std::string_view column,
                       const Expr& value) {
    if (source == nullptr || value.kind != ExprKind::String) {
        return ValueClass::Unknown;
    }
    const auto hit = FindIn(context, *source, column);
    return hit ? hit->column->cls : ValueClass::Unknown;
}

// The value of an assignment, a text literal read as the type of its column.
TypedSql AssignedValue(EmitContext& context, const Assignment& assignment,
                       const std::string& column, const Source* targetSource, NameScope& scope) {
    return CoerceTo(*assignment.value, EmitExpr(context, *assignment.value, scope),
                    TargetClass(context, targetSource, column, *assignment.value));
}

Translation EmitPlainUpdate(EmitContext& context, const UpdateStatement& statement) {
    Translation result;
    result.kind = Translation::Kind::Command;
    NameScope scope(nullptr);
    AddTableSource(context, scope, statement.target, "");
    TableSource target;
    target.name = statement.target;
    const Source* targetSource = &scope.sources.front();
    std::string sql = "UPDATE " + context.TableSql(statement.target) + " SET ";
    for (std::size_t i = 0; i < statement.assignments.size(); ++i) {
        const Assignment& assignment = statement.assignments[i];
        const std::string& column = CheckSetColumn(context, assignment.column, target);
        const TypedSql value = AssignedValue(context, assignment, column, targetSource, scope);
        sql += (i == 0 ? "" : ", ") + SqliteIdentifier(column) + " = " + value.sql;
    }
    if (statement.where) {
        sql += " WHERE " + EmitExpr(context, *statement.where, scope).sql;
    }
    result.sql = std::move(sql);
    return result;
}

// The source of the FROM clause the UPDATE names: by alias or, when it appears once, by table
// name.
const TableSource& FindTarget(EmitContext& context, const FromClause& from,
                              const std::string& targetName) {
    std::vector<const TableSource*> all;
    all.push_back(&from.first);
    for (const Join& join : from.joins) {
        all.push_back(&join.source);
    }
    const TableSource* target = nullptr;
    for (const TableSource* source : all) {
        if (!source->alias.empty() && EqualsNoCase(source->alias, targetName)) {
            target = source;
        }
    }
    if (target != nullptr) {
        return *target;
    }
    int count = 0;
    for (const TableSource* source : all) {
        if (source->kind == TableSource::Kind::Table &&
            EqualsNoCase(source->name.Last(), targetName)) {
            target = source;
            ++count;
        }
    }
    if (count == 0) {
        context.Fail("UPDATE target " + targetName +
                     " does not appear in its FROM clause (every row would be joined to every "
                     "row)");
    }
    if (count > 1) {
        context.Fail("UPDATE target " + targetName + " appears more than once in FROM");
    }
    return *target;
}

} // namespace

Translation Emit(EmitContext& context, const UpdateStatement& statement) {
    if (!statement.from) {
        return EmitPlainUpdate(context, statement);
    }
    Translation result;
    result.kind = Translation::Kind::Command;
    if (statement.target.parts.size() != 1) {
        context.Fail("UPDATE ... FROM needs the target as a single name");
    }
    // The row source is the whole FROM clause; the target is the one source of it that the
    // UPDATE names.
    NameScope scope(nullptr);
    const std::string from = EmitFrom(context, *statement.from, scope);
    const std::string& targetName = statement.target.Last();
    const TableSource& target = FindTarget(context, *statement.from, targetName);
    if (target.kind != TableSource::Kind::Table || IsSysName(target.name) ||
        (target.name.parts.size() == 1 && context.IsCte(target.name.Last()))) {
        context.Fail("UPDATE target " + targetName + " is not a table");
    }
    const std::string table = context.TableSql(target.name);
    const Source* targetSource = FindSource(scope, target.ExposedName());
    // The row's own address: SQLite's rowid, PostgreSQL's ctid (stable within the statement).
    const std::string rowAddress = CurrentDialect() == SqlDialect::Postgres ? ".ctid" : ".rowid";
    std::string select = "SELECT " + QualifierSql(target.ExposedName()) + rowAddress + " AS __rid";
    std::string sets;
    for (std::size_t i = 0; i < statement.assignments.size(); ++i) {
        const Assignment& assignment = statement.assignments[i];
        const std::string& column = CheckSetColumn(context, assignment.column, target);
        const TypedSql value = AssignedValue(context, assignment, column, targetSource, scope);
        const std::string valueName = "__v" + std::to_string(i + 1);
        select += ", " + value.sql + " AS " + valueName;
        sets += (i == 0 ? "" : ", ") + SqliteIdentifier(column) + " = __src." + valueName;
    }
    select += " FROM " + from;
    if (statement.where) {
        select += " WHERE " + EmitExpr(context, *statement.where, scope).sql;
    }
    const std::string targetRef = SqliteIdentifier(target.name.Last());
    result.sql = "UPDATE " + table + " SET " + sets + " FROM (" + select + ") AS __src WHERE " +
                 targetRef + rowAddress + " = __src.__rid";
    return result;
}

} // namespace kvad::db::tsql
