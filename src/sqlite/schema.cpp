// Versioned schema: the embedded scripts are applied in version order, each with its version
// record in one savepoint, so a failing script leaves the file as it was.
#include "sqlite/sqlite_database.h"

#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "savepoint.h"
#include "schema_scripts.h"
#include "sqlite_connection.h"

namespace kvad::db {

namespace {

constexpr std::string_view kVersionTable =
    "CREATE TABLE IF NOT EXISTS KVAD_SCHEMA_VERSION (\n"
    "    SCHEMA_VERSION  int          NOT NULL PRIMARY KEY,\n"
    "    SCHEMA_SCRIPT   varchar(100) COLLATE NOCASE NOT NULL,\n"
    "    SCHEMA_APPLIED  datetime     NOT NULL\n"
    ");\n";

void ApplyScript(Connection& connection, const SchemaScript& script) {
    std::string sql(kVersionTable);
    sql += script.sql;
    // The script may end in a comment or without a semicolon.
    sql += "\n;\nINSERT INTO KVAD_SCHEMA_VERSION (SCHEMA_VERSION, SCHEMA_SCRIPT, SCHEMA_APPLIED) "
           "VALUES (" +
           std::to_string(script.version) + ", '" + std::string(script.name) +
           "', strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime'));\n";
    // A failing script leaves the file as it was.
    Savepoint together(AsSqlite(connection, sql).Handle(), "kvad_schema");
    try {
        ExecuteNativeScript(connection, sql);
    } catch (const DbError& e) {
        throw DbError("schema script " + std::string(script.name) +
                          " could not be applied: " + e.Description(),
                      e.SqlState(), std::string(script.name), e.Source());
    }
    together.Release();
}

// Whether the file has the version table; any failure other than its absence is an error. The
// absence is an answer, not a failure: the connection's error list stays as it was, so that a
// later error message does not report it.
[[nodiscard]] bool HasVersionTable(Connection& connection) {
    std::vector<ProviderError> before = connection.Errors();
    try {
        ExecuteNativeScript(connection, "SELECT SCHEMA_VERSION FROM KVAD_SCHEMA_VERSION LIMIT 0;");
        return true;
    } catch (const DbError& e) {
        if (e.Description().find("no such table") != std::string::npos) {
            connection.Errors() = std::move(before);
            return false;
        }
        throw;
    }
}

} // namespace

int SchemaVersion(Connection& connection) {
    if (!HasVersionTable(connection)) {
        return 0;
    }
    const auto result =
        connection.Query("SELECT MAX(SCHEMA_VERSION) AS SCHEMA_VERSION FROM KVAD_SCHEMA_VERSION");
    if (result->Eof()) {
        return 0;
    }
    const Variant version = result->Value("SCHEMA_VERSION");
    return version.IsNull() ? 0 : version.ToLong();
}

int LatestSchemaVersion() noexcept {
    return EmbeddedSchemaScripts().back().version;
}

int ApplySchema(Connection& connection) {
    int version = SchemaVersion(connection);
    for (const SchemaScript& script : EmbeddedSchemaScripts()) {
        if (script.version <= version) {
            continue;
        }
        ApplyScript(connection, script);
        version = script.version;
    }
    return version;
}

} // namespace kvad::db
