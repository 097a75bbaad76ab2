// SELECT ... INTO table: the query whose rows fill the new table, and the declared type of
// every column the statement itself decides.

#include "query_emitter.h"
#include "statement_emitter.h"

namespace kvad::db::tsql {

Translation Emit(EmitContext& context, const SelectIntoStatement& statement) {
    Translation result;
    ColumnList columns;
    context.SetNeedTypes(true);
    result.sql = EmitQuery(context, *statement.query, nullptr, columns);
    if (statement.table.parts.size() != 1) {
        context.Fail("SELECT INTO is supported only into a table of this database");
    }
    result.kind = Translation::Kind::SelectInto;
    result.intoTable = statement.table.Last();
    for (const ColumnInfo& column : columns.columns) {
        if (column.name.empty()) {
            context.Fail("SELECT INTO needs a name for every column");
        }
        if (!column.type.empty()) {
            result.columnTypes[column.name] = column.type;
        }
    }
    result.readsCatalogue = context.ReadsCatalogue();
    return result;
}

} // namespace kvad::db::tsql
