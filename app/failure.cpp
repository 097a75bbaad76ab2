#include "app/failure.h"

#include <iostream>

#include "app/database.h"
#include "app/session.h"

namespace nsoapp {
namespace {

// The detail's lines, indented beneath the message; the component separates them with CR LF or
// a lone CR.
void PrintDetail(const std::string& detail) {
    std::string line;
    const auto flush = [&] {
        if (!line.empty()) {
            std::cerr << "  " << line << "\n";
        }
        line.clear();
    };
    for (const char c : detail) {
        if (c == '\r' || c == '\n') {
            flush();
        } else {
            line += c;
        }
    }
    flush();
}

} // namespace

Failure::Failure(const std::string& message, std::string detail, int exitCode)
    : std::runtime_error(message), detail_(std::move(detail)), exitCode_(exitCode) {}

std::string DatabaseTrouble(const std::exception& error, const std::string& database) {
    const auto* db = dynamic_cast<const kvad::DbError*>(&error);
    return db != nullptr ? DatabaseTrouble(db->Condition(), database) : std::string();
}

std::string DatabaseTrouble(kvad::DatabaseCondition condition, const std::string& named) {
    using kvad::DatabaseCondition;
    const std::string database = ShownDatabase(named);
    switch (condition) {
    case DatabaseCondition::ReadOnly:
        return "the database " + database +
               " is read-only: nso must write to it; give this user write access to it and to "
               "its folder, or choose another with --db";
    case DatabaseCondition::Busy:
        return "the database " + database +
               " is busy: another program is writing to it; try again when it has finished";
    case DatabaseCondition::Full:
        return "the disk holding the database " + database +
               " is full: free some space and try again";
    case DatabaseCondition::NotDatabase:
        return database +
               " is not a database or is damaged: check --db, or let `nso init --db FILE` "
               "create a new one";
    case DatabaseCondition::CannotOpen:
        if (IsServerDatabase(named)) {
            return "the database " + database +
                   " cannot be reached: check that its server runs, that the database exists "
                   "and that this user may log in (the password in the settings file, "
                   "PGPASSWORD, a service file or ~/.pgpass)";
        }
        return "the database " + database +
               " cannot be opened: check that it and its folder exist and that this user may "
               "read and write them";
    case DatabaseCondition::NewerSchema:
        return database + " was written by a newer nso: use the newer nso";
    case DatabaseCondition::None:
        break;
    }
    return {};
}

Failure ComponentFailure(kvad::DatabaseCondition condition, const std::string& database,
                         const std::string& message) {
    if (std::string trouble = DatabaseTrouble(condition, database); !trouble.empty()) {
        return Failure(trouble, message);
    }
    return Failure(message);
}

kvad::DbError WithContext(const kvad::DbError& error, const std::string& context) {
    return {context + error.Description(), error.SqlState(), error.Statement(), error.Source(),
            error.Code()};
}

ToldFailure TellFailure(const std::exception& error, const std::string& database) {
    if (const auto* failure = dynamic_cast<const Failure*>(&error)) {
        return {failure->what(), failure->Detail(), failure->ExitCode()};
    }
    if (const auto* component = dynamic_cast<const kvad::read_model::ComponentFailure*>(&error)) {
        return TellFailure(AsFailure(*component, database), database);
    }
    if (std::string trouble = DatabaseTrouble(error, database); !trouble.empty()) {
        return {trouble, error.what(), kExitFailed};
    }
    return {error.what(), {}, kExitFailed};
}

int ReportFailure(const std::exception& error, bool verbose, const std::string& database,
                  bool json) {
    const ToldFailure told = TellFailure(error, database);
    if (json && !JsonPrinted()) {
        PrintFailureJson(told.message, told.exitCode);
    }
    std::cerr << "nso: " << told.message << "\n";
    if (verbose && !told.detail.empty()) {
        PrintDetail(told.detail);
    }
    return told.exitCode;
}

} // namespace nsoapp
