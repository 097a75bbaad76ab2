#pragma once
// What the T-SQL translator asks about the database, answered from SQLite's catalogue.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/tsql_translator.h"

struct sqlite3;

namespace kvad::db {

/// A table's location in SQLite: its schema ("main" or "temp") and its name.
struct SqliteTableRef {
    std::string schema;
    std::string table;
};

/// Where a T-SQL table name lives: "#X" (also "tempdb..#X") in temp, other names in main;
/// brackets, quotes and a "dbo." owner are dropped.
[[nodiscard]] SqliteTableRef ResolveTableName(std::string_view tsqlName);

/// A column as SQLite's catalogue declares it.
struct CatalogueColumn {
    std::string name;
    std::string declType;
    int primaryKeyOrder = 0; ///< 1-based position in the primary key, 0 outside it
};

/// The columns of a table in declaration order; empty when the table does not exist.
[[nodiscard]] std::vector<CatalogueColumn> CatalogueColumns(sqlite3* db,
                                                            const SqliteTableRef& table);

/// Columns of tables and temporary tables with their declared types and identity flag.
class SqliteSchemaLookup final : public SchemaLookup {
  public:
    explicit SqliteSchemaLookup(sqlite3* db) noexcept : db_(db) {}

    [[nodiscard]] std::optional<std::vector<ColumnDecl>>
    TableColumns(std::string_view table) override;

  private:
    sqlite3* db_;
};

} // namespace kvad::db
