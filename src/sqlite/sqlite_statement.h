#pragma once
// A prepared SQLite statement owned by RAII.

#include <memory>
#include <string>
#include <string_view>

#include "value_codec.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kvad::db {

/// One prepared statement; finalized when it goes out of scope.
class Statement {
  public:
    /// Prepares exactly one statement; text after it other than blanks and ';' is refused.
    /// Throws DbError (42000 when SQLite cannot prepare it).
    Statement(sqlite3* db, std::string_view sql);

    /// Prepares the first statement of `sql` and moves `sql` past it; an empty statement
    /// (only blanks or comments left) gives a statement whose Get() is null.
    [[nodiscard]] static Statement PrepareNext(sqlite3* db, std::string_view& sql);

    /// Steps once; true when a row is ready. Throws DbError.
    [[nodiscard]] bool Step();
    /// Steps until done, for statements that return no rows.
    void Run();
    void Reset() noexcept;

    void Bind(int index, const Variant& value, ValueKind target);
    void BindInt64(int index, long long value);

    [[nodiscard]] int ColumnCount() const noexcept;
    [[nodiscard]] Variant Column(int index, ValueKind kind) const;

    [[nodiscard]] sqlite3_stmt* Get() const noexcept { return stmt_.get(); }
    [[nodiscard]] const std::string& Sql() const noexcept { return sql_; }

  private:
    struct Finalizer {
        void operator()(sqlite3_stmt* stmt) const noexcept;
    };
    Statement(sqlite3* db, std::unique_ptr<sqlite3_stmt, Finalizer> stmt, std::string sql)
        : db_(db), stmt_(std::move(stmt)), sql_(std::move(sql)) {}

    sqlite3* db_;
    std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
    std::string sql_;
};

} // namespace kvad::db
