#pragma once
// The SQL Server catalogue views the component reads (sys.tables, sys.syscolumns, sys.types,
// sys.columns), as SQLite subqueries over sqlite_schema and pragma_table_info.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvad::db::tsql {

/// A column of a catalogue view: its name and T-SQL type.
struct CatalogueColumn {
    std::string_view name;
    std::string_view type;
};

/// A catalogue view as a SQLite subquery, with its columns.
struct CatalogueView {
    std::string sql;
    std::vector<CatalogueColumn> columns;
};

/// The view for sys.<name> ("tables", "syscolumns", "types", "columns"), nullopt for others.
[[nodiscard]] std::optional<CatalogueView> CatalogueViewFor(std::string_view name);

} // namespace kvad::db::tsql
