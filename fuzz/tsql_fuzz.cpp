// Translates the input as one T-SQL statement and runs the translation on an in-memory database
// holding the translator's test tables, with the translator's SQL functions registered.
//
// The translator may refuse the input (DbError, SQL state 42000) and SQLite may fail the
// translated statement while running it (no such table, a conversion error, ...). A fault is
// anything else: a crash or sanitizer report, a hang, another kind of exception out of the
// translator, or a translation SQLite cannot read as exactly one well-formed statement.

#include <sqlite3.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "kvad_nso/errors.h"
#include "tsql_test_db.h"

namespace {

using kvad::db::Translation;
using kvad::db::testing::TsqlTestDb;

// A statement stops after this many progress calls of kProgressSteps virtual-machine steps
// (a recursive common table expression may run forever, as it does on SQL Server).
constexpr int kProgressSteps = 1000;
constexpr int kProgressCalls = 200;
// Longest text or blob a statement may build.
constexpr int kMaxLength = 1'000'000;

struct Fixture {
    TsqlTestDb db;
    int progressCalls = 0;

    Fixture() {
        db.LoadTestSchema();
        sqlite3_limit(db.Handle(), SQLITE_LIMIT_LENGTH, kMaxLength);
        sqlite3_progress_handler(db.Handle(), kProgressSteps, &Fixture::Progress, this);
    }

    static int Progress(void* self) {
        auto* fixture = static_cast<Fixture*>(self);
        return ++fixture->progressCalls > kProgressCalls ? 1 : 0;
    }
};

[[noreturn]] void Fault(const std::string& what, const Translation& translation) {
    std::fprintf(stderr, "tsql_fuzz: %s\ntranslation: %s\n", what.c_str(), translation.sql.c_str());
    std::abort();
}

// SQLite messages that only a malformed statement gives: the translator wrote something that is
// not SQL, or called a function it does not provide. Matched where SQLite puts its own words, so
// that names and text of the statement quoted in a message do not count.
bool IsMalformed(std::string_view message) {
    message = message.substr(0, message.find(" in: ")); // the statement the test helper appends
    if (message.starts_with("near ") && message.ends_with(": syntax error")) {
        return true;
    }
    constexpr std::array<std::string_view, 4> kStarts = {
        "unrecognized token:", "incomplete input",
        "no such function:", "wrong number of arguments to function "};
    for (const std::string_view start : kStarts) {
        if (message.starts_with(start)) {
            return true;
        }
    }
    return false;
}

// The translation is exactly one statement: nothing but blanks may follow it.
void CheckOneStatement(sqlite3* db, const Translation& translation) {
    const std::string& sql = translation.sql;
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail);
    const std::string message = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_OK) {
        if (IsMalformed(message)) {
            Fault("SQLite cannot read the translation: " + message, translation);
        }
        return;
    }
    if (stmt == nullptr) {
        Fault("the translation is empty", translation);
    }
    const std::string_view rest(tail, static_cast<std::size_t>(sql.data() + sql.size() - tail));
    if (rest.find_first_not_of(" \t\r\n") != std::string_view::npos) {
        Fault("text after the translated statement", translation);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    Translation translation;
    try {
        translation = fixture.db.Translate(input);
    } catch (const kvad::DbError& e) {
        if (e.SqlState() != "42000") {
            std::fprintf(stderr, "tsql_fuzz: refusal with SQL state %s: %s\n", e.SqlState().c_str(),
                         e.what());
            std::abort();
        }
        return 0;
    }
    sqlite3* db = fixture.db.Handle();
    CheckOneStatement(db, translation);
    // Every statement runs in a savepoint rolled back afterwards: each input meets the same
    // empty tables.
    fixture.db.Exec("SAVEPOINT fuzz");
    fixture.progressCalls = 0;
    try {
        (void)fixture.db.Execute(translation);
    } catch (const std::runtime_error& e) {
        if (IsMalformed(e.what())) {
            Fault(std::string("SQLite cannot read the translation: ") + e.what(), translation);
        }
    }
    fixture.progressCalls = 0;
    fixture.db.Exec("ROLLBACK TO fuzz; RELEASE fuzz");
    return 0;
}
