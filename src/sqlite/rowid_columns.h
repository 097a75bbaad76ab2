#pragma once
// Adding hidden rowid columns to a SELECT, so that rows of a working recordset can be located
// in their base tables even when the query selects no key (temporary tables have none).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvad::db {

/// A table that result columns come from, as SQLite's column metadata names it.
struct TableSource {
    std::string schema; ///< "main" or "temp"
    std::string table;  ///< "IE91_NSOFILES", "#TEMP_ORD"
};

/// The statement with the rowid columns appended to its select list.
struct RowidQuery {
    std::string sql;
    /// For each source, the position among the appended columns (0 for the first appended
    /// column), or -1 when its rowid could not be added.
    std::vector<int> appendedIndex;
};

/// Appends "<qualifier>.rowid" for every source that the main SELECT of `sql` names exactly
/// once in its FROM clause. Returns nullopt when the statement is not a plain SELECT over
/// tables (compound, DISTINCT, GROUP BY, no FROM) or no source can be found.
[[nodiscard]] std::optional<RowidQuery> AddRowidColumns(std::string_view sql,
                                                        const std::vector<TableSource>& sources);

/// Appends "<qualifier>.rowid" for every table that the main SELECT of `sql` names in its FROM
/// clause, in the order named (appendedIndex counts them); which table each one reads is left
/// to the prepared statement's column metadata. Nullopt as for AddRowidColumns.
[[nodiscard]] std::optional<RowidQuery> AddRowidColumnsOfAllTables(std::string_view sql);

} // namespace kvad::db
