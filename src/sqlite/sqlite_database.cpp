#include "sqlite/sqlite_database.h"

#include <sqlite3.h>

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
