// DROP TABLE, also in the IF OBJECT_ID(...) form that drops only a table that exists.

#include "statement_emitter.h"

namespace kvad::db::tsql {

Translation Emit(EmitContext& context, const DropStatement& statement) {
    Translation result;
    result.kind = Translation::Kind::Command;
    const std::string table = context.TableSql(statement.table);
    if (statement.ifExists) {
        result.sql = "DROP TABLE IF EXISTS " + table;
        if (!context.TableExists(statement.table.Last())) {
            result.kind = Translation::Kind::Nothing;
        }
        return result;
    }
    result.sql = "DROP TABLE " + table;
    return result;
}

} // namespace kvad::db::tsql
