// Versioned schema: the embedded scripts are applied in version order, each with its version
// record in one savepoint, so a failing script leaves the file as it was.
#include "sqlite/sqlite_database.h"

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "savepoint.h"
#include "schema_scripts.h"
#include "sqlite_connection.h"
#include "sqlite_statement.h"

namespace kvad::db {

namespace {

/// The first line of a script that must run with foreign keys off.
constexpr std::string_view kForeignKeysOff = "-- kvad: foreign keys off";

constexpr std::string_view kVersionTable =
    "CREATE TABLE IF NOT EXISTS KVAD_SCHEMA_VERSION (\n"
    "    SCHEMA_VERSION  int          NOT NULL PRIMARY KEY,\n"
    "    SCHEMA_SCRIPT   varchar(100) COLLATE NOCASE NOT NULL,\n"
    "    SCHEMA_APPLIED  datetime     NOT NULL\n"
    ");\n";

/// Whether a row refers to a row that is not there (PRAGMA foreign_key_check finds one).
bool BrokenReferences(sqlite3* db) {
    sqlite3_stmt* check = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA foreign_key_check", -1, &check, nullptr) != SQLITE_OK) {
        return true;
    }
    const bool broken = sqlite3_step(check) != SQLITE_DONE;
    sqlite3_finalize(check);
    return broken;
}

void ApplyScript(Connection& connection, const SchemaScript& script) {
    std::string sql(kVersionTable);
    sql += script.sql;
    // The script may end in a comment or without a semicolon.
    sql += "\n;\nINSERT INTO KVAD_SCHEMA_VERSION (SCHEMA_VERSION, SCHEMA_SCRIPT, SCHEMA_APPLIED) "
           "VALUES (" +
           std::to_string(script.version) + ", '" + std::string(script.name) +
           "', strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime'));\n";
    const auto failed = [&](const std::string& why, const std::string& sqlState, DbCode code = {}) {
        return DbError("schema script " + std::string(script.name) +
                           " could not be applied: " + why,
                       sqlState, std::string(script.name), "KVAD_NSO schema", code);
    };
    sqlite3* db = AsSqlite(connection, sql).Handle();
    // A script that rebuilds a referenced table runs with foreign keys off, as SQLite's way of
    // changing a table's layout asks: dropping the old table would otherwise delete every row
    // that refers to it. The references are checked before the change is kept.
    const bool keysOff = script.sql.starts_with(kForeignKeysOff);
    if (keysOff) {
        if (sqlite3_get_autocommit(db) == 0) {
            throw failed("it rebuilds a table and cannot run inside a transaction", "HY000");
        }
        ExecuteNativeScript(connection, "PRAGMA foreign_keys = OFF;");
    }
    try {
        // A failing script leaves the file as it was.
        Savepoint together(db, "kvad_schema");
        try {
            ExecuteNativeScript(connection, sql);
        } catch (const DbError& e) {
            throw failed(e.Description(), e.SqlState(), e.Code());
        }
        if (keysOff && BrokenReferences(db)) {
            throw failed("rows would refer to documents that are not there", "23000");
        }
        together.Release();
    } catch (...) {
        if (keysOff) {
            ExecuteNativeScript(connection, "PRAGMA foreign_keys = ON;");
        }
        throw;
    }
    if (keysOff) {
        ExecuteNativeScript(connection, "PRAGMA foreign_keys = ON;");
    }
}

constexpr std::string_view kFindVersionTable =
    "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'KVAD_SCHEMA_VERSION'";

// Whether the file has the version table. Its absence is an answer, not a failure: nothing goes
// to the connection's error list, so that a later error message does not report it.
[[nodiscard]] bool HasVersionTable(Connection& connection) {
    SqliteConnection& sqlite = AsSqlite(connection, kFindVersionTable);
    return sqlite.Guarded(kFindVersionTable, [&] {
        Statement find(sqlite.Handle(), kFindVersionTable);
        return find.Step();
    });
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

int RecordedSchemaVersion(sqlite3* db) noexcept {
    sqlite3_stmt* read = nullptr;
    int version = 0;
    if (sqlite3_prepare_v2(db, "SELECT MAX(SCHEMA_VERSION) FROM KVAD_SCHEMA_VERSION", -1, &read,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(read) == SQLITE_ROW) {
        version = sqlite3_column_int(read, 0);
    }
    sqlite3_finalize(read);
    return version;
}

int LatestSchemaVersion() noexcept {
    return EmbeddedSchemaScripts().back().version;
}

int ApplySchema(Connection& connection, int upTo) {
    int version = SchemaVersion(connection);
    if (version > LatestSchemaVersion()) {
        throw DbError(
            "the file has schema version " + std::to_string(version) +
                ", newer than this program knows (" + std::to_string(LatestSchemaVersion()) + ")",
            "HY000", std::string(), "KVAD_NSO schema", DbCode{0, DatabaseCondition::NewerSchema});
    }
    for (const SchemaScript& script : EmbeddedSchemaScripts()) {
        if (script.version <= version || (upTo > 0 && script.version > upTo)) {
            continue;
        }
        ApplyScript(connection, script);
        version = script.version;
    }
    return version;
}

} // namespace kvad::db
