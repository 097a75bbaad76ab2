#include "app/session.h"

#include <filesystem>

#include "app/database.h"
#include "app/failure.h"
#include "app/host_setup.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/read_model/company.h"
#include "platform/folder_inbox.h"
#include "sqlite/sqlite_database.h" // LatestSchemaVersion

namespace nsoapp {
namespace {

// Opens the file or the server database and checks that it holds this program's schema at its
// current version.
std::shared_ptr<kvad::Connection> OpenDatabase(const Settings& settings) {
    const std::string file = ShownDatabase(settings.database);
    std::error_code ec;
    if (!IsServerDatabase(settings.database) && !std::filesystem::exists(file, ec)) {
        throw Failure("the database " + file + " does not exist: `nso init` creates it");
    }
    std::shared_ptr<kvad::Connection> db;
    int version = 0;
    try {
        db = OpenNsoDatabase(settings.database, false);
        version = DatabaseSchemaVersion(*db, settings.database);
    } catch (const kvad::Error& e) {
        const std::string trouble = DatabaseTrouble(e, file);
        throw Failure(trouble.empty() ? "cannot open the database " + file : trouble,
                      e.Description());
    }
    const int latest = kvad::db::LatestSchemaVersion();
    if (version == 0) {
        throw Failure(file + " is not a database of nso (it has none of its tables): check --db, "
                             "or let `nso init` create them in it");
    }
    if (version > latest) {
        throw Failure(file + " was written by a newer nso (schema version " +
                      std::to_string(version) + ", this one knows " + std::to_string(latest) +
                      "): use the newer nso");
    }
    if (version < latest) {
        throw Failure(file + " has schema version " + std::to_string(version) +
                      ", this program needs " + std::to_string(latest) +
                      ": `nso init` brings it up to date");
    }
    return db;
}

} // namespace

Session OpenSession(const Settings& settings) {
    Session session;
    session.database = ShownDatabase(settings.database);
    session.db = OpenDatabase(settings);
    const std::string company = std::to_string(settings.company);
    if (!kvad::read_model::CompanyRegistered(*session.db, settings.company)) {
        throw Failure("unknown company " + company + ": `nso init --company " + company +
                      " --company-vat VAT` registers it");
    }
    session.host = StartHost(settings);
    kvad::platform::RegisterFolderInbox(
        {settings.inbox, settings.platformUser, settings.platformPassword});
    kvad::RegisterComponentClasses();
    session.nso =
        std::dynamic_pointer_cast<kvad::CLSIE_NSO>(kvad::CreateObject(kvad::kProgIdClsieNso));
    session.nso->SetConnessione(session.db);
    session.nso->SetCodiceDitta(settings.company);
    session.nso->SetActiveInterface(session.host);
    return session;
}

void RequireWritable(Session& session, const Settings& settings) {
    if (DatabaseIsReadOnly(*session.db)) {
        throw Failure(DatabaseTrouble(kvad::DatabaseCondition::ReadOnly, settings.database));
    }
}

void RequireConfiguration(Session& session, const Settings& settings) {
    kvad::CLSIE_NSO& nso = *session.nso;
    nso.Inizializza();
    if (nso.Stato() == kvad::kaOK) {
        return;
    }
    const std::string company = std::to_string(settings.company);
    if (!kvad::read_model::HasConfiguration(*session.db, settings.company)) {
        throw Failure("company " + company +
                          " has no import configuration: `nso config set --document CODE "
                          "--layout CODE --from dd/mm/yyyy` writes it",
                      nso.Errore().Text());
    }
    const std::string missing = nso.Param_CodiceDocumento().empty() ? "document code (--document)"
                                : nso.Param_Tracciato().empty()     ? "import layout (--layout)"
                                                                    : "settings it needs";
    throw Failure("the import configuration of company " + company + " lacks its " + missing +
                      ": `nso config set` completes it (`nso config` shows it)",
                  nso.Errore().Text());
}

namespace {

Failure ComponentTrouble(const std::string& what, const std::string& errore,
                         kvad::DatabaseCondition condition, const std::string& database) {
    const std::string trouble = DatabaseTrouble(condition, database);
    return Failure(trouble.empty() ? what + " failed on an unexpected error (--verbose shows it)"
                                   : trouble,
                   errore);
}

} // namespace

void RequireOk(Session& session, const std::string& what) {
    if (session.nso->Stato() != kvad::kaOK) {
        throw ComponentTrouble(what, session.nso->Errore().Text(),
                               session.nso->LastDatabaseCondition(), session.database);
    }
}

Failure AsFailure(const kvad::read_model::ComponentFailure& failure, const std::string& database) {
    return ComponentTrouble(failure.Task(), failure.Errore(), failure.Condition(), database);
}

} // namespace nsoapp
