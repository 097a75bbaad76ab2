#pragma once
// SQL Server data types as the translation layer sees them: the catalogue's type numbers, the
// integer ranges of CONVERT, and how a SQLite declared column type maps onto them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace kvad::db::tsql {

/// A system type of the catalogue (sys.types): type number and name.
struct SqlServerType {
    int xtype = 0;
    std::string_view name;
};

/// Every system type the catalogue lists.
[[nodiscard]] std::span<const SqlServerType> SystemTypes() noexcept;

/// The SQL Server type of a SQLite declared column type ("varchar(50)" -> varchar 167,
/// "decimal(19,6)" -> decimal 106, "INTEGER" -> int 56). A type without a SQL Server
/// counterpart is sql_variant (98).
[[nodiscard]] SqlServerType SqlServerTypeOf(std::string_view declType) noexcept;

/// Range of an integer type ("tinyint" -> 0..255), nullopt for other names.
[[nodiscard]] std::optional<std::pair<std::int64_t, std::int64_t>>
IntegerTypeRange(std::string_view typeName) noexcept;

/// What a value of a declared type holds, as far as the translator needs to know it.
enum class ValueClass { Unknown, Text, Integer, Number, Date };

/// The class of a T-SQL or SQLite declared type name ("varchar(50)" -> Text, "datetime" ->
/// Date, "int" -> Integer, "decimal(19,6)" -> Number).
[[nodiscard]] ValueClass ClassOfType(std::string_view declType) noexcept;

} // namespace kvad::db::tsql
