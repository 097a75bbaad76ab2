#include "sqlite/sqlite_database.h"

#include <sqlite3.h>

#include <initializer_list>
#include <utility>

#include "sqlite_connection.h"
#include "sqlite_error.h"

namespace kvad::db {

std::shared_ptr<Connection> OpenSqlite(const std::string& path, const OpenOptions& options) {
    return SqliteConnection::Open(path, options);
}

bool IsReadOnly(Connection& connection) {
    auto* sqlite = dynamic_cast<SqliteConnection*>(&connection);
    return sqlite != nullptr && sqlite->Handle() != nullptr &&
           sqlite3_db_readonly(sqlite->Handle(), "main") == 1;
}

DatabaseCondition ConditionOf(std::string_view errorText) {
    // SQLite's own texts for its primary result codes, as sqlite3_errmsg reports them.
    static const std::initializer_list<std::pair<int, DatabaseCondition>> kTexts = {
        {SQLITE_READONLY, DatabaseCondition::ReadOnly},
        {SQLITE_BUSY, DatabaseCondition::Busy},
        {SQLITE_LOCKED, DatabaseCondition::Busy},
        {SQLITE_FULL, DatabaseCondition::Full},
        {SQLITE_NOTADB, DatabaseCondition::NotDatabase},
        {SQLITE_CORRUPT, DatabaseCondition::NotDatabase},
        {SQLITE_CANTOPEN, DatabaseCondition::CannotOpen},
    };
    for (const auto& [code, condition] : kTexts) {
        if (errorText.find(sqlite3_errstr(code)) != std::string_view::npos) {
            return condition;
        }
    }
    return DatabaseCondition::None;
}

SqliteConnection& AsSqlite(Connection& connection, std::string_view statement) {
    auto* sqlite = dynamic_cast<SqliteConnection*>(&connection);
    if (sqlite == nullptr) {
        throw DbError("The connection is not a SQLite database.", "HY000", std::string(statement),
                      kProviderSource);
    }
    return *sqlite;
}

void ExecuteNativeScript(Connection& connection, const std::string& sql) {
    AsSqlite(connection, sql).ExecuteNative(sql);
}

} // namespace kvad::db
