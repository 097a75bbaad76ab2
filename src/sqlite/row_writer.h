#pragma once
// Writing a recordset row back to its base tables with bound parameters: changed columns of a
// stored row (UPDATE located by rowid or primary key) and new rows (INSERT, then the row read
// back so that the identity and the defaults are visible). The statements are kept by the
// connection and used again for the next row.

#include <map>

#include "kvad_nso/variant.h"
#include "row_set.h"
#include "statement_cache.h"

namespace kvad::db {

/// Writes `changes` (column index -> new value) of `row`, only to the "Unique Table" when the
/// set has one (changes of other tables' columns are kept in the row but not written), and
/// stores the values as the database holds them afterwards. Several tables are written
/// together or not at all. Throws DbError.
void WriteRowChanges(const StatementSource& source, RowSet& set, Row& row,
                     const std::map<int, Variant>& changes);

/// Inserts a new row made of `values` into its base table (the "Unique Table" when set; else
/// every table that a value was given for) and fills `row` with the inserted row as read back.
/// Throws DbError.
void InsertRow(const StatementSource& source, RowSet& set, Row& row,
               const std::map<int, Variant>& values);

} // namespace kvad::db
