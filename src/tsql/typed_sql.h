#pragma once
// A translated expression with what is known of its value, and the literals whose SQLite form
// depends on the value they meet.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tsql/tsql_translator.h"
#include "tsql_ast.h"
#include "tsql_types.h"

namespace kvad::db::tsql {

struct NameScope;

/// A translated expression with what is known of its value.
struct TypedSql {
    std::string sql;
    ValueClass cls = ValueClass::Unknown;
    /// T-SQL type ("varchar(50)", "int", "datetime"), empty when unknown.
    std::string type;
    /// Text: the most characters it can hold, when known.
    std::optional<int> length;
    /// A plain column reference: SQLite compares it with the column's declared collation.
    bool column = false;
    bool null = false;
    /// Integer literal (also after folding a CONVERT of one).
    std::optional<std::int64_t> intValue;
    /// The type is that of this column, not looked up yet (see Settle).
    const QualifiedName* ref = nullptr;
    const NameScope* refScope = nullptr;
};

[[nodiscard]] TypedSql MakeTyped(std::string sql, ValueClass cls, std::string type = {});

/// A NULL of a class and type.
[[nodiscard]] TypedSql NullOf(std::string sql, ValueClass cls, std::string type = {});

[[nodiscard]] bool IsNumeric(ValueClass cls) noexcept;

/// Gives `target` the type of `source`, also when that is still to be looked up.
void TakeTypeOf(TypedSql& target, const TypedSql& source);

/// Length of a text type as declared ("varchar(50)" -> 50); nullopt for max and unsized types.
[[nodiscard]] std::optional<int> DeclaredLength(std::string_view declType);

/// Scale of a decimal type as declared ("decimal(19,6)" -> 6).
[[nodiscard]] std::optional<int> DeclaredScale(std::string_view declType);

/// A string literal of SQLite.
[[nodiscard]] std::string QuoteString(std::string_view text);

/// A whole number written with digits only (and an optional '-').
[[nodiscard]] std::optional<std::int64_t> ParseInt64(std::string_view text);

/// An identifier as the statement's database reads it: for SQLite bare when that is safe,
/// double-quoted otherwise; for PostgreSQL quoted in upper case.
[[nodiscard]] std::string SqliteIdentifier(std::string_view name);

/// The dialect the statement being translated is written for.
[[nodiscard]] SqlDialect CurrentDialect() noexcept;

/// Sets the dialect of the translations made on this thread while it lives.
class DialectScope {
  public:
    explicit DialectScope(SqlDialect dialect) noexcept;
    DialectScope(const DialectScope&) = delete;
    DialectScope& operator=(const DialectScope&) = delete;
    DialectScope(DialectScope&&) = delete;
    DialectScope& operator=(DialectScope&&) = delete;
    ~DialectScope();

  private:
    SqlDialect previous_;
};

/// `sql` compared without regard to case: SQLite's NOCASE, PostgreSQL's nondeterministic
/// "nocase" collation (on text only: a collation on another type is an error there).
[[nodiscard]] std::string NoCase(const std::string& sql, ValueClass cls);

/// IFNULL in the statement's dialect.
[[nodiscard]] std::string IfNullFunction();

/// A numeric literal with the type SQL Server gives it (int, bigint, numeric(p,s), float).
[[nodiscard]] TypedSql NumberLiteral(const std::string& text);

/// A date given as text, in the stored form; the empty text is 1900-01-01 as in SQL Server,
/// other text that is no date fails when the statement runs.
[[nodiscard]] TypedSql DateLiteral(std::string_view text);

/// A string literal that a comparison with a date or a number reads differently from its
/// text: the empty string (1900-01-01, 0) and dates not in the stored form. Only for these
/// does a comparison look up the other side's type; other text compares as it is (SQLite's
/// column affinity reads numbers in text as numbers).
[[nodiscard]] bool MayBeReadAsAnother(const Expr& expr);

/// A string literal meeting a value of another class is read as that class, as SQL Server
/// converts it (the string has the lower precedence). Other expressions are left as they are.
[[nodiscard]] TypedSql CoerceTo(const Expr& expr, TypedSql typed, ValueClass target);

} // namespace kvad::db::tsql
