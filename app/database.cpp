#include "app/database.h"

#include "app/failure.h"
#include "postgres/pg_database.h"
#include "sqlite/sqlite_database.h"

namespace nsoapp {

bool IsServerDatabase(std::string_view database) noexcept {
    return kvad::db::IsPostgresUri(database);
}

bool UriHasPassword(std::string_view database) noexcept {
    if (!IsServerDatabase(database)) {
        return false;
    }
    const std::size_t authority = database.find("://") + 3;
    const std::size_t end = database.find_first_of("/?", authority);
    const std::string_view host = database.substr(authority, end - authority);
    const std::size_t at = host.rfind('@');
    if (at != std::string_view::npos && host.substr(0, at).find(':') != std::string_view::npos) {
        return true;
    }
    const std::size_t query = database.find('?');
    if (query == std::string_view::npos) {
        return false;
    }
    const std::string_view parameters = database.substr(query);
    return parameters.find("?password=") != std::string_view::npos ||
           parameters.find("&password=") != std::string_view::npos;
}

std::string ShownDatabase(std::string_view database) {
    return IsServerDatabase(database) ? kvad::db::RedactedUri(database) : std::string(database);
}

void RefuseCommandLinePassword(std::string_view database) {
    if (UriHasPassword(database)) {
        throw Failure("a password does not go on the command line, where other users of this "
                      "machine can read it: put the database URI in the settings file, or "
                      "give the password through PGPASSWORD, a service file or ~/.pgpass",
                      std::string(), kExitUsage);
    }
}

std::shared_ptr<kvad::Connection> OpenNsoDatabase(const std::string& database, bool create) {
    if (IsServerDatabase(database)) {
        return kvad::db::OpenPostgres(database);
    }
    return kvad::db::OpenSqlite(database, kvad::db::OpenOptions{create, 5000});
}

int DatabaseSchemaVersion(kvad::Connection& connection, std::string_view database) {
    return IsServerDatabase(database) ? kvad::db::PostgresSchemaVersion(connection)
                                      : kvad::db::SchemaVersion(connection);
}

int ApplyDatabaseSchema(kvad::Connection& connection, std::string_view database) {
    return IsServerDatabase(database) ? kvad::db::ApplyPostgresSchema(connection)
                                      : kvad::db::ApplySchema(connection);
}

bool DatabaseIsReadOnly(kvad::Connection& connection) {
    return kvad::db::IsReadOnly(connection);
}

} // namespace nsoapp
