#pragma once
// A prepared SQLite statement owned by RAII, or lent by a connection's statement cache.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "value_codec.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kvad::db {

class StatementCache;

/// The value of a statement parameter: a whole number or a text.
using ParameterValue = std::variant<std::int64_t, std::string>;

/// One prepared statement; finalized when it goes out of scope, or given back (reset, its
/// parameters cleared) to the cache that lent it.
class Statement {
  public:
    /// Prepares exactly one statement; text after it other than blanks and ';' is refused.
    /// Throws DbError (42000 when SQLite cannot prepare it).
    Statement(sqlite3* db, std::string_view sql);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    ~Statement();

    /// Prepares the first statement of `sql` and moves `sql` past it; an empty statement
    /// (only blanks or comments left) gives a statement whose Get() is null. `sql` must end
    /// where a NUL-terminated text ends (the tail of a std::string).
    [[nodiscard]] static Statement PrepareNext(sqlite3* db, std::string_view& sql);

    /// Steps once; true when a row is ready. Throws DbError.
    [[nodiscard]] bool Step();
    /// Steps until done, for statements that return no rows.
    void Run();
    void Reset() noexcept;

    void Bind(int index, const Variant& value, ValueKind target, TextLife life = TextLife::Copied);
    void BindInt64(int index, long long value);
    /// Binds the values to parameters ?1, ?2, ... in order.
    void BindParameters(const std::vector<ParameterValue>& values);

    [[nodiscard]] int ColumnCount() const noexcept;
    [[nodiscard]] Variant Column(int index, ValueKind kind) const;

    [[nodiscard]] sqlite3_stmt* Get() const noexcept { return stmt_; }
    [[nodiscard]] std::string_view Sql() const noexcept { return sql_; }

  private:
    friend class StatementCache;

    /// The value of a statement parameter: a whole number or a text.
    using ParameterValue = std::variant<std::int64_t, std::string>;
    /// A statement lent by `cache`; `sql` stays valid while it is lent.
    Statement(sqlite3* db, sqlite3_stmt* stmt, std::string_view sql, StatementCache* cache,
              void* lease) noexcept
        : db_(db), stmt_(stmt), sql_(sql), cache_(cache), lease_(lease) {}
    Statement(sqlite3* db, sqlite3_stmt* stmt, std::string sql) noexcept;
    void Let() noexcept;

    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
    std::string owned_; ///< the text of a statement of its own
    std::string_view sql_;
    StatementCache* cache_ = nullptr;
    void* lease_ = nullptr;
};

/// Prepares `sql` (exactly one statement), checking that no text follows it. The caller owns
/// the result. Throws DbError as Statement's constructor does.
[[nodiscard]] sqlite3_stmt* PrepareOne(sqlite3* db, const std::string& sql);

} // namespace kvad::db
