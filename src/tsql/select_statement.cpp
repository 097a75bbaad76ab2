// SELECT and WITH ... SELECT: the rows, with the types of the result columns as hints.

#include <map>
#include <string>

#include "kvad_nso/text.h"
#include "query_emitter.h"
#include "statement_emitter.h"

namespace kvad::db::tsql {

Translation Emit(EmitContext& context, const SelectStatement& statement) {
    Translation result;
    ColumnList columns;
    result.sql = EmitQuery(context, *statement.query, nullptr, columns);
    result.kind = Translation::Kind::Query;
    // The types also help the reader of a query where SQLite declares none (computed columns);
    // a name given to columns of different types gets no hint.
    std::map<std::string, std::string> seen;
    for (const ColumnInfo& column : columns.columns) {
        const std::string key = AsciiUpper(column.name);
        if (column.name.empty() || column.type.empty() || seen.contains(key)) {
            if (seen.contains(key) && seen[key] != column.type) {
                std::erase_if(result.columnTypes,
                              [&key](const auto& entry) { return AsciiUpper(entry.first) == key; });
            }
            continue;
        }
        seen[key] = column.type;
        result.columnTypes[column.name] = column.type;
    }
    result.readsCatalogue = context.ReadsCatalogue();
    return result;
}

} // namespace kvad::db::tsql
