#pragma once
// The rows of a result held in memory, with what is known of where each column comes from.
// Working recordsets and their clones share one RowSet.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kvad_nso/variant.h"
#include "long_values.h"
#include "quote_identifier.h"
#include "statement_cache.h"
#include "text_key.h"
#include "value_codec.h"

namespace kvad::db {

/// The translator's declared type for a result column, by name (case-insensitive), or null.
[[nodiscard]] const std::string* FindTypeHint(const std::map<std::string, std::string>& hints,
                                              std::string_view name);

/// One visible column of a result.
struct ResultColumn {
    std::string name;
    std::string declType; ///< declared T-SQL type, "" for an untyped expression
    ValueKind kind = ValueKind::ByStorage;
    /// Whether the column stores a whole number as it is bound (KeepsWholeNumbers).
    bool keepsWholeNumbers = false;
    int baseTable = -1;       ///< index into RowSet::tables, -1 for an expression
    std::string originColumn; ///< the column's name in its base table
    std::string quotedOrigin; ///< originColumn quoted for SQLite statements
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
    /// Whether the table may store other values than those written (a trigger on it, a
    /// conflict clause in its definition): -1 not known, 0 no, 1 yes.
    int rewriteState = -1;
    /// The result column that holds the table's INTEGER PRIMARY KEY (the rowid itself), or -1.
    int rowidAlias = -1;
    /// The table's name for SQLite statements (temp."#TEMP_ORD").
    std::string qualifiedName;

    BaseTable(std::string schemaName, std::string tableName)
        : schema(std::move(schemaName)), name(std::move(tableName)),
          qualifiedName(QuoteIdentifier(schema) + "." + QuoteIdentifier(name)) {}

    /// The table's name for SQLite statements (temp."#TEMP_ORD").
    [[nodiscard]] const std::string& QualifiedName() const noexcept { return qualifiedName; }
};

/// A cell of a row read from the database, as SQLite gave it: decoded into a Variant when it
/// is first read, so that a row pays only for the columns its reader asks for.
struct RawCell {
    static constexpr std::uint8_t kSet = 0;      ///< the value is in Row::values
    static constexpr std::uint8_t kDecoded = 10; ///< the value is the set's decoded one

    /// An INTEGER; a REAL's bits; a TEXT's or BLOB's offset in the set's bytes; once decoded,
    /// the value's place among the set's decoded values.
    std::int64_t number = 0;
    std::uint32_t size = 0;      ///< bytes of a TEXT or BLOB
    std::uint8_t storage = kSet; ///< SQLITE_INTEGER ... SQLITE_NULL, kDecoded or kSet
};

/// Values decoded from raw cells, each kept where it was put for as long as the set lives (a
/// reader holds a reference while it reads it). A decoded value never changes: a row copied
/// before an edit and the row itself read the same one.
class DecodedValues {
  public:
    DecodedValues() = default;
    DecodedValues(const DecodedValues&) = delete;
    DecodedValues& operator=(const DecodedValues&) = delete;
    DecodedValues(DecodedValues&& other) noexcept
        : chunks_(std::move(other.chunks_)), size_(std::exchange(other.size_, 0)) {}
    DecodedValues& operator=(DecodedValues&&) = delete;
    ~DecodedValues();

    [[nodiscard]] const Variant& operator[](std::size_t index) const { return *Slot(index); }
    /// Keeps the value `make` gives, made in its place; returns the place.
    template <class Make> std::size_t Emplace(Make&& make) {
        if (size_ % kChunk == 0) {
            chunks_.push_back(std::make_unique_for_overwrite<Chunk>());
        }
        new (chunks_.back()->bytes + (size_ % kChunk) * sizeof(Variant)) Variant(make());
        return size_++;
    }

  private:
    static constexpr std::size_t kChunk = 64;
    /// Room for kChunk values, made one by one as they are decoded.
    struct Chunk {
        alignas(Variant) std::byte bytes[kChunk * sizeof(Variant)];
    };
    [[nodiscard]] Variant* Slot(std::size_t index) const {
        return std::launder(reinterpret_cast<Variant*>(chunks_[index / kChunk]->bytes +
                                                       (index % kChunk) * sizeof(Variant)));
    }
    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::size_t size_ = 0;
};

/// One row: its values and, per base table, the rowid it has there (when known).
struct Row {
    /// The values of a row made here, one per column; read them through RowSet::Cell or
    /// RowSet::ValueOf. A row read from the database holds here only the values set since
    /// (see `raw`). A value kept out of the row (see `outside`) reads Null.
    std::vector<Variant> values;
    std::vector<std::optional<std::int64_t>> rowids;
    /// Long values kept out of the row: column, handle in the set's LongValues.
    std::vector<std::pair<int, std::uint32_t>> outside;
    /// Tables (bit per table index) the row was inserted into and not read back from yet: the
    /// defaults and conversions the database applied are read on the first use of the row.
    std::uint64_t unreadTables = 0;
    /// The connection's rollback count when the row was inserted: after a rollback the row is
    /// not read back (it keeps the values given).
    std::uint64_t rollbacksAtInsert = 0;
    /// A row read from the database: its cells as SQLite gave them, one per column, each
    /// decoded on its first read into the set's decoded values. Empty for a row made here.
    mutable std::vector<RawCell> raw;

    /// Replaces a value (one kept outside the row is forgotten).
    void Set(std::size_t column, Variant value);
    /// Whether the value of `column` is kept outside the row.
    [[nodiscard]] bool IsOutside(std::size_t column) const noexcept;
};

/// Column positions by name, compared without regard to ASCII case. Looked up on every field
/// read by name, so a look-up hashes the name's length and its first and last eight bytes (not
/// every character) and compares the few names in its slot's run.
class ColumnIndex {
  public:
    explicit ColumnIndex(const std::vector<ResultColumn>& columns);
    /// The first column of that name.
    [[nodiscard]] std::optional<int> Find(std::string_view name) const;

  private:
    struct Entry {
        std::string name;
        int column = -1;
    };
    /// The same for names that differ only in ASCII case.
    [[nodiscard]] static std::uint64_t HashOf(std::string_view name) noexcept;
    [[nodiscard]] std::size_t SlotOf(std::string_view name) const noexcept {
        return static_cast<std::size_t>(HashOf(name) >> shift_);
    }
    /// The first column of each name (ignoring case), in column order.
    std::vector<Entry> entries_;
    /// Open addressing, a power of two at least twice the entries: an entry's position plus
    /// one, 0 when empty.
    std::vector<std::uint32_t> slots_;
    int shift_ = 63;
};

/// What a query's rows look like: its visible columns, their base tables, and the statement
/// run to read them (the query itself, or the query with the rowid of its tables appended when
/// rows are to be located).
struct ResultShape {
    std::vector<ResultColumn> columns;
    std::vector<BaseTable> tables;
    /// Per base table, the position of its rowid among the statement's columns, or -1.
    std::vector<int> rowidColumn;
    std::string sql;
    std::size_t sqlHash = 0;                      ///< TextKey::Of(sql).hash
    std::map<std::string, std::string> typeHints; ///< as they were given
    std::shared_ptr<const ColumnIndex> index;
    /// The rows and value bytes the last result of this shape held, up to a bound: the next
    /// one starts with that room instead of growing to it a reallocation at a time. (Written
    /// by the loads of the one connection that keeps the shape.)
    mutable std::size_t lastRows = 0;
    mutable std::size_t lastBytes = 0;
};

/// Shapes of results by statement, kept per connection while the schema stays the same: a
/// statement sent again is run without being described again.
class ResultShapeCache {
  public:
    static constexpr std::size_t kCapacity = 128;

    [[nodiscard]] std::shared_ptr<const ResultShape>
    Find(TextKey sql, bool locateRows, std::uint64_t generation,
         const std::map<std::string, std::string>& typeHints) const;
    void Add(TextKey sql, bool locateRows, std::uint64_t generation,
             std::shared_ptr<const ResultShape> shape);
    void Clear() noexcept {
        shapes_[0].clear();
        shapes_[1].clear();
    }

  private:
    struct Kept {
        std::uint64_t generation = 0;
        std::shared_ptr<const ResultShape> shape;
    };
    /// Shapes of queries, then of queries whose rows are located.
    std::array<ByTextKey<Kept>, 2> shapes_;
};

/// The columns of a result, shared with the shape they were described in and never changed
/// after: the recordsets of one statement read the same columns without a copy each.
class SharedColumns {
  public:
    SharedColumns() = default;
    explicit SharedColumns(std::shared_ptr<const std::vector<ResultColumn>> columns) noexcept
        : columns_(std::move(columns)) {}

    [[nodiscard]] const ResultColumn& operator[](std::size_t index) const {
        return (*columns_)[index];
    }
    [[nodiscard]] std::size_t size() const noexcept { return columns_ ? columns_->size() : 0; }
    [[nodiscard]] bool empty() const noexcept { return size() == 0; }
    [[nodiscard]] std::vector<ResultColumn>::const_iterator begin() const noexcept {
        return columns_ ? columns_->begin() : std::vector<ResultColumn>::const_iterator();
    }
    [[nodiscard]] std::vector<ResultColumn>::const_iterator end() const noexcept {
        return columns_ ? columns_->end() : std::vector<ResultColumn>::const_iterator();
    }

  private:
    std::shared_ptr<const std::vector<ResultColumn>> columns_;
};

/// An INSERT a set's rows were added with: the next row of the same columns uses its text.
struct KeptInsert {
    int table = -1;
    std::vector<int> columns;
    std::string sql;
    std::size_t hash = 0; ///< TextKey::Of(sql).hash
};

/// A result in memory.
struct RowSet {
    SharedColumns columns;
    std::vector<BaseTable> tables;
    std::vector<Row> rows;
    /// Dynamic property "Unique Table": index of the one table that updates go to, or -1.
    int uniqueTable = -1;
    std::string uniqueTableName;
    /// Long values of the rows kept out of them, shared with nobody else.
    std::shared_ptr<LongValues> longValues;

    /// The TEXT and BLOB bytes of the rows' raw cells.
    std::string rawBytes;
    /// The rows' raw cells decoded so far.
    mutable DecodedValues decoded;
    /// The INSERTs rows were added with, the latest last (each kept where it was made).
    std::vector<std::unique_ptr<const KeptInsert>> inserts;

    /// The value of a row's column, read back when it is kept outside the row. A Null, a whole
    /// number or a text not decoded yet is decoded for the copy alone, not kept.
    [[nodiscard]] Variant ValueOf(const Row& row, std::size_t column) const;
    /// The value of a row's column held in the row (Null for one kept outside), decoded on its
    /// first read and kept.
    [[nodiscard]] const Variant& Cell(const Row& row, std::size_t column) const;
    /// The values of the `used` columns of a row, by column (the others are not set), those
    /// kept outside the row read back into `longValues`.
    void ValuesFor(const Row& row, const std::vector<int>& used,
                   std::vector<const Variant*>& values, std::vector<Variant>& longValues) const;

    /// The first column of that name (case-insensitive).
    [[nodiscard]] std::optional<int> FindColumn(std::string_view name) const;
    /// The base table of that name (brackets and owner allowed), or -1.
    [[nodiscard]] int FindTable(std::string_view name) const;
    /// Takes the columns, tables and name index of a shape.
    void TakeShape(const std::shared_ptr<const ResultShape>& shape);

    /// The rows whose `column` holds a text equal to `text` ignoring ASCII case, in row order;
    /// nullopt when a row holds there a value that is neither a text nor Null (a comparison
    /// with it has to be made row by row). The rows of each column asked for are kept until a
    /// value of that column changes or a row is added or read back: a filter set once per chain
    /// of a batch reads the batch once.
    [[nodiscard]] std::optional<std::span<const std::uint32_t>>
    RowsWithText(std::size_t column, std::string_view text) const;
    /// To be called on every change of a row's values (the row writer's functions do it):
    /// the rows kept by RowsWithText are looked for afresh.
    void NoteEdit() noexcept { ++edits_; }
    /// The same for a change of one column's values only: the rows kept for other columns
    /// stay.
    void NoteEditOf(std::size_t column) {
        if (column >= columnEdits_.size()) {
            columnEdits_.resize(column + 1);
        }
        ++columnEdits_[column];
    }

  private:
    /// The rows of one column by their text folded to lower case.
    struct TextLookup {
        std::size_t column = 0;
        std::uint64_t edits = 0;
        std::uint64_t columnEdits = 0;
        std::size_t rowCount = 0;
        bool textsOnly = true;
        std::unordered_map<std::string, std::vector<std::uint32_t>> rows;
    };
    [[nodiscard]] TextLookup MakeTextLookup(std::size_t column) const;
    [[nodiscard]] std::uint64_t EditsOf(std::size_t column) const noexcept {
        return column < columnEdits_.size() ? columnEdits_[column] : 0;
    }

    std::shared_ptr<const ColumnIndex> index_;
    std::uint64_t edits_ = 0;
    std::vector<std::uint64_t> columnEdits_;
    mutable std::vector<TextLookup> textLookups_;
};

/// Runs a query and reads all its rows. `typeHints` gives declared types of computed columns
/// by name. With `locateRows`, the base tables of the columns are recorded and the rowid of
/// each row in them is read alongside, invisibly, so that rows can be written back. Statements
/// come from the source's cache; `shapes`, when given, keeps the result's description for the
/// next time the statement is run; `parameters` are bound to ?1, ?2, ... Throws DbError.
[[nodiscard]] RowSet LoadRowSet(const StatementSource& source, TextKey sql,
                                const std::map<std::string, std::string>& typeHints,
                                bool locateRows, ResultShapeCache* shapes = nullptr,
                                const std::vector<ParameterValue>& parameters = {});

} // namespace kvad::db
