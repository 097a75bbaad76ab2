#include "row_set.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"
#include "quote_identifier.h"
#include "rowid_columns.h"
#include "sqlite_schema_lookup.h"
#include "sqlite_statement.h"

namespace kvad::db {

namespace {

/// Queries that carry long literals are not sent twice: their statements are not kept.
bool KeepsStatement(std::string_view sql) {
    return sql.size() <= StatementCache::kMaxSqlLength;
}

std::string TextOrEmpty(const char* text) {
    return text != nullptr ? text : std::string();
}

/// Describes the first `count` columns of a prepared statement; with `locateRows`, also the
/// tables they come from, added to `shape.tables`.
void DescribeColumns(sqlite3_stmt* stmt, int count,
                     const std::map<std::string, std::string>& typeHints, bool locateRows,
                     ResultShape& shape) {
    for (int i = 0; i < count; ++i) {
        ResultColumn column;
        column.name = TextOrEmpty(sqlite3_column_name(stmt, i));
        column.declType = TextOrEmpty(sqlite3_column_decltype(stmt, i));
        if (column.declType.empty()) {
            if (const std::string* hint = FindTypeHint(typeHints, column.name)) {
                column.declType = *hint;
            }
        }
        column.kind = KindOfDeclType(column.declType);
        column.keepsWholeNumbers = KeepsWholeNumbers(column.declType);
        if (locateRows) {
            const char* table = sqlite3_column_table_name(stmt, i);
            const char* schema = sqlite3_column_database_name(stmt, i);
            // A column of a common table expression names the CTE but no schema: it has no
            // table to be written to.
            if (table != nullptr && *table != '\0' && schema != nullptr && *schema != '\0') {
                column.originColumn = TextOrEmpty(sqlite3_column_origin_name(stmt, i));
                column.quotedOrigin = QuoteIdentifier(column.originColumn);
                auto known =
                    std::find_if(shape.tables.begin(), shape.tables.end(), [&](const BaseTable& t) {
                        return t.schema == schema && t.name == table;
                    });
                if (known == shape.tables.end()) {
                    shape.tables.emplace_back(schema, table);
                    known = shape.tables.end() - 1;
                }
                column.baseTable = static_cast<int>(known - shape.tables.begin());
            }
        }
        shape.columns.push_back(std::move(column));
    }
    shape.rowidColumn.assign(shape.tables.size(), -1);
}

/// Records which result columns make up each table's primary key, for tables whose rowid
/// could not be read.
void FindKeyColumns(sqlite3* db, ResultShape& shape) {
    for (std::size_t t = 0; t < shape.tables.size(); ++t) {
        if (shape.rowidColumn[t] >= 0) {
            continue;
        }
        BaseTable& table = shape.tables[t];
        std::vector<CatalogueColumn> key;
        for (CatalogueColumn& column : CatalogueColumns(db, {table.schema, table.name})) {
            if (column.primaryKeyOrder > 0) {
                key.push_back(std::move(column));
            }
        }
        std::sort(key.begin(), key.end(), [](const auto& a, const auto& b) {
            return a.primaryKeyOrder < b.primaryKeyOrder;
        });
        std::vector<int> found;
        for (const CatalogueColumn& column : key) {
            for (std::size_t c = 0; c < shape.columns.size(); ++c) {
                const ResultColumn& result = shape.columns[c];
                if (result.baseTable == static_cast<int>(t) &&
                    EqualsNoCase(result.originColumn, column.name)) {
                    found.push_back(static_cast<int>(c));
                    break;
                }
            }
        }
        if (!key.empty() && found.size() == key.size()) {
            table.keyColumns = std::move(found);
        }
    }
}

/// Records which tables may store other values than those written: a trigger on them (in
/// either schema), or a conflict clause in their definition (NOT NULL ON CONFLICT REPLACE stores
/// the default for a Null). The row writer reads back what it writes there. A table it cannot
/// tell about stays unknown.
void FindRewritingTables(sqlite3* db, ResultShape& shape) {
    for (BaseTable& table : shape.tables) {
        sqlite3_stmt* probe = nullptr;
        if (sqlite3_prepare_v2(db,
                               "SELECT 1 FROM sqlite_master WHERE tbl_name = ?1 COLLATE NOCASE "
                               "AND (type = 'trigger' OR (type = 'table' AND sql LIKE "
                               "'%CONFLICT%')) UNION ALL SELECT 1 FROM sqlite_temp_master WHERE "
                               "tbl_name = ?1 COLLATE NOCASE AND (type = 'trigger' OR "
                               "(type = 'table' AND sql LIKE '%CONFLICT%'))",
                               -1, &probe, nullptr) != SQLITE_OK) {
            sqlite3_finalize(probe);
            continue;
        }
        sqlite3_bind_text(probe, 1, table.name.c_str(), static_cast<int>(table.name.size()),
                          SQLITE_STATIC);
        const int rc = sqlite3_step(probe);
        table.rewriteState = rc == SQLITE_ROW ? 1 : (rc == SQLITE_DONE ? 0 : -1);
        sqlite3_finalize(probe);
    }
}

/// Records, for each table whose rowid is read, the result column that holds its INTEGER
/// PRIMARY KEY: that column is the rowid, known as soon as a row is inserted.
void FindRowidAliases(sqlite3* db, ResultShape& shape) {
    for (std::size_t t = 0; t < shape.tables.size(); ++t) {
        BaseTable& table = shape.tables[t];
        if (shape.rowidColumn[t] < 0) {
            continue;
        }
        const std::vector<CatalogueColumn> columns =
            CatalogueColumns(db, {table.schema, table.name});
        const CatalogueColumn* key = nullptr;
        int keyParts = 0;
        for (const CatalogueColumn& column : columns) {
            if (column.primaryKeyOrder > 0) {
                key = &column;
                ++keyParts;
            }
        }
        if (keyParts != 1 || !EqualsNoCase(key->declType, "INTEGER")) {
            continue;
        }
        for (std::size_t c = 0; c < shape.columns.size(); ++c) {
            const ResultColumn& result = shape.columns[c];
            if (result.baseTable == static_cast<int>(t) &&
                EqualsNoCase(result.originColumn, key->name) &&
                (result.kind == ValueKind::Long || result.kind == ValueKind::ByStorage)) {
                table.rowidAlias = static_cast<int>(c);
                break;
            }
        }
    }
}

struct Described {
    std::shared_ptr<ResultShape> shape;
    Statement statement;
};

/// Describes a locating query from one prepared statement: the query with the rowid of every
/// table of its FROM clause appended, each rowid matched to its table by the column metadata.
/// Nullopt when that statement cannot be made (a view, a subquery, a compound query).
std::optional<Described> DescribeWithAllRowids(const StatementSource& source,
                                               const std::string& sql,
                                               const std::map<std::string, std::string>& hints) {
    const auto all = AddRowidColumnsOfAllTables(sql);
    if (!all) {
        return std::nullopt;
    }
    std::optional<Statement> located;
    try {
        located.emplace(source.Prepare(all->sql, KeepsStatement(sql)));
    } catch (const DbError&) {
        return std::nullopt; // a table without rowid, a view, or a statement that fails anyway
    }
    const int appended = static_cast<int>(all->appendedIndex.size());
    const int count = located->ColumnCount() - appended;
    if (count <= 0) {
        return std::nullopt;
    }
    auto shape = std::make_shared<ResultShape>();
    DescribeColumns(located->Get(), count, hints, true, *shape);
    if (shape->tables.empty()) {
        return std::nullopt; // nothing to locate: the query runs as written
    }
    for (std::size_t t = 0; t < shape->tables.size(); ++t) {
        const BaseTable& table = shape->tables[t];
        int match = -1;
        int matches = 0;
        for (int a = 0; a < appended; ++a) {
            const char* name = sqlite3_column_table_name(located->Get(), count + a);
            const char* schema = sqlite3_column_database_name(located->Get(), count + a);
            if (name != nullptr && schema != nullptr && table.name == name &&
                table.schema == schema) {
                match = count + a;
                ++matches;
            }
        }
        // A table named twice (a self join) has two rowids: its rows are located by key.
        if (matches == 1) {
            shape->rowidColumn[t] = match;
            shape->tables[t].rowidState = 1;
        }
    }
    FindKeyColumns(source.db, *shape);
    FindRowidAliases(source.db, *shape);
    FindRewritingTables(source.db, *shape);
    shape->sql = all->sql;
    return Described{std::move(shape), std::move(*located)};
}

Described Describe(const StatementSource& source, const std::string& sql,
                   const std::map<std::string, std::string>& hints, bool locateRows) {
    if (locateRows) {
        if (auto described = DescribeWithAllRowids(source, sql, hints)) {
            return std::move(*described);
        }
    }
    Statement stmt = source.Prepare(sql, KeepsStatement(sql));
    auto shape = std::make_shared<ResultShape>();
    const int count = stmt.ColumnCount();
    DescribeColumns(stmt.Get(), count, hints, locateRows, *shape);
    shape->sql = sql;
    if (shape->tables.empty()) {
        return Described{std::move(shape), std::move(stmt)};
    }
    // Rows of tables named once in the FROM clause are located by rowid, the others by key.
    std::vector<TableSource> sources;
    for (const BaseTable& table : shape->tables) {
        sources.push_back({table.schema, table.name});
    }
    if (auto withRowids = AddRowidColumns(sql, sources)) {
        try {
            Statement located = source.Prepare(withRowids->sql, KeepsStatement(sql));
            const int appended = static_cast<int>(std::count_if(withRowids->appendedIndex.begin(),
                                                                withRowids->appendedIndex.end(),
                                                                [](int a) { return a >= 0; }));
            if (located.ColumnCount() == count + appended) {
                stmt = std::move(located);
                shape->sql = withRowids->sql;
                for (std::size_t t = 0; t < shape->tables.size(); ++t) {
                    if (withRowids->appendedIndex[t] >= 0) {
                        shape->rowidColumn[t] = count + withRowids->appendedIndex[t];
                        shape->tables[t].rowidState = 1;
                    }
                }
            }
        } catch (const DbError&) {
            // A table without rowid (or a view): rows are located by their key instead.
        }
    }
    FindKeyColumns(source.db, *shape);
    FindRowidAliases(source.db, *shape);
    FindRewritingTables(source.db, *shape);
    return Described{std::move(shape), std::move(stmt)};
}

bool SameHints(const std::map<std::string, std::string>& a,
               const std::map<std::string, std::string>& b) {
    return a == b;
}

} // namespace

const std::string* FindTypeHint(const std::map<std::string, std::string>& hints,
                                std::string_view name) {
    for (const auto& [hintName, type] : hints) {
        if (EqualsNoCase(hintName, name)) {
            return &type;
        }
    }
    return nullptr;
}

std::uint64_t ColumnIndex::HashOf(std::string_view name) noexcept {
    // The first and last eight bytes (fewer for a shorter name), each byte with bit 0x20 set:
    // letters that differ only in case give the same bytes.
    constexpr std::uint64_t kCaseBits = 0x2020202020202020ULL;
    constexpr std::size_t kWord = sizeof(std::uint64_t);
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    if (name.size() >= kWord) {
        std::memcpy(&head, name.data(), kWord);
        std::memcpy(&tail, name.data() + name.size() - kWord, kWord);
    } else if (!name.empty()) {
        std::memcpy(&head, name.data(), name.size());
        tail = head;
    }
    head |= kCaseBits;
    tail |= kCaseBits;
    std::uint64_t hash =
        (head * 0x9E3779B97F4A7C15ULL) ^ std::rotl(tail * 0xC2B2AE3D27D4EB4FULL, 31) ^ name.size();
    return hash * 0xFF51AFD7ED558CCDULL;
}

ColumnIndex::ColumnIndex(const std::vector<ResultColumn>& columns) {
    std::size_t size = 2;
    while (size < 2 * columns.size()) {
        size *= 2;
    }
    slots_.assign(size, 0);
    shift_ = 64 - std::countr_zero(size);
    entries_.reserve(columns.size());
    const std::size_t mask = size - 1;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const std::string& name = columns[i].name;
        // Only the first column of a name (ignoring case) is ever found.
        std::size_t slot = SlotOf(name);
        bool seen = false;
        for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
            if (EqualsNoCase(entries_[slots_[slot] - 1].name, name)) {
                seen = true;
                break;
            }
        }
        if (!seen) {
            entries_.push_back(Entry{name, static_cast<int>(i)});
            slots_[slot] = static_cast<std::uint32_t>(entries_.size());
        }
    }
}

std::optional<int> ColumnIndex::Find(std::string_view name) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = SlotOf(name); slots_[slot] != 0; slot = (slot + 1) & mask) {
        const Entry& entry = entries_[slots_[slot] - 1];
        // Names are mostly written as the columns are named: the exact comparison comes first.
        if (entry.name.size() == name.size() &&
            (entry.name == name || EqualsNoCase(entry.name, name))) {
            return entry.column;
        }
    }
    return std::nullopt;
}

std::shared_ptr<const ResultShape>
ResultShapeCache::Find(TextKey sql, bool locateRows, std::uint64_t generation,
                       const std::map<std::string, std::string>& typeHints) const {
    if (sql.text.size() > StatementCache::kMaxSqlLength) {
        return nullptr;
    }
    const auto& shapes = shapes_[locateRows ? 1 : 0];
    const auto found = shapes.find(sql);
    if (found == shapes.end() || found->second.generation != generation ||
        !SameHints(found->second.shape->typeHints, typeHints)) {
        return nullptr;
    }
    return found->second.shape;
}

void ResultShapeCache::Add(TextKey sql, bool locateRows, std::uint64_t generation,
                           std::shared_ptr<const ResultShape> shape) {
    if (sql.text.size() > StatementCache::kMaxSqlLength) {
        return;
    }
    auto& shapes = shapes_[locateRows ? 1 : 0];
    if (shapes.size() >= kCapacity) {
        shapes.clear();
    }
    shapes.insert_or_assign(KeptText(sql), Kept{generation, std::move(shape)});
}

DecodedValues::~DecodedValues() {
    for (std::size_t i = 0; i < size_; ++i) {
        Slot(i)->~Variant();
    }
}

void Row::Set(std::size_t column, Variant value) {
    if (!raw.empty()) {
        values.resize(raw.size());
        raw[column].storage = RawCell::kSet;
    }
    values[column] = std::move(value);
    std::erase_if(outside, [column](const auto& kept) {
        return static_cast<std::size_t>(kept.first) == column;
    });
}

bool Row::IsOutside(std::size_t column) const noexcept {
    for (const auto& kept : outside) {
        if (static_cast<std::size_t>(kept.first) == column) {
            return true;
        }
    }
    return false;
}

namespace {

/// The stored value of a cell not decoded yet; its bytes are in `rawBytes`.
StoredValue StoredOf(const RawCell& cell, std::string_view rawBytes) {
    StoredValue stored;
    stored.storage = cell.storage;
    if (cell.storage == SQLITE_INTEGER) {
        stored.integer = cell.number;
    } else if (cell.storage == SQLITE_FLOAT) {
        stored.real = std::bit_cast<double>(cell.number);
    } else if (cell.storage == SQLITE_TEXT || cell.storage == SQLITE_BLOB) {
        stored.bytes = rawBytes.substr(static_cast<std::size_t>(cell.number), cell.size);
    }
    return stored;
}

/// True for a cell not decoded yet whose value costs no more to decode again than to copy once
/// kept: a Null, a whole number, a text read as text. Numbers and dates read from text or from
/// a REAL are parsed, and kept so that they are parsed once.
bool DecodesAsCopy(const RawCell& cell, ValueKind kind) {
    switch (cell.storage) {
    case SQLITE_NULL:
    case SQLITE_INTEGER:
        return true;
    case SQLITE_TEXT:
        return kind == ValueKind::Text || kind == ValueKind::ByStorage;
    default:
        return false;
    }
}

} // namespace

const Variant& RowSet::Cell(const Row& row, std::size_t column) const {
    if (row.raw.empty()) {
        return row.values[column];
    }
    RawCell& cell = row.raw[column];
    switch (cell.storage) {
    case RawCell::kSet:
        return row.values[column];
    case RawCell::kDecoded:
        return decoded[static_cast<std::size_t>(cell.number)];
    default:
        break;
    }
    const StoredValue stored = StoredOf(cell, rawBytes);
    const std::size_t index =
        decoded.Emplace([&] { return DecodeValue(stored, columns[column].kind); });
    cell.number = static_cast<std::int64_t>(index);
    cell.storage = RawCell::kDecoded;
    return decoded[index];
}

Variant RowSet::ValueOf(const Row& row, std::size_t column) const {
    for (const auto& [kept, handle] : row.outside) {
        if (static_cast<std::size_t>(kept) == column) {
            return Variant(longValues->Read(handle));
        }
    }
    // A value asked for by copy is decoded without being kept when keeping it saves nothing:
    // a list read once through holds no second copy of each value it read.
    if (!row.raw.empty()) {
        const RawCell& cell = row.raw[column];
        if (DecodesAsCopy(cell, columns[column].kind)) {
            return DecodeValue(StoredOf(cell, rawBytes), columns[column].kind);
        }
    }
    return Cell(row, column);
}

void RowSet::ValuesFor(const Row& row, const std::vector<int>& used,
                       std::vector<const Variant*>& values,
                       std::vector<Variant>& longValuesRead) const {
    values.resize(columns.size());
    longValuesRead.clear();
    longValuesRead.reserve(used.size()); // no reallocation: `values` points into it
    for (const int column : used) {
        const auto index = static_cast<std::size_t>(column);
        if (row.IsOutside(index)) {
            longValuesRead.push_back(ValueOf(row, index));
            values[index] = &longValuesRead.back();
        } else {
            values[index] = &Cell(row, index);
        }
    }
}

RowSet::TextLookup RowSet::MakeTextLookup(std::size_t column) const {
    TextLookup lookup;
    lookup.column = column;
    lookup.edits = edits_;
    lookup.columnEdits = EditsOf(column);
    lookup.rowCount = rows.size();
    // Read as a filter reads them, long values kept outside the rows included.
    const std::vector<int> used{static_cast<int>(column)};
    std::vector<const Variant*> values;
    std::vector<Variant> longValuesRead;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ValuesFor(rows[i], used, values, longValuesRead);
        const Variant& value = *values[column];
        if (value.IsNull() || value.IsEmpty()) {
            continue; // equal to no text
        }
        const std::string* text = value.AsString();
        if (text == nullptr) {
            lookup.textsOnly = false;
            lookup.rows.clear();
            return lookup;
        }
        lookup.rows[AsciiLower(*text)].push_back(static_cast<std::uint32_t>(i));
    }
    return lookup;
}

std::optional<std::span<const std::uint32_t>> RowSet::RowsWithText(std::size_t column,
                                                                   std::string_view text) const {
    // Row numbers are kept as 32 bits: a larger set is compared row by row.
    if (rows.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    auto kept = std::find_if(textLookups_.begin(), textLookups_.end(),
                             [&](const TextLookup& lookup) { return lookup.column == column; });
    if (kept == textLookups_.end()) {
        // A recordset filters on one or two fields: a few columns are kept at most.
        constexpr std::size_t kMaxLookups = 4;
        if (textLookups_.size() == kMaxLookups) {
            textLookups_.erase(textLookups_.begin());
        }
        textLookups_.push_back(MakeTextLookup(column));
        kept = textLookups_.end() - 1;
    } else if (kept->edits != edits_ || kept->columnEdits != EditsOf(column) ||
               kept->rowCount != rows.size()) {
        *kept = MakeTextLookup(column);
    }
    if (!kept->textsOnly) {
        return std::nullopt;
    }
    const auto found = kept->rows.find(AsciiLower(text));
    if (found == kept->rows.end()) {
        return std::span<const std::uint32_t>{};
    }
    return std::span<const std::uint32_t>(found->second);
}

std::optional<int> RowSet::FindColumn(std::string_view name) const {
    return index_ ? index_->Find(name) : std::nullopt;
}

int RowSet::FindTable(std::string_view name) const {
    const SqliteTableRef ref = ResolveTableName(name);
    for (std::size_t t = 0; t < tables.size(); ++t) {
        if (EqualsNoCase(tables[t].name, ref.table)) {
            return static_cast<int>(t);
        }
    }
    return -1;
}

void RowSet::TakeShape(const std::shared_ptr<const ResultShape>& shape) {
    columns =
        SharedColumns(std::shared_ptr<const std::vector<ResultColumn>>(shape, &shape->columns));
    tables = shape->tables;
    index_ = shape->index;
}

namespace {

/// Keeps column `index` of the current row as SQLite gives it, in `cell` (bytes in the set's
/// buffer). A long text read as text (not as a date or a number) may be kept out of the row,
/// in the set's long values.
void ReadCell(sqlite3_stmt* raw, int index, ValueKind kind, RowSet& set, Row& row, RawCell& cell) {
    // The cell's value object, read with the sqlite3_value_* calls: each sqlite3_column_* call
    // looks the column up and checks the connection's error state again, three times a text.
    // In multi-thread mode (ConfigureLibraryOnce) an unprotected value reads like any other.
    sqlite3_value* value = sqlite3_column_value(raw, index);
    const int storage = sqlite3_value_type(value);
    cell.storage = static_cast<std::uint8_t>(storage);
    switch (storage) {
    case SQLITE_INTEGER:
        cell.number = sqlite3_value_int64(value);
        return;
    case SQLITE_FLOAT:
        cell.number = std::bit_cast<std::int64_t>(sqlite3_value_double(value));
        return;
    case SQLITE_TEXT:
    case SQLITE_BLOB:
        break;
    default:
        return;
    }
    const void* data = storage == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(value))
                                              : sqlite3_value_blob(value);
    const auto size = static_cast<std::size_t>(sqlite3_value_bytes(value));
    const std::string_view bytes(static_cast<const char*>(data), data != nullptr ? size : 0);
    if (storage == SQLITE_TEXT && (kind == ValueKind::Text || kind == ValueKind::ByStorage) &&
        bytes.size() >= LongValues::kMinBytes) {
        if (!set.longValues) {
            set.longValues = std::make_shared<LongValues>();
        }
        if (const auto handle = set.longValues->Keep(bytes)) {
            row.outside.emplace_back(index, *handle);
            cell.storage = SQLITE_NULL;
            return;
        }
    }
    cell.number = static_cast<std::int64_t>(set.rawBytes.size());
    cell.size = static_cast<std::uint32_t>(bytes.size());
    set.rawBytes.append(bytes);
}

/// The current row of the statement, with the rowids of its tables.
Row ReadRow(sqlite3_stmt* raw, RowSet& set, const ResultShape& shape) {
    Row row;
    row.raw.resize(set.columns.size());
    for (std::size_t i = 0; i < set.columns.size(); ++i) {
        ReadCell(raw, static_cast<int>(i), set.columns[i].kind, set, row, row.raw[i]);
    }
    row.rowids.resize(set.tables.size());
    for (std::size_t t = 0; t < set.tables.size(); ++t) {
        const int index = shape.rowidColumn[t];
        if (index < 0) {
            continue;
        }
        sqlite3_value* value = sqlite3_column_value(raw, index);
        if (sqlite3_value_type(value) != SQLITE_NULL) {
            row.rowids[t] = sqlite3_value_int64(value);
        }
    }
    return row;
}

} // namespace

RowSet LoadRowSet(const StatementSource& source, TextKey sql,
                  const std::map<std::string, std::string>& typeHints, bool locateRows,
                  ResultShapeCache* shapes, const std::vector<ParameterValue>& parameters) {
    std::shared_ptr<const ResultShape> shape =
        shapes != nullptr ? shapes->Find(sql, locateRows, source.generation, typeHints) : nullptr;
    std::optional<Statement> stmt;
    if (shape) {
        stmt.emplace(source.Prepare(TextKey{shape->sql, shape->sqlHash}, KeepsStatement(sql.text)));
    } else {
        Described described = Describe(source, std::string(sql.text), typeHints, locateRows);
        described.shape->sqlHash =
            described.shape->sql == sql.text ? sql.hash : TextKey::Of(described.shape->sql).hash;
        described.shape->typeHints = typeHints;
        described.shape->index = std::make_shared<const ColumnIndex>(described.shape->columns);
        stmt.emplace(std::move(described.statement));
        shape = std::move(described.shape);
        if (shapes != nullptr) {
            shapes->Add(sql, locateRows, source.generation, shape);
        }
    }

    stmt->BindParameters(parameters);
    RowSet set;
    set.TakeShape(shape);
    set.rows.reserve(shape->lastRows);
    set.rawBytes.reserve(shape->lastBytes);
    sqlite3_stmt* raw = stmt->Get();
    while (stmt->Step()) {
        set.rows.push_back(ReadRow(raw, set, *shape));
    }
    // A larger result grows on from the bound as before.
    constexpr std::size_t kMostRowsKept = 1024;
    constexpr std::size_t kMostBytesKept = std::size_t{1} << 16U;
    shape->lastRows = std::min(set.rows.size(), kMostRowsKept);
    shape->lastBytes = std::min(set.rawBytes.size(), kMostBytesKept);
    return set;
}

} // namespace kvad::db
