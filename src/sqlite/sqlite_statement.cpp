#include "sqlite_statement.h"

#include <sqlite3.h>

#include "kvad_nso/errors.h"
#include "sqlite_error.h"

namespace kvad::db {

namespace {

bool OnlyBlanksLeft(std::string_view rest) {
    return rest.find_first_not_of(" \t\r\n;") == std::string_view::npos;
}

} // namespace

void Statement::Finalizer::operator()(sqlite3_stmt* stmt) const noexcept {
    sqlite3_finalize(stmt);
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db), sql_(sql) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &tail);
    stmt_.reset(raw);
    if (rc != SQLITE_OK) {
        ThrowSqliteError(db, rc, sql, true);
    }
    if (stmt_ == nullptr) {
        throw DbError("The statement is empty.", "42000", std::string(sql), kProviderSource);
    }
    const auto used = static_cast<std::size_t>(tail - sql.data());
    if (!OnlyBlanksLeft(sql.substr(used))) {
        throw DbError("Only one statement can be run at a time: text follows the statement.",
                      "42000", std::string(sql), kProviderSource);
    }
}

Statement Statement::PrepareNext(sqlite3* db, std::string_view& sql) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &tail);
    std::unique_ptr<sqlite3_stmt, Finalizer> owned(raw);
    if (rc != SQLITE_OK) {
        ThrowSqliteError(db, rc, sql, true);
    }
    const auto used = static_cast<std::size_t>(tail - sql.data());
    std::string text(sql.substr(0, used));
    sql.remove_prefix(used);
    return Statement(db, std::move(owned), std::move(text));
}

bool Statement::Step() {
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    std::string message = sqlite3_errmsg(db_);
    sqlite3_reset(stmt_.get());
    std::string state = SqlStateOf(rc, message, false);
    throw DbError(message, std::move(state), sql_, kProviderSource);
}

void Statement::Run() {
    while (Step()) {
    }
}

void Statement::Reset() noexcept {
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
}

void Statement::Bind(int index, const Variant& value, ValueKind target) {
    try {
        BindValue(stmt_.get(), index, value, target);
    } catch (const DbError& error) {
        // A value that does not convert fails the statement it was meant for.
        throw DbError(error.Description(), error.SqlState(), sql_, error.Source());
    }
}

void Statement::BindInt64(int index, long long value) {
    sqlite3_bind_int64(stmt_.get(), index, value);
}

int Statement::ColumnCount() const noexcept {
    return sqlite3_column_count(stmt_.get());
}

Variant Statement::Column(int index, ValueKind kind) const {
    return ReadColumn(stmt_.get(), index, kind);
}

} // namespace kvad::db
