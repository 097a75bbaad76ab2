#include "row_writer.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "kvad_nso/errors.h"
#include "quote_identifier.h"
#include "savepoint.h"
#include "sqlite_error.h"
#include "sqlite_statement.h"
#include "value_codec.h"

namespace kvad::db {

namespace {

/// The first entry of `values` (sorted by column) whose column is not below `column`.
template <class Entries> auto LowerBound(Entries& values, int column) {
    return std::lower_bound(
        values.begin(), values.end(), column,
        [](const ColumnValues::value_type& entry, int c) { return entry.first < c; });
}

} // namespace

Variant& ColumnValues::operator[](int column) {
    auto at = LowerBound(values_, column);
    if (at == values_.end() || at->first != column) {
        at = values_.emplace(at, column, Variant());
    }
    return at->second;
}

const Variant& ColumnValues::at(int column) const {
    const auto found = find(column);
    if (found == end()) {
        throw std::out_of_range("ColumnValues::at: no value for that column");
    }
    return found->second;
}

ColumnValues::const_iterator ColumnValues::find(int column) const {
    const auto at = LowerBound(values_, column);
    return at != values_.end() && at->first == column ? at : values_.end();
}

namespace {

[[noreturn]] void Fail(const std::string& message, const std::string& sql = {}) {
    throw DbError(message, "HY000", sql, kProviderSource);
}

/// How one row is found in one table: by rowid, or by its key columns' values.
struct Locator {
    std::optional<std::int64_t> rowid;
    std::vector<std::pair<Variant, ValueKind>> keyValues;
    std::string where;

    /// Binds the locator's parameters from `first` on.
    void Bind(Statement& stmt, int first) const {
        if (rowid) {
            stmt.BindInt64(first, *rowid);
            return;
        }
        for (const auto& [value, kind] : keyValues) {
            stmt.Bind(first++, value, kind);
        }
    }
};

/// Locates `row` in table `t`, reading key values through `valueOf` (so that the new key
/// can be used after an update that changed it).
template <class ValueOf> Locator Locate(const RowSet& set, int t, const Row& row, ValueOf valueOf) {
    Locator locator;
    const BaseTable& table = set.tables[static_cast<std::size_t>(t)];
    if (row.rowids[static_cast<std::size_t>(t)]) {
        locator.rowid = row.rowids[static_cast<std::size_t>(t)];
        locator.where = "rowid = ?";
        return locator;
    }
    if (table.keyColumns.empty()) {
        Fail("Insufficient key column information for updating or refreshing.");
    }
    for (int column : table.keyColumns) {
        const Variant value = valueOf(column);
        if (value.IsNull() || value.IsEmpty()) {
            Fail("Row cannot be located for updating. Some values may have been changed since "
                 "it was last read.");
        }
        const ResultColumn& info = set.columns[static_cast<std::size_t>(column)];
        if (!locator.where.empty()) {
            locator.where += " AND ";
        }
        locator.where += info.quotedOrigin + " = ?";
        locator.keyValues.emplace_back(value, info.kind);
    }
    return locator;
}

/// The result columns that come from table `t`.
std::vector<int> ColumnsOf(const RowSet& set, int t) {
    std::vector<int> columns;
    for (std::size_t c = 0; c < set.columns.size(); ++c) {
        if (set.columns[c].baseTable == t) {
            columns.push_back(static_cast<int>(c));
        }
    }
    return columns;
}

/// Reads the listed columns of the located row back into `row`; false when it is not there.
bool ReadBack(const StatementSource& source, const RowSet& set, int t, const Locator& locator,
              const std::vector<int>& columns, Row& row) {
    if (columns.empty()) {
        return true;
    }
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        sql += (i > 0 ? ", " : "");
        sql += set.columns[static_cast<std::size_t>(columns[i])].quotedOrigin;
    }
    sql += " FROM " + set.tables[static_cast<std::size_t>(t)].QualifiedName() + " WHERE " +
           locator.where;
    Statement stmt = source.Prepare(sql);
    locator.Bind(stmt, 1);
    if (!stmt.Step()) {
        return false;
    }
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto column = static_cast<std::size_t>(columns[i]);
        row.Set(column, stmt.Column(static_cast<int>(i), set.columns[column].kind));
    }
    return true;
}

bool HasRowid(const StatementSource& source, BaseTable& table) {
    if (table.rowidState < 0) {
        try {
            const Statement probe =
                source.Prepare("SELECT rowid FROM " + table.QualifiedName() + " LIMIT 0");
            table.rowidState = 1;
        } catch (const DbError&) {
            table.rowidState = 0;
        }
    }
    return table.rowidState == 1;
}

/// Completes `updated` with what table `t` stored in `columns` of `row` by an UPDATE of
/// `changes`. A value the column keeps as bound (Null, a whole number in a numeric column) is
/// what reading it back would give, unless the table may store another value (a trigger, a
/// conflict clause, or a table not known of); the others are read back, or taken as given when
/// the row is no longer found.
void TakeWritten(const StatementSource& source, const RowSet& set, int t, const Row& row,
                 const std::vector<int>& columns, const ColumnValues& changes, Row& updated) {
    std::vector<int> converted;
    const bool rewritten = set.tables[static_cast<std::size_t>(t)].rewriteState != 0;
    for (int column : columns) {
        const ResultColumn& info = set.columns[static_cast<std::size_t>(column)];
        const auto stored =
            rewritten ? std::nullopt
                      : StoredAsBound(changes.at(column), info.kind, info.keepsWholeNumbers);
        if (stored) {
            updated.Set(static_cast<std::size_t>(column), DecodeValue(*stored, info.kind));
        } else {
            converted.push_back(column);
        }
    }
    if (converted.empty()) {
        return;
    }
    const Locator after = Locate(set, t, row, [&](int c) {
        const auto changed = changes.find(c);
        return changed != changes.end() ? changed->second
                                        : set.ValueOf(row, static_cast<std::size_t>(c));
    });
    if (!ReadBack(source, set, t, after, converted, updated)) {
        for (int column : converted) {
            updated.Set(static_cast<std::size_t>(column), changes.at(column));
        }
    }
}

/// Splits values by the table they are written to; values that are not written (other tables
/// under "Unique Table") go to `localOnly`. A computed column cannot be written.
std::map<int, std::vector<int>> TargetsOf(const RowSet& set, const ColumnValues& values,
                                          std::vector<int>& localOnly, bool skipNulls) {
    std::map<int, std::vector<int>> targets;
    for (const auto& [column, value] : values) {
        const ResultColumn& info = set.columns[static_cast<std::size_t>(column)];
        if (set.uniqueTable >= 0 && info.baseTable != set.uniqueTable) {
            localOnly.push_back(column);
            continue;
        }
        if (info.baseTable < 0) {
            if (skipNulls && (value.IsNull() || value.IsEmpty())) {
                localOnly.push_back(column);
                continue;
            }
            Fail("The field '" + info.name +
                 "' cannot be updated: the query computes it, it is not a column of a table.");
        }
        std::vector<int>& columns = targets[info.baseTable];
        if (columns.empty()) {
            columns.reserve(values.size());
        }
        columns.push_back(column);
    }
    return targets;
}

std::string ColumnList(const RowSet& set, const std::vector<int>& columns, std::string_view suffix,
                       std::string_view separator) {
    std::string text;
    text.reserve(columns.size() * 32);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) {
            text += separator;
        }
        text += set.columns[static_cast<std::size_t>(columns[i])].quotedOrigin;
        text += suffix;
    }
    return text;
}

/// Tables past this index are always read back at once: the row marks unread tables in 64 bits.
constexpr std::size_t kMaxUnreadTables = 64;

/// The INSERT of the listed columns into `table`, one parameter each.
std::string InsertSql(const RowSet& set, const BaseTable& table, const std::vector<int>& columns) {
    std::string sql = "INSERT INTO " + table.QualifiedName();
    if (columns.empty()) {
        return sql + " DEFAULT VALUES";
    }
    std::string marks;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        marks += i > 0 ? ", ?" : "?";
    }
    return sql + " (" + ColumnList(set, columns, "", ", ") + ") VALUES (" + marks + ")";
}

/// The INSERT of the listed columns into table `t`, made once for the set and kept for the
/// rows that come after with the same columns.
const KeptInsert& InsertFor(RowSet& set, int t, const std::vector<int>& columns) {
    constexpr std::size_t kKept = 16;
    for (auto kept = set.inserts.rbegin(); kept != set.inserts.rend(); ++kept) {
        if ((*kept)->table == t && (*kept)->columns == columns) {
            return **kept;
        }
    }
    if (set.inserts.size() >= kKept) {
        set.inserts.erase(set.inserts.begin());
    }
    auto made = std::make_unique<KeptInsert>();
    made->table = t;
    made->columns = columns;
    made->sql = InsertSql(set, set.tables[static_cast<std::size_t>(t)], columns);
    made->hash = TextKey::Of(made->sql).hash;
    set.inserts.push_back(std::move(made));
    return *set.inserts.back();
}

/// Marks table `t` of a row just inserted as not read back, with its INTEGER PRIMARY KEY set
/// from the rowid; false when the row cannot mark that table.
bool LeaveUnread(const BaseTable& table, int t, Row& inserted) {
    const auto index = static_cast<std::size_t>(t);
    if (index >= kMaxUnreadTables) {
        return false;
    }
    if (table.rowidAlias >= 0 && inserted.rowids[index]) {
        inserted.Set(static_cast<std::size_t>(table.rowidAlias),
                     WholeNumber(*inserted.rowids[index]));
    }
    inserted.unreadTables |= std::uint64_t{1} << index;
    return true;
}

/// InsertRow's usual case: one table, the row left unread. The row is written as it stands
/// (it holds the values given, Null for Empty) and then completed in place, with no copy: until
/// the INSERT has run the row is unchanged, and nothing after it can fail.
void InsertIntoOneTable(const StatementSource& source, RowSet& set, Row& row,
                        const ColumnValues& values, int t, const std::vector<int>& columns) {
    row.values.resize(set.columns.size(), Variant::Null());
    row.rowids.resize(set.tables.size());
    BaseTable& table = set.tables[static_cast<std::size_t>(t)];
    const KeptInsert& insert = InsertFor(set, t, columns);
    Statement stmt = source.Prepare(TextKey{insert.sql, insert.hash});
    int index = 1;
    auto value = values.begin(); // `columns` is an ascending part of the values' columns
    for (const int column : columns) {
        while (value->first != column) {
            ++value;
        }
        stmt.Bind(index++, value->second, set.columns[static_cast<std::size_t>(column)].kind,
                  TextLife::OutlivesStatement);
    }
    stmt.Run();
    for (const auto& [column, given] : values) {
        if (given.IsEmpty()) {
            row.Set(static_cast<std::size_t>(column), given);
        }
    }
    if (HasRowid(source, table)) {
        row.rowids[static_cast<std::size_t>(t)] = sqlite3_last_insert_rowid(source.db);
    }
    if (row.rowids[static_cast<std::size_t>(t)] || !table.keyColumns.empty()) {
        (void)LeaveUnread(table, t, row);
    }
}

} // namespace

void ReadBackInserted(const StatementSource& source, RowSet& set, Row& row) {
    set.NoteEdit();
    const std::uint64_t unread = row.unreadTables;
    row.unreadTables = 0;
    for (std::size_t t = 0; t < set.tables.size() && t < kMaxUnreadTables; ++t) {
        if ((unread & (std::uint64_t{1} << t)) == 0) {
            continue;
        }
        const int table = static_cast<int>(t);
        const Locator locator = Locate(
            set, table, row, [&](int c) { return set.ValueOf(row, static_cast<std::size_t>(c)); });
        (void)ReadBack(source, set, table, locator, ColumnsOf(set, table), row);
    }
}

bool NeedsReadBack(const RowSet& set, const Row& row, std::size_t column) {
    if (row.unreadTables == 0) {
        return false;
    }
    const int table = set.columns[column].baseTable;
    return table < 0 ||
           set.tables[static_cast<std::size_t>(table)].rowidAlias != static_cast<int>(column);
}

void WriteRowChanges(const StatementSource& source, RowSet& set, Row& row,
                     const ColumnValues& changes) {
    // Only the changed columns of the row are written.
    for (const auto& change : changes) {
        set.NoteEditOf(static_cast<std::size_t>(change.first));
    }
    std::vector<int> localOnly;
    const auto targets = TargetsOf(set, changes, localOnly, false);
    std::optional<Savepoint> together;
    if (targets.size() > 1) {
        together.emplace(source.db, "kvad_row_update");
    }
    Row updated = row;
    for (const auto& [t, columns] : targets) {
        const Locator before = Locate(
            set, t, row, [&](int c) { return set.ValueOf(row, static_cast<std::size_t>(c)); });
        const std::string sql = "UPDATE " +
                                set.tables[static_cast<std::size_t>(t)].QualifiedName() + " SET " +
                                ColumnList(set, columns, " = ?", ", ") + " WHERE " + before.where;
        Statement stmt = source.Prepare(sql);
        int index = 1;
        for (int column : columns) {
            stmt.Bind(index++, changes.at(column),
                      set.columns[static_cast<std::size_t>(column)].kind);
        }
        before.Bind(stmt, index);
        stmt.Run();
        if (sqlite3_changes(source.db) != 1) {
            Fail("Row cannot be located for updating. Some values may have been changed since it "
                 "was last read.",
                 sql);
        }
        TakeWritten(source, set, t, row, columns, changes, updated);
    }
    if (together) {
        together->Release();
    }
    for (int column : localOnly) {
        updated.Set(static_cast<std::size_t>(column), changes.at(column));
    }
    row = std::move(updated);
}

void InsertRow(const StatementSource& source, RowSet& set, Row& row, const ColumnValues& values,
               bool readBack) {
    set.NoteEdit();
    std::vector<int> localOnly;
    auto targets = TargetsOf(set, values, localOnly, true);
    if (set.uniqueTable >= 0) {
        targets.try_emplace(set.uniqueTable);
    } else if (targets.empty() && set.tables.size() == 1) {
        targets.try_emplace(0);
    }
    if (targets.empty()) {
        Fail("Insufficient base table information for updating or refreshing.");
    }
    if (targets.size() == 1 && !readBack &&
        static_cast<std::size_t>(targets.begin()->first) < kMaxUnreadTables) {
        InsertIntoOneTable(source, set, row, values, targets.begin()->first,
                           targets.begin()->second);
        return;
    }
    std::optional<Savepoint> together;
    if (targets.size() > 1) {
        together.emplace(source.db, "kvad_row_insert");
    }
    Row inserted = row;
    inserted.values.resize(set.columns.size(), Variant::Null());
    inserted.rowids.resize(set.tables.size());
    for (const auto& [t, columns] : targets) {
        BaseTable& table = set.tables[static_cast<std::size_t>(t)];
        const KeptInsert& insert = InsertFor(set, t, columns);
        Statement stmt = source.Prepare(TextKey{insert.sql, insert.hash});
        int index = 1;
        for (int column : columns) {
            // `values` outlives the statement, which clears its bindings when given back: its
            // texts are bound without a copy.
            stmt.Bind(index++, values.at(column),
                      set.columns[static_cast<std::size_t>(column)].kind,
                      TextLife::OutlivesStatement);
            inserted.Set(static_cast<std::size_t>(column), values.at(column));
        }
        stmt.Run();
        // The new row's rowid is the connection's last inserted one: no statement finds it.
        if (HasRowid(source, table)) {
            inserted.rowids[static_cast<std::size_t>(t)] = sqlite3_last_insert_rowid(source.db);
        }
        if (!inserted.rowids[static_cast<std::size_t>(t)] && table.keyColumns.empty()) {
            continue; // nothing to find the row by: the values stay as given
        }
        if (!readBack && LeaveUnread(table, t, inserted)) {
            continue;
        }
        const Locator locator = Locate(set, t, inserted, [&](int c) {
            return set.ValueOf(inserted, static_cast<std::size_t>(c));
        });
        (void)ReadBack(source, set, t, locator, ColumnsOf(set, t), inserted);
    }
    if (together) {
        together->Release();
    }
    for (int column : localOnly) {
        inserted.Set(static_cast<std::size_t>(column), values.at(column));
    }
    row = std::move(inserted);
}

} // namespace kvad::db
