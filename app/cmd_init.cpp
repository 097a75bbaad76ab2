// "nso init": creates the database file if needed (a server database must exist, empty or not)
// and brings its schema to the latest version.
#include "app/commands.h"

#include <exception>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/database.h"
#include "app/demo_data.h"
#include "app/failure.h"
#include "app/work_lock.h"
#include "kvad_nso/read_model/company.h"
#include "sqlite/sqlite_database.h" // LatestSchemaVersion

namespace nsoapp {

namespace {

// Runs a step and turns its failure into a message that says what was being done.
template <typename Step> auto Attempt(const std::string& what, Step&& step) {
    try {
        return step();
    } catch (const kvad::DbError& e) {
        throw WithContext(e, what + ": ");
    } catch (const std::exception& e) {
        throw std::runtime_error(what + ": " + e.what());
    }
}

// Registers the settings' company, so that its configuration can be written.
void RegisterSettingsCompany(kvad::Connection& connection, const Settings& settings) {
    if (kvad::read_model::RegisterCompany(connection, settings.company, settings.companyVat)) {
        std::cout << "registered company " << settings.company << " (VAT " << settings.companyVat
                  << ")\n";
    }
}

void InitDatabase(const std::string& database, const Settings& settings,
                  const InitOptions& options) {
    const std::string file = ShownDatabase(database);
    const std::shared_ptr<kvad::Connection> connection =
        Attempt("cannot open " + file, [&] { return OpenNsoDatabase(database, true); });
    // The schema, the company's registration and the demo set are what the clerk's commands
    // read: not changed while one of them runs for the company.
    const WorkLock lock = LockCompany(database, settings.company, kvad::db::CompanyWork::Clerk,
                                      "nso init", options.waitSeconds);
    const int before = Attempt("cannot read the schema version of " + file,
                               [&] { return DatabaseSchemaVersion(*connection, database); });
    const int latest = kvad::db::LatestSchemaVersion();
    if (before > latest) {
        throw std::runtime_error(file + " has schema version " + std::to_string(before) +
                                 ", newer than this program knows (" + std::to_string(latest) +
                                 ")");
    }
    const int after = Attempt("cannot apply the schema to " + file,
                              [&] { return ApplyDatabaseSchema(*connection, database); });
    Attempt("cannot register company " + std::to_string(settings.company),
            [&] { RegisterSettingsCompany(*connection, settings); });
    if (after == before) {
        std::cout << file << " is already at schema version " << after << '\n';
    } else if (before == 0) {
        std::cout << "created schema version " << after << " in " << file << '\n';
    } else {
        std::cout << "upgraded " << file << " from schema version " << before << " to " << after
                  << '\n';
    }
    if (options.demo) {
        Attempt("cannot load the demo set", [&] { LoadDemoData(*connection, settings); });
    }
}

} // namespace

void RunInit(const Settings& settings, const InitOptions& options) {
    InitDatabase(options.database.value_or(settings.database), settings, options);
}

} // namespace nsoapp
