#include "typed_sql.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <utility>

#include "tsql_dates.h"

namespace kvad::db::tsql {

namespace {

[[nodiscard]] std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

TypedSql MakeTyped(std::string sql, ValueClass cls, std::string type) {
    TypedSql typed;
    typed.sql = std::move(sql);
    typed.cls = cls;
    typed.type = std::move(type);
    return typed;
}

TypedSql NullOf(std::string sql, ValueClass cls, std::string type) {
    TypedSql typed = MakeTyped(std::move(sql), cls, std::move(type));
    typed.null = true;
    return typed;
}

bool IsNumeric(ValueClass cls) noexcept {
    return cls == ValueClass::Integer || cls == ValueClass::Number;
}

void TakeTypeOf(TypedSql& target, const TypedSql& source) {
    target.cls = source.cls;
    target.type = source.type;
    target.length = source.length;
    target.ref = source.ref;
    target.refScope = source.refScope;
}

std::optional<int> DeclaredLength(std::string_view declType) {
    const std::size_t open = declType.find('(');
    if (open == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t close = declType.find_first_of(",)", open);
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, ec] =
        std::from_chars(declType.data() + open + 1, declType.data() + close, value);
    if (ec != std::errc() || end != declType.data() + close) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> DeclaredScale(std::string_view declType) {
    const std::size_t comma = declType.find(',');
    if (comma == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t close = declType.find(')', comma);
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view digits = declType.substr(comma + 1, close - comma - 1);
    while (!digits.empty() && digits.front() == ' ') {
        digits.remove_prefix(1);
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc()) {
        return std::nullopt;
    }
    return value;
}

std::string QuoteString(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    out.push_back('\'');
    return out;
}

std::optional<std::int64_t> ParseInt64(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

namespace {
thread_local SqlDialect currentDialect = SqlDialect::Sqlite;
} // namespace

SqlDialect CurrentDialect() noexcept {
    return currentDialect;
}

DialectScope::DialectScope(SqlDialect dialect) noexcept : previous_(currentDialect) {
    currentDialect = dialect;
}

DialectScope::~DialectScope() {
    currentDialect = previous_;
}

std::string NoCase(const std::string& sql, ValueClass cls) {
    if (currentDialect == SqlDialect::Postgres) {
        return cls == ValueClass::Text ? sql + " COLLATE nocase" : sql;
    }
    return sql + " COLLATE NOCASE";
}

std::string IfNullFunction() {
    return currentDialect == SqlDialect::Postgres ? "COALESCE" : "IFNULL";
}

std::string SqliteIdentifier(std::string_view name) {
    if (currentDialect == SqlDialect::Postgres) {
        return PostgresIdentifier(name);
    }
    bool plain = !name.empty() && !(name.front() >= '0' && name.front() <= '9');
    for (const char c : name) {
        plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_');
    }
    if (plain && sqlite3_keyword_check(name.data(), static_cast<int>(name.size())) == 0) {
        return std::string(name);
    }
    std::string out = "\"";
    for (const char c : name) {
        out.push_back(c);
        if (c == '"') {
            out.push_back('"');
        }
    }
    out.push_back('"');
    return out;
}

TypedSql NumberLiteral(const std::string& text) {
    if (text.find_first_of(".eE") == std::string::npos) {
        if (const auto value = ParseInt64(text)) {
            const bool fitsInt = *value <= 2147483647LL;
            TypedSql typed = MakeTyped(text, ValueClass::Integer, fitsInt ? "int" : "bigint");
            typed.intValue = value;
            return typed;
        }
        return MakeTyped(text, ValueClass::Number);
    }
    if (text.find_first_of("eE") != std::string::npos) {
        return MakeTyped(text, ValueClass::Number, "float");
    }
    // A decimal literal has the precision and scale it is written with.
    const std::size_t dot = text.find('.');
    std::size_t digits = 0;
    for (const char c : text) {
        digits += (c >= '0' && c <= '9') ? 1 : 0;
    }
    const std::size_t scale = text.size() - dot - 1;
    const std::size_t precision = std::max(digits, scale + 1);
    return MakeTyped(text, ValueClass::Number,
                     "numeric(" + std::to_string(precision) + "," + std::to_string(scale) + ")");
}

TypedSql DateLiteral(std::string_view text) {
    const std::string_view trimmed = TrimSpaces(text);
    if (trimmed.empty()) {
        return MakeTyped("'1900-01-01 00:00:00'", ValueClass::Date, "datetime");
    }
    if (const auto date = ParseDateTime(trimmed)) {
        return MakeTyped(QuoteString(FormatDateTime(*date)), ValueClass::Date, "datetime");
    }
    return MakeTyped("tsql_convert_datetime(" + QuoteString(text) + ", 1)", ValueClass::Date,
                     "datetime");
}

bool MayBeReadAsAnother(const Expr& expr) {
    if (expr.kind != ExprKind::String) {
        return false;
    }
    if (expr.text.find_first_not_of(' ') == std::string::npos) {
        return true;
    }
    const auto date = ParseDateTime(expr.text);
    return date && FormatDateTime(*date) != expr.text;
}

TypedSql CoerceTo(const Expr& expr, TypedSql typed, ValueClass target) {
    if (expr.kind != ExprKind::String) {
        return typed;
    }
    if (target == ValueClass::Date) {
        return DateLiteral(expr.text);
    }
    if (target == ValueClass::Integer) {
        const std::string_view text = TrimSpaces(expr.text);
        if (text.empty()) {
            return MakeTyped("0", ValueClass::Integer, "int");
        }
        if (const auto value = ParseInt64(text.front() == '+' ? text.substr(1) : text)) {
            TypedSql out = MakeTyped(std::to_string(*value), ValueClass::Integer, "int");
            out.intValue = value;
            return out;
        }
        return MakeTyped("tsql_convert_int(" + typed.sql + ", 'int')", ValueClass::Integer, "int");
    }
    return typed;
}

} // namespace kvad::db::tsql
