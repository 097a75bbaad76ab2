#pragma once
// What the T-SQL translator asks about the database, answered from SQLite's catalogue.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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

/// Tables' columns as the translator read them, by table name as written, each with the schema
/// generation it was read at: a connection translates many statements on the same tables.
struct TableColumnCache {
    static constexpr std::size_t kCapacity = 256;
    struct Kept {
        std::uint64_t generation = 0;
        std::optional<std::vector<ColumnDecl>> columns;
    };
    std::unordered_map<std::string, Kept> byName;
};

/// Columns of tables and temporary tables with their declared types and identity flag.
class SqliteSchemaLookup final : public SchemaLookup {
  public:
    explicit SqliteSchemaLookup(sqlite3* db) noexcept : db_(db) {}
    /// Answers from `cache` what was read at schema generation `generation`, and keeps there
    /// what it reads.
    SqliteSchemaLookup(sqlite3* db, TableColumnCache* cache, std::uint64_t generation) noexcept
        : db_(db), cache_(cache), generation_(generation) {}

    [[nodiscard]] std::optional<std::vector<ColumnDecl>>
    TableColumns(std::string_view table) override;

  private:
    [[nodiscard]] std::optional<std::vector<ColumnDecl>> ReadColumns(std::string_view table);

    sqlite3* db_;
    TableColumnCache* cache_ = nullptr;
    std::uint64_t generation_ = 0;
};

} // namespace kvad::db
