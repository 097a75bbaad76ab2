#include "sqlite/sqlite_database.h"

#include "sqlite_connection.h"
#include "sqlite_error.h"

namespace kvad::db {

std::shared_ptr<Connection> OpenSqlite(const std::string& path, const OpenOptions& options) {
    return SqliteConnection::Open(path, options);
}

void ExecuteNativeScript(Connection& connection, const std::string& sql) {
    auto* sqlite = dynamic_cast<SqliteConnection*>(&connection);
    if (sqlite == nullptr) {
        throw DbError("The connection is not a SQLite database.", "HY000", sql, kProviderSource);
    }
    sqlite->ExecuteNative(sql);
}

} // namespace kvad::db
