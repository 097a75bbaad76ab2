// INSERT INTO table [(columns)] VALUES (...), ... or INSERT INTO table [(columns)] SELECT ...

#include <string>
#include <vector>

#include "expr_emitter.h"
#include "kvad_nso/text.h"
#include "query_emitter.h"
#include "statement_emitter.h"

namespace kvad::db::tsql {

namespace {

// Without a column list every column but the identity takes a value.
std::vector<std::string> TargetNames(EmitContext& context, const InsertStatement& statement,
                                     const ColumnList* tableColumns) {
    if (!statement.columns.empty()) {
        return statement.columns;
    }
    if (tableColumns == nullptr) {
        context.Fail("table " + statement.table.Last() + " not found");
    }
    std::vector<std::string> names;
    for (const ColumnInfo& column : tableColumns->columns) {
        if (!column.identity) {
            names.push_back(column.name);
        }
    }
    return names;
}

// The declared column of each name, where known (the last of equal names).
std::vector<const ColumnInfo*> TargetColumns(const std::vector<std::string>& names,
                                             const ColumnList* tableColumns) {
    std::vector<const ColumnInfo*> targets;
    for (const std::string& name : names) {
        const ColumnInfo* info = nullptr;
        if (tableColumns != nullptr) {
            for (const ColumnInfo& column : tableColumns->columns) {
                if (EqualsNoCase(column.name, name)) {
                    info = &column;
                }
            }
        }
        targets.push_back(info);
    }
    return targets;
}

// VALUES (...), ...: text literals are read as the type of the column they go into.
std::string EmitValues(EmitContext& context, const InsertStatement& statement,
                       const std::vector<std::string>& names,
                       const std::vector<const ColumnInfo*>& targets) {
    NameScope scope(nullptr);
    std::string sql = " VALUES ";
    for (std::size_t r = 0; r < statement.rows.size(); ++r) {
        const auto& row = statement.rows[r];
        if (row.size() != names.size()) {
            context.Fail("Column name or number of supplied values does not match table "
                         "definition.");
        }
        sql += (r == 0 ? "(" : ", (");
        for (std::size_t i = 0; i < row.size(); ++i) {
            const ValueClass target = targets[i] != nullptr ? targets[i]->cls : ValueClass::Unknown;
            sql += (i == 0 ? "" : ", ") +
                   CoerceTo(*row[i], EmitExpr(context, *row[i], scope), target).sql;
        }
        sql += ")";
    }
    return sql;
}

} // namespace

Translation Emit(EmitContext& context, const InsertStatement& statement) {
    Translation result;
    result.kind = Translation::Kind::Command;
    const std::string table = context.TableSql(statement.table);
    // The table's columns are needed without a column list and for text values going into
    // date or number columns.
    bool anyString = false;
    for (const auto& row : statement.rows) {
        for (const ExprPtr& value : row) {
            anyString = anyString || value->kind == ExprKind::String;
        }
    }
    const ColumnList* tableColumns = nullptr;
    if (statement.columns.empty() || anyString) {
        tableColumns = context.TableColumns(statement.table.Last());
    }
    const std::vector<std::string> names = TargetNames(context, statement, tableColumns);
    const std::vector<const ColumnInfo*> targets = TargetColumns(names, tableColumns);
    std::string sql = "INSERT INTO " + table + " (";
    for (std::size_t i = 0; i < names.size(); ++i) {
        sql += (i == 0 ? "" : ", ") + SqliteIdentifier(names[i]);
    }
    sql += ")";
    if (statement.query) {
        ColumnList columns;
        if (statement.query->cores.size() == 1) {
            context.SetInsertedCore(&statement.query->cores.front());
        }
        sql += " " + EmitQuery(context, *statement.query, nullptr, columns);
        context.SetInsertedCore(nullptr);
        if (columns.complete && columns.columns.size() != names.size()) {
            context.Fail("the SELECT of INSERT gives " + std::to_string(columns.columns.size()) +
                         " columns for " + std::to_string(names.size()));
        }
    } else {
        sql += EmitValues(context, statement, names, targets);
    }
    result.sql = std::move(sql);
    return result;
}

} // namespace kvad::db::tsql
