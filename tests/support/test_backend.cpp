#include "support/test_backend.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "kvad_nso/errors.h"
#include "postgres/pg_database.h"
#include "sqlite/sqlite_database.h"

namespace kvad::test {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string ServerUri() {
    std::string uri = Environment("KVAD_PG_URI");
    if (uri.empty()) {
        throw std::runtime_error("KVAD_TEST_BACKEND=postgresql needs KVAD_PG_URI (run under "
                                 "scripts/pg_cluster.sh)");
    }
    return uri;
}

// The URI of another database on the same server.
std::string WithDatabase(const std::string& uri, const std::string& name) {
    const std::size_t slash = uri.find('/', uri.find("://") + 3);
    const std::size_t query = uri.find('?', slash);
    return uri.substr(0, slash + 1) + name + (query == std::string::npos ? "" : uri.substr(query));
}

// The database every test's is copied from, made once per cluster with the schema applied: a
// copy is much quicker than applying the schema.
constexpr const char* kTemplate = "kvad_test_template";

void EnsureTemplate(Connection& admin, const std::string& server) {
    // One process makes it while the others wait on the lock.
    db::ExecutePostgresScript(admin, "SELECT pg_advisory_lock(4242)");
    try {
        try {
            (void)db::OpenPostgres(WithDatabase(server, kTemplate));
        } catch (const DbError&) {
            // Made under another name and renamed once complete, so that a process that died
            // while making it leaves no half-made template.
            const std::string making = std::string(kTemplate) + "_making";
            db::ExecutePostgresScript(admin, "DROP DATABASE IF EXISTS " + making);
            db::ExecutePostgresScript(admin, "CREATE DATABASE " + making);
            {
                auto made = db::OpenPostgres(WithDatabase(server, making));
                (void)db::ApplyPostgresSchema(*made);
            }
            db::ExecutePostgresScript(admin, "ALTER DATABASE " + making + " RENAME TO " +
                                                 std::string(kTemplate));
        }
    } catch (...) {
        db::ExecutePostgresScript(admin, "SELECT pg_advisory_unlock(4242)");
        throw;
    }
    db::ExecutePostgresScript(admin, "SELECT pg_advisory_unlock(4242)");
}

// How a test's database is copied from its template. From PostgreSQL 15 on, a copy goes through
// the write-ahead log unless told to copy the files; for databases this small the files are
// copied in less than half the time.
std::string CopyStrategy(const std::string& server) {
    static const std::string strategy =
        std::stol(ServerValue(server, "SHOW server_version_num")) >= 150000
            ? std::string(" STRATEGY FILE_COPY")
            : std::string();
    return strategy;
}

// A database name no other test program on the server uses.
std::string NewServerName() {
    static int counter = 0;
    return "kvad_t" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

} // namespace

bool OnPostgres() {
    static const bool on = Environment("KVAD_TEST_BACKEND") == "postgresql";
    return on;
}

TestDatabase::TestDatabase(const std::filesystem::path& file, Contents contents) {
    if (!OnPostgres()) {
        name_ = file.string();
        return;
    }
    serverName_ = NewServerName();
    const std::string server = ServerUri();
    const auto admin = db::OpenPostgres(server);
    if (contents == Contents::Schema) {
        EnsureTemplate(*admin, server);
        db::ExecutePostgresScript(*admin, "CREATE DATABASE " + serverName_ + " TEMPLATE " +
                                              kTemplate + CopyStrategy(server));
    } else {
        db::ExecutePostgresScript(*admin, "CREATE DATABASE " + serverName_);
    }
    name_ = WithDatabase(server, serverName_);
}

TestDatabase::TestDatabase(const std::filesystem::path& file, const TestDatabase& source) {
    if (!OnPostgres()) {
        name_ = file.string();
        for (const char* suffix : {"", "-wal"}) {
            const std::filesystem::path from = source.Name() + suffix;
            if (std::filesystem::exists(from)) {
                std::filesystem::copy_file(from, name_ + suffix,
                                           std::filesystem::copy_options::overwrite_existing);
            }
        }
        return;
    }
    serverName_ = NewServerName();
    const std::string server = ServerUri();
    db::ExecutePostgresScript(*db::OpenPostgres(server), "CREATE DATABASE " + serverName_ +
                                                             " TEMPLATE " + source.serverName_ +
                                                             CopyStrategy(server));
    name_ = WithDatabase(server, serverName_);
}

TestDatabase::~TestDatabase() {
    connection_.reset();
    if (serverName_.empty()) {
        return;
    }
    try {
        const auto admin = db::OpenPostgres(ServerUri());
        db::ExecutePostgresScript(*admin,
                                  "DROP DATABASE IF EXISTS " + serverName_ + " WITH (FORCE)");
    } catch (const std::exception&) {
        // The throwaway cluster goes with its databases.
    }
}

std::shared_ptr<Connection> TestDatabase::Open() {
    if (!connection_) {
        if (OnPostgres()) {
            connection_ = db::OpenPostgres(name_);
        } else {
            connection_ = db::OpenSqlite(name_);
            db::ApplySchema(*connection_);
        }
    }
    return connection_;
}

std::string ServerValue(const std::string& uri, const std::string& sql) {
    const std::unique_ptr<PGconn, void (*)(PGconn*)> server(PQconnectdb(uri.c_str()), PQfinish);
    if (PQstatus(server.get()) != CONNECTION_OK) {
        throw std::runtime_error("cannot reach " + uri + ": " + PQerrorMessage(server.get()));
    }
    const std::unique_ptr<PGresult, void (*)(PGresult*)> result(PQexec(server.get(), sql.c_str()),
                                                                PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        throw std::runtime_error(sql + ": " + PQerrorMessage(server.get()));
    }
    if (PQntuples(result.get()) == 0 || PQnfields(result.get()) == 0) {
        return {};
    }
    return PQgetisnull(result.get(), 0, 0) != 0 ? "null" : PQgetvalue(result.get(), 0, 0);
}

void RunTestSql(Connection& connection, const std::string& sql) {
    if (!OnPostgres()) {
        db::ExecuteNativeScript(connection, sql);
        return;
    }
    // Statements end at a semicolon outside quotes.
    std::string statement;
    bool quoted = false;
    for (const char c : sql) {
        if (c == '\'') {
            quoted = !quoted;
        }
        if (c == ';' && !quoted) {
            if (statement.find_first_not_of(" \t\r\n") != std::string::npos) {
                (void)connection.Execute(statement);
            }
            statement.clear();
        } else {
            statement += c;
        }
    }
    if (statement.find_first_not_of(" \t\r\n") != std::string::npos) {
        (void)connection.Execute(statement);
    }
}

} // namespace kvad::test
