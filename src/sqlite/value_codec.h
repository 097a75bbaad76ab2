#pragma once
// Values between SQLite's storage classes and Variant, by the column's declared T-SQL type.

#include <cstdint>
#include <optional>
#include <string_view>

#include "kvad_nso/variant.h"

struct sqlite3_stmt;

namespace kvad::db {

/// How a column's values are read and written, from its declared type.
enum class ValueKind {
    ByStorage, ///< no declared type: the storage class decides
    Date,      ///< datetime, date, smalldatetime: 'YYYY-MM-DD HH:MM:SS' text
    Decimal,   ///< decimal, numeric, money: exact Decimal
    Long,      ///< int, integer, bigint
    Integer,   ///< smallint, tinyint
    Boolean,   ///< bit
    Double,    ///< float, real
    Text,      ///< char, varchar, nchar, nvarchar, text, ntext, uniqueidentifier, xml
    Bytes,     ///< binary, varbinary, image, blob
};

/// The kind of a declared type ("decimal(18,5)", "varchar(50)", "INTEGER", "").
[[nodiscard]] ValueKind KindOfDeclType(std::string_view declType);

/// True for the text kinds, which compare case-insensitively like SQL Server's collation.
[[nodiscard]] bool IsTextDeclType(std::string_view declType);

/// Decimal::Parse, giving nullopt (not an overflow error) for a number too large for a Decimal.
[[nodiscard]] std::optional<Decimal> TryParseDecimal(std::string_view text);

/// An integer as a column of kind Long (or of no declared type) reads it: Long when it fits,
/// else Decimal.
[[nodiscard]] Variant WholeNumber(std::int64_t value);

/// A value as SQLite holds it, before it is read as a column's kind: the storage class
/// (SQLITE_INTEGER ... SQLITE_NULL) and the number, or the bytes of a TEXT or BLOB.
struct StoredValue {
    int storage = 5; ///< SQLITE_NULL
    std::int64_t integer = 0;
    double real = 0.0;
    std::string_view bytes;
};

/// Result column `index` of the current row as SQLite holds it; the bytes are SQLite's, valid
/// until the statement moves on.
[[nodiscard]] StoredValue ReadStored(sqlite3_stmt* stmt, int index);

/// A stored value read as a column of that kind reads it.
[[nodiscard]] Variant DecodeValue(const StoredValue& value, ValueKind kind);

/// Whether a column declared `declType` keeps a whole number as it is bound: its affinity is
/// INTEGER, NUMERIC or none (a TEXT or REAL column converts it).
[[nodiscard]] bool KeepsWholeNumbers(std::string_view declType);

/// What SQLite stores when BindValue binds `value` for a column of kind `kind`, when the column
/// keeps it as bound: Null, or a whole number (a Boolean as 1 or 0) going to a column that
/// `keepsWholeNumbers` and is not a date. nullopt for any other value: only the database tells
/// how the column stored it.
[[nodiscard]] std::optional<StoredValue> StoredAsBound(const Variant& value, ValueKind kind,
                                                       bool keepsWholeNumbers);

/// Reads result column `index` of the current row.
[[nodiscard]] Variant ReadColumn(sqlite3_stmt* stmt, int index, ValueKind kind);

/// How long a bound value's text lives: past the statement's run and its reset (SQLite reads it
/// where it is), or not (SQLite copies it).
enum class TextLife { Copied, OutlivesStatement };

/// Binds a value to parameter `index` (1-based) for a column of the target kind, converting it
/// the way SQL Server converts implicitly. Throws DbError 22007 for text that is not a date
/// going to a date column and 22018 for text that is not a number going to a numeric column.
/// With OutlivesStatement, a text bound as it stands is not copied: the caller keeps `value`
/// unchanged until the statement is reset with its bindings cleared or finalized.
void BindValue(sqlite3_stmt* stmt, int index, const Variant& value, ValueKind target,
               TextLife life = TextLife::Copied);

} // namespace kvad::db
