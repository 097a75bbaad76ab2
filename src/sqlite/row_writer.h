#pragma once
// Writing a recordset row back to its base tables with bound parameters: changed columns of a
// stored row (UPDATE located by rowid or primary key) and new rows (INSERT, then the row read
// back so that the identity and the defaults are visible). The statements are kept by the
// connection and used again for the next row.

#include <cstddef>
#include <utility>
#include <vector>

#include "kvad_nso/variant.h"
#include "row_set.h"
#include "statement_cache.h"

namespace kvad::db {

/// The values given for a row's columns, by column index, in column order. A row gets a few
/// dozen at most, and a recordset clears and fills the same one for every row it writes: a
/// sorted vector keeps its room between rows, where a map took a node for every value.
class ColumnValues {
  public:
    using value_type = std::pair<int, Variant>;
    using const_iterator = std::vector<value_type>::const_iterator;

    /// The value of `column`, added as Empty when it has none yet.
    Variant& operator[](int column);
    /// The value of `column`; throws std::out_of_range when it has none.
    [[nodiscard]] const Variant& at(int column) const;
    /// The entry of `column`, or end().
    [[nodiscard]] const_iterator find(int column) const;

    [[nodiscard]] const_iterator begin() const noexcept { return values_.begin(); }
    [[nodiscard]] const_iterator end() const noexcept { return values_.end(); }
    [[nodiscard]] std::size_t size() const noexcept { return values_.size(); }
    [[nodiscard]] bool empty() const noexcept { return values_.empty(); }
    /// Forgets the values, keeping the room they took.
    void clear() noexcept { values_.clear(); }

  private:
    std::vector<value_type> values_;
};

/// Writes `changes` (column index -> new value) of `row`, only to the "Unique Table" when the
/// set has one (changes of other tables' columns are kept in the row but not written), and
/// stores the values as the database holds them afterwards. Several tables are written
/// together or not at all. Throws DbError.
void WriteRowChanges(const StatementSource& source, RowSet& set, Row& row,
                     const ColumnValues& changes);

/// Inserts a new row made of `values` into its base table (the "Unique Table" when set; else
/// every table that a value was given for) and fills `row` with the inserted row as read back.
/// `row` is the new row as its recordset holds it: every value of `values` already in it, Null
/// where the value given is Empty. With `readBack` false the row keeps the values given and
/// the rowid (and the INTEGER PRIMARY KEY column that is the rowid), and is marked for
/// ReadBackInserted to read on its first use. Throws DbError, leaving `row` as it was.
void InsertRow(const StatementSource& source, RowSet& set, Row& row, const ColumnValues& values,
               bool readBack = true);

/// Reads back the values of a row InsertRow left unread (its identity, defaults and the values
/// as the database converted them); nothing when it has none. A row no longer there keeps the
/// values given. Throws DbError.
void ReadBackInserted(const StatementSource& source, RowSet& set, Row& row);

/// Whether reading `column` of `row` needs ReadBackInserted first: the row has tables unread,
/// and the column is not the rowid of its table.
[[nodiscard]] bool NeedsReadBack(const RowSet& set, const Row& row, std::size_t column);

} // namespace kvad::db
