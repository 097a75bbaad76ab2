#include "sqlite_statement.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

#include "kvad_nso/errors.h"
#include "sqlite_error.h"
#include "statement_cache.h"

namespace kvad::db {

namespace {

bool OnlyBlanksLeft(std::string_view rest) {
    return rest.find_first_not_of(" \t\r\n;") == std::string_view::npos;
}

/// Prepares the first statement of `sql`, whose text goes on to a terminating NUL: counting it
/// spares SQLite a copy of the text. Sets `used` to the characters it took; null for blanks or
/// comments only. Throws the database's error.
sqlite3_stmt* PrepareFirst(sqlite3* db, std::string_view sql, std::size_t& used) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size() + 1), &raw, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(raw);
        ThrowSqliteError(db, rc, sql, true);
    }
    used = std::min(static_cast<std::size_t>(tail - sql.data()), sql.size());
    return raw;
}

} // namespace

sqlite3_stmt* PrepareOne(sqlite3* db, const std::string& sql) {
    std::size_t used = 0;
    sqlite3_stmt* raw = PrepareFirst(db, sql, used);
    if (raw == nullptr) {
        throw DbError("The statement is empty.", "42000", std::string(sql), kProviderSource);
    }
    if (!OnlyBlanksLeft(std::string_view(sql).substr(used))) {
        sqlite3_finalize(raw);
        throw DbError("Only one statement can be run at a time: text follows the statement.",
                      "42000", std::string(sql), kProviderSource);
    }
    return raw;
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db), owned_(sql), sql_(owned_) {
    stmt_ = PrepareOne(db, owned_);
}

Statement::Statement(sqlite3* db, sqlite3_stmt* stmt, std::string sql) noexcept
    : db_(db), stmt_(stmt), owned_(std::move(sql)), sql_(owned_) {}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)), owned_(std::move(other.owned_)),
      sql_(other.cache_ != nullptr ? other.sql_ : owned_),
      cache_(std::exchange(other.cache_, nullptr)), lease_(std::exchange(other.lease_, nullptr)) {
    other.sql_ = {};
}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        Let();
        db_ = other.db_;
        stmt_ = std::exchange(other.stmt_, nullptr);
        owned_ = std::move(other.owned_);
        sql_ = other.cache_ != nullptr ? other.sql_ : std::string_view(owned_);
        cache_ = std::exchange(other.cache_, nullptr);
        lease_ = std::exchange(other.lease_, nullptr);
        other.sql_ = {};
    }
    return *this;
}

Statement::~Statement() {
    Let();
}

void Statement::Let() noexcept {
    if (stmt_ == nullptr) {
        return;
    }
    if (cache_ != nullptr) {
        cache_->GiveBack(lease_);
    } else {
        sqlite3_finalize(stmt_);
    }
    stmt_ = nullptr;
    cache_ = nullptr;
    lease_ = nullptr;
}

Statement Statement::PrepareNext(sqlite3* db, std::string_view& sql) {
    std::size_t used = 0;
    sqlite3_stmt* raw = PrepareFirst(db, sql, used);
    std::string text(sql.substr(0, used));
    sql.remove_prefix(used);
    return Statement(db, raw, std::move(text));
}

bool Statement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    // The error is the handle's until the statement is reset: it is read first.
    const int code = sqlite3_extended_errcode(db_);
    const std::string message = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_);
    throw DbError(message, SqlStateOf(code, false), std::string(sql_), kProviderSource,
                  CodeOf(code));
}

void Statement::Run() {
    while (Step()) {
    }
}

void Statement::Reset() noexcept {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

void Statement::Bind(int index, const Variant& value, ValueKind target, TextLife life) {
    try {
        BindValue(stmt_, index, value, target, life);
    } catch (const DbError& error) {
        // A value that does not convert fails the statement it was meant for.
        throw DbError(error.Description(), error.SqlState(), std::string(sql_), error.Source(),
                      error.Code());
    }
}

void Statement::BindInt64(int index, long long value) {
    sqlite3_bind_int64(stmt_, index, value);
}

void Statement::BindParameters(const std::vector<ParameterValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int index = static_cast<int>(i + 1);
        if (const auto* number = std::get_if<std::int64_t>(&values[i])) {
            sqlite3_bind_int64(stmt_, index, *number);
        } else {
            const std::string& text = std::get<std::string>(values[i]);
            sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                SQLITE_UTF8);
        }
    }
}

int Statement::ColumnCount() const noexcept {
    return sqlite3_column_count(stmt_);
}

Variant Statement::Column(int index, ValueKind kind) const {
    return ReadColumn(stmt_, index, kind);
}

} // namespace kvad::db
