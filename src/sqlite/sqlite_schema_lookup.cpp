#include "sqlite_schema_lookup.h"

#include <sqlite3.h>

#include "quote_identifier.h"
#include "sqlite_statement.h"

namespace kvad::db {

namespace {

std::string_view UnquoteNamePart(std::string_view part) {
    if (part.size() >= 2 && ((part.front() == '[' && part.back() == ']') ||
                             (part.front() == '"' && part.back() == '"'))) {
        return part.substr(1, part.size() - 2);
    }
    return part;
}

} // namespace

SqliteTableRef ResolveTableName(std::string_view tsqlName) {
    std::string_view name = tsqlName;
    while (!name.empty() && name.front() == ' ') {
        name.remove_prefix(1);
    }
    while (!name.empty() && name.back() == ' ') {
        name.remove_suffix(1);
    }
    // Keep only the last part of a dotted name (database.owner.table, owner.table).
    std::string_view last = name;
    bool inQuote = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '[' || c == '"') {
            inQuote = c == '[' || !inQuote;
        } else if (c == ']') {
            inQuote = false;
        } else if (c == '.' && !inQuote) {
            last = name.substr(i + 1);
        }
    }
    const std::string table(UnquoteNamePart(last));
    const bool temporary = !table.empty() && table.front() == '#';
    return SqliteTableRef{temporary ? "temp" : "main", table};
}

std::vector<CatalogueColumn> CatalogueColumns(sqlite3* db, const SqliteTableRef& table) {
    Statement stmt(db, "SELECT name, type, pk FROM pragma_table_info(?1, ?2)");
    stmt.Bind(1, Variant(table.table), ValueKind::Text);
    stmt.Bind(2, Variant(table.schema), ValueKind::Text);
    std::vector<CatalogueColumn> columns;
    while (stmt.Step()) {
        CatalogueColumn column;
        column.name = stmt.Column(0, ValueKind::Text).Text();
        column.declType = stmt.Column(1, ValueKind::Text).Text();
        column.primaryKeyOrder = sqlite3_column_int(stmt.Get(), 2);
        columns.push_back(std::move(column));
    }
    return columns;
}

std::optional<std::vector<ColumnDecl>> SqliteSchemaLookup::TableColumns(std::string_view table) {
    if (cache_ == nullptr) {
        return ReadColumns(table);
    }
    const std::string name(table);
    const auto kept = cache_->byName.find(name);
    if (kept != cache_->byName.end() && kept->second.generation == generation_) {
        return kept->second.columns;
    }
    std::optional<std::vector<ColumnDecl>> columns = ReadColumns(table);
    if (cache_->byName.size() >= TableColumnCache::kCapacity) {
        cache_->byName.clear();
    }
    cache_->byName.insert_or_assign(name, TableColumnCache::Kept{generation_, columns});
    return columns;
}

std::optional<std::vector<ColumnDecl>> SqliteSchemaLookup::ReadColumns(std::string_view table) {
    const std::vector<CatalogueColumn> columns = CatalogueColumns(db_, ResolveTableName(table));
    if (columns.empty()) {
        return std::nullopt;
    }
    int keyColumns = 0;
    for (const CatalogueColumn& column : columns) {
        keyColumns += column.primaryKeyOrder > 0 ? 1 : 0;
    }
    std::vector<ColumnDecl> result;
    result.reserve(columns.size());
    for (const CatalogueColumn& column : columns) {
        // An INTEGER PRIMARY KEY is SQLite's rowid: the database assigns it on insert.
        const bool identity = keyColumns == 1 && column.primaryKeyOrder == 1 &&
                              EqualsNoCase(column.declType, "INTEGER");
        result.push_back(ColumnDecl{column.name, column.declType, identity});
    }
    return result;
}

} // namespace kvad::db
