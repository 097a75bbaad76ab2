#pragma once
// The database of a folder the built nso runs in, on the backend the tests run on: the file
// nso.db in the folder on SQLite; on PostgreSQL a server database of the folder's own, empty as
// a folder without nso.db is (`nso init` gives it the schema), made when first asked for and
// dropped when the test program ends.

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "kvad_nso/connection.h"
#include "postgres/pg_database.h"
#include "sqlite/sqlite_database.h"
#include "support/test_backend.h"

namespace kvad::test {

namespace folder_db_detail {

/// The server databases of the folders, by folder.
inline std::map<std::string, std::unique_ptr<TestDatabase>>& ServerDatabases() {
    static std::map<std::string, std::unique_ptr<TestDatabase>> databases;
    return databases;
}

inline std::string Key(const std::filesystem::path& folder) {
    return std::filesystem::absolute(folder).lexically_normal().string();
}

} // namespace folder_db_detail

/// What `nso --db` takes in the folder: "nso.db" (the folder is nso's working folder), or the
/// server database's URI.
inline std::string FolderDb(const std::filesystem::path& folder) {
    if (!OnPostgres()) {
        return "nso.db";
    }
    auto& databases = folder_db_detail::ServerDatabases();
    auto& database = databases[folder_db_detail::Key(folder)];
    if (!database) {
        database = std::make_unique<TestDatabase>(folder / "nso.db", TestDatabase::Contents::Empty);
    }
    return database->Name();
}

/// The folder's database as another program names it: the file's path, or the URI.
inline std::string FolderDbName(const std::filesystem::path& folder) {
    return OnPostgres() ? FolderDb(folder) : (folder / "nso.db").string();
}

/// A new connection to the folder's database (an SQLite file is not made when missing). Throws
/// DbError when it cannot be opened.
inline std::shared_ptr<Connection> OpenFolderDb(const std::filesystem::path& folder) {
    if (OnPostgres()) {
        return db::OpenPostgres(FolderDb(folder));
    }
    return db::OpenSqlite((folder / "nso.db").string(), db::OpenOptions{false, 5000});
}

/// Makes the database of the folder `to` a copy of that of `from` as a finished command left it
/// (nothing may be connected to it).
inline void CopyFolderDb(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!OnPostgres()) {
        for (const char* file : {"nso.db", "nso.db-wal"}) {
            if (std::filesystem::exists(from / file)) {
                std::filesystem::copy_file(from / file, to / file,
                                           std::filesystem::copy_options::overwrite_existing);
            }
        }
        return;
    }
    (void)FolderDb(from);
    auto& databases = folder_db_detail::ServerDatabases();
    auto& database = databases[folder_db_detail::Key(to)];
    database.reset();
    database =
        std::make_unique<TestDatabase>(to / "nso.db", *databases.at(folder_db_detail::Key(from)));
}

/// Drops the folder's server database (a test that makes many folders keeps few at a time);
/// nothing on SQLite, where the database goes with the folder.
inline void ForgetFolderDb(const std::filesystem::path& folder) {
    if (OnPostgres()) {
        folder_db_detail::ServerDatabases().erase(folder_db_detail::Key(folder));
    }
}

} // namespace kvad::test
