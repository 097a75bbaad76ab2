// "nso db copy --to postgresql://...": moves an embedded database up to a server database. The
// server database gets the schema when it has none and must hold no rows; every row is copied
// with its id in one transaction, checked table by table (row count and checksum) before it is
// committed.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/database.h"
#include "app/failure.h"
#include "kvad_nso/connection.h"
#include "postgres/pg_database.h"
#include "sqlite/sqlite_database.h" // LatestSchemaVersion

namespace nsoapp {

namespace {

std::string Hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// Opens the server database, refused when it is not empty: a database that already has the
// schema (nso init made it) or holds rows in any table.
std::shared_ptr<kvad::Connection> OpenEmptyTarget(const std::string& to) {
    const std::string shown = ShownDatabase(to);
    std::shared_ptr<kvad::Connection> target;
    try {
        target = OpenNsoDatabase(to, false);
    } catch (const kvad::DbError& e) {
        throw WithContext(e, "cannot open " + shown + ": ");
    }
    const char* const advice =
        ": nso db copy only copies into an empty database; create a new one (createdb) and copy "
        "into that, nso db copy gives it the schema";
    if (const int version = DatabaseSchemaVersion(*target, to); version > 0) {
        throw Failure(shown + " is not empty: it already has the nso schema (version " +
                      std::to_string(version) + ")" + advice);
    }
    if (const long rows = kvad::db::CountRowsInUserTables(*target); rows > 0) {
        throw Failure(shown + " is not empty (" + std::to_string(rows) + " rows)" + advice);
    }
    return target;
}

} // namespace

void RunDbCopy(const Settings& settings, const DbCopyOptions& options) {
    const std::string& from = settings.database;
    if (IsServerDatabase(from)) {
        throw Failure("nso db copy copies an embedded database file, and " + ShownDatabase(from) +
                      " is a server database: give the file with --db FILE");
    }
    if (!IsServerDatabase(options.to)) {
        throw Failure("--to " + options.to + " is not a server database: give a postgresql:// URI",
                      {}, kExitUsage);
    }
    RefuseCommandLinePassword(options.to);

    std::shared_ptr<kvad::Connection> source;
    try {
        source = OpenNsoDatabase(from, false);
    } catch (const kvad::DbError& e) {
        throw WithContext(e, "cannot open " + from + ": ");
    }
    const int version = DatabaseSchemaVersion(*source, from);
    if (version != kvad::db::LatestSchemaVersion()) {
        throw Failure(from + " has schema version " + std::to_string(version) + ", not " +
                      std::to_string(kvad::db::LatestSchemaVersion()) +
                      ": bring it up to date with nso init first");
    }
    const std::shared_ptr<kvad::Connection> target = OpenEmptyTarget(options.to);

    // One read transaction on the file: every table is copied as of the same moment, even while
    // another nso writes to it.
    kvad::TransactionScope snapshot(*source);
    std::vector<kvad::db::CopiedTable> tables;
    try {
        // The schema and the rows in one transaction: a failed copy leaves the server database
        // as empty as it was.
        kvad::TransactionScope copy(*target);
        const int after = ApplyDatabaseSchema(*target, options.to);
        tables = kvad::db::CopyIntoPostgres(*source, *target);
        copy.Commit();
        std::cout << "created schema version " << after << " in " << ShownDatabase(options.to)
                  << '\n';
    } catch (const kvad::DbError& e) {
        throw WithContext(e, "cannot copy " + from + " to " + ShownDatabase(options.to) + ": ");
    }
    long rows = 0;
    for (const kvad::db::CopiedTable& table : tables) {
        std::cout << table.table << ": " << table.copiedRows << " rows, checksum "
                  << Hex(table.copiedChecksum) << '\n';
        rows += table.copiedRows;
    }
    std::cout << "copied " << rows << " rows in " << tables.size() << " tables from " << from
              << " to " << ShownDatabase(options.to)
              << "; row counts and checksums equal the source's\n";
}

} // namespace nsoapp
