#pragma once
// The rows of a result held in memory, with what is known of where each column comes from.
// Working recordsets and their clones share one RowSet.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kvad_nso/variant.h"
#include "value_codec.h"

struct sqlite3;

namespace kvad::db {

/// The translator's declared type for a result column, by name (case-insensitive), or null.
[[nodiscard]] const std::string* FindTypeHint(const std::map<std::string, std::string>& hints,
                                              std::string_view name);

/// One visible column of a result.
struct ResultColumn {
    std::string name;
    std::string declType; ///< declared T-SQL type, "" for an untyped expression
    ValueKind kind = ValueKind::ByStorage;
    int baseTable = -1;       ///< index into RowSet::tables, -1 for an expression
    std::string originColumn; ///< the column's name in its base table
};

/// A table that result columns come from.
struct BaseTable {
    std::string schema; ///< "main" or "temp"
    std::string name;   ///< as declared ("IE93_NSOTESTATA", "#TEMP_ORD")
    /// Result columns holding the table's primary key, used to locate rows when their rowid
    /// could not be read; empty when the key is not (entirely) in the result.
    std::vector<int> keyColumns;
    /// Whether the table has a rowid: -1 not known yet, 0 no (WITHOUT ROWID), 1 yes.
    int rowidState = -1;

    /// The table's name for SQLite statements (temp."#TEMP_ORD").
    [[nodiscard]] std::string QualifiedName() const;
};

/// One row: its values and, per base table, the rowid it has there (when known).
struct Row {
    std::vector<Variant> values;
    std::vector<std::optional<std::int64_t>> rowids;
};

/// A result in memory.
struct RowSet {
    std::vector<ResultColumn> columns;
    std::vector<BaseTable> tables;
    std::vector<Row> rows;
    /// Dynamic property "Unique Table": index of the one table that updates go to, or -1.
    int uniqueTable = -1;
    std::string uniqueTableName;

    /// The first column of that name (case-insensitive).
    [[nodiscard]] std::optional<int> FindColumn(std::string_view name) const;
    /// The base table of that name (brackets and owner allowed), or -1.
    [[nodiscard]] int FindTable(std::string_view name) const;
    /// Rebuilds the name index after the columns changed.
    void IndexColumns();

  private:
    std::unordered_map<std::string, int> byName_;
};

/// Runs a query and reads all its rows. `typeHints` gives declared types of computed columns
/// by name. With `locateRows`, the base tables of the columns are recorded and the rowid of
/// each row in them is read alongside, invisibly, so that rows can be written back.
/// Throws DbError.
[[nodiscard]] RowSet LoadRowSet(sqlite3* db, const std::string& sql,
                                const std::map<std::string, std::string>& typeHints,
                                bool locateRows);

} // namespace kvad::db
