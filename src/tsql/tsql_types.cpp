#include "tsql_types.h"

#include <array>

#include "kvad_nso/text.h"

namespace kvad::db::tsql {

namespace {

constexpr std::array<SqlServerType, 30> kSystemTypes = {{
    {34, "image"},
    {35, "text"},
    {36, "uniqueidentifier"},
    {40, "date"},
    {41, "time"},
    {42, "datetime2"},
    {43, "datetimeoffset"},
    {48, "tinyint"},
    {52, "smallint"},
    {56, "int"},
    {58, "smalldatetime"},
    {59, "real"},
    {60, "money"},
    {61, "datetime"},
    {62, "float"},
    {98, "sql_variant"},
    {99, "ntext"},
    {104, "bit"},
    {106, "decimal"},
    {108, "numeric"},
    {122, "smallmoney"},
    {127, "bigint"},
    {165, "varbinary"},
    {167, "varchar"},
    {173, "binary"},
    {175, "char"},
    {189, "timestamp"},
    {231, "nvarchar"},
    {239, "nchar"},
    {241, "xml"},
}};

// SQLite spellings that are not SQL Server type names.
struct Alias {
    std::string_view declared;
    std::string_view name;
};
constexpr std::array<Alias, 8> kAliases = {{
    {"integer", "int"},
    {"boolean", "bit"},
    {"double", "float"},
    {"double precision", "float"},
    {"blob", "varbinary"},
    {"clob", "text"},
    {"character", "char"},
    {"mediumint", "int"},
}};

// The base name of a declared type: lower case, without size and without anything after it
// ("VARCHAR(50) COLLATE NOCASE" -> "varchar").
[[nodiscard]] std::string BaseName(std::string_view declType) {
    std::string out = AsciiLower(declType.substr(0, declType.find('(')));
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    std::size_t start = 0;
    while (start < out.size() && out[start] == ' ') {
        ++start;
    }
    out.erase(0, start);
    if (out == "double precision") {
        return out;
    }
    const std::size_t blank = out.find(' ');
    if (blank != std::string::npos) {
        out.resize(blank);
    }
    return out;
}

} // namespace

std::span<const SqlServerType> SystemTypes() noexcept {
    return kSystemTypes;
}

SqlServerType SqlServerTypeOf(std::string_view declType) noexcept {
    std::string base;
    try {
        base = BaseName(declType);
    } catch (...) {
        return {98, "sql_variant"};
    }
    std::string_view name = base;
    for (const Alias& alias : kAliases) {
        if (alias.declared == name) {
            name = alias.name;
        }
    }
    for (const SqlServerType& type : kSystemTypes) {
        if (type.name == name) {
            return type;
        }
    }
    return {98, "sql_variant"};
}

std::optional<std::pair<std::int64_t, std::int64_t>>
IntegerTypeRange(std::string_view typeName) noexcept {
    if (EqualsNoCase(typeName, "tinyint")) {
        return std::pair<std::int64_t, std::int64_t>{0, 255};
    }
    if (EqualsNoCase(typeName, "smallint")) {
        return std::pair<std::int64_t, std::int64_t>{-32768, 32767};
    }
    if (EqualsNoCase(typeName, "int")) {
        return std::pair<std::int64_t, std::int64_t>{-2147483648LL, 2147483647LL};
    }
    if (EqualsNoCase(typeName, "bigint")) {
        return std::pair<std::int64_t, std::int64_t>{INT64_MIN, INT64_MAX};
    }
    return std::nullopt;
}

ValueClass ClassOfType(std::string_view declType) noexcept {
    switch (SqlServerTypeOf(declType).xtype) {
    case 35:
    case 36:
    case 99:
    case 167:
    case 175:
    case 231:
    case 239:
    case 241:
        return ValueClass::Text;
    case 48:
    case 52:
    case 56:
    case 104:
    case 127:
        return ValueClass::Integer;
    case 59:
    case 60:
    case 62:
    case 106:
    case 108:
    case 122:
        return ValueClass::Number;
    case 40:
    case 42:
    case 58:
    case 61:
        return ValueClass::Date;
    default:
        return ValueClass::Unknown;
    }
}

} // namespace kvad::db::tsql
