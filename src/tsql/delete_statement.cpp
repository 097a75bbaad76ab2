// DELETE FROM table [WHERE ...].

#include "expr_emitter.h"
#include "from_emitter.h"
#include "statement_emitter.h"

namespace kvad::db::tsql {

Translation Emit(EmitContext& context, const DeleteStatement& statement) {
    Translation result;
    result.kind = Translation::Kind::Command;
    NameScope scope(nullptr);
    AddTableSource(context, scope, statement.table, "");
    result.sql = "DELETE FROM " + context.TableSql(statement.table);
    if (statement.where) {
        result.sql += " WHERE " + EmitExpr(context, *statement.where, scope).sql;
    }
    return result;
}

} // namespace kvad::db::tsql
