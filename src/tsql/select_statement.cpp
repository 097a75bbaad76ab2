// SELECT and WITH ... SELECT: the rows, with the types of the result columns as hints.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "from_emitter.h"
#include "kvad_nso/text.h"
#include "query_emitter.h"
#include "statement_emitter.h"
#include "typed_sql.h"

namespace kvad::db::tsql {

namespace {

/// FNV-1a of the text, in hexadecimal: a name that stays the same for the same text.
std::string HashName(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    static constexpr std::string_view kDigits = "0123456789abcdef";
    std::string name(16, '0');
    for (std::size_t i = 16; i-- > 0; hash >>= 4U) {
        name[i] = kDigits[hash & 15U];
    }
    return name;
}

/// The index that gives the rows of a query over a working table in its ORDER BY: the query
/// is one SELECT whose FROM starts with a "#X" table, joined (if at all) by LEFT JOINs only,
/// which keep that table the outer one; the ORDER BY names columns only, unqualified or of
/// that table. Empty for any other query.
std::string OrderIndex(const QueryExpr& query) {
    if (query.cores.size() != 1 || query.orderBy.empty() || !query.ctes.empty()) {
        return {};
    }
    const SelectCore& core = query.cores.front();
    if (core.distinct || !core.groupBy.empty() || core.having || !core.from ||
        !IsWorkingTable(core.from->first)) {
        return {};
    }
    for (const Join& join : core.from->joins) {
        if (join.type != JoinType::Left) {
            return {};
        }
    }
    const TableSource& table = core.from->first;
    std::string columns;
    for (const OrderItem& item : query.orderBy) {
        const Expr& expr = *item.expr;
        if (expr.kind != ExprKind::Column || expr.name.parts.empty() ||
            expr.name.parts.size() > 2 ||
            (expr.name.parts.size() == 2 &&
             !EqualsNoCase(expr.name.parts[0], table.ExposedName()))) {
            return {};
        }
        columns += (columns.empty() ? "" : ", ") + SqliteIdentifier(expr.name.Last()) +
                   (item.descending ? " DESC" : "");
    }
    const std::string& name = table.name.Last();
    return "CREATE INDEX IF NOT EXISTS temp." +
           SqliteIdentifier("kvad_order$" + HashName(name + "(" + columns)) + " ON " +
           SqliteIdentifier(name) + " (" + columns + ")";
}

} // namespace

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
    if (CurrentDialect() == SqlDialect::Sqlite) {
        result.orderIndex = OrderIndex(*statement.query);
    }
    return result;
}

} // namespace kvad::db::tsql
