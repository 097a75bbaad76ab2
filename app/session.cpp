#include "app/session.h"

#include <filesystem>
#include <stdexcept>

#include "app/host_setup.h"
#include "kvad_nso/recordset.h"
#include "platform/folder_inbox.h"
#include "sqlite/sqlite_database.h"

namespace nsoapp {

Session OpenSession(const Settings& settings) {
    std::error_code ec;
    if (!std::filesystem::exists(settings.database, ec)) {
        throw std::runtime_error("the database " + settings.database +
                                 " does not exist: `nso init` creates it");
    }
    Session session;
    session.db = kvad::db::OpenSqlite(settings.database, kvad::db::OpenOptions{false, 5000});
    const int version = kvad::db::SchemaVersion(*session.db);
    if (version != kvad::db::LatestSchemaVersion()) {
        throw std::runtime_error(settings.database + " has schema version " +
                                 std::to_string(version) + ", this program needs " +
                                 std::to_string(kvad::db::LatestSchemaVersion()) +
                                 ": `nso init` brings it up to date");
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

kvad::Variant Scalar(kvad::Connection& db, const std::string& sql) {
    auto rs = db.Query(sql);
    return rs->Eof() ? kvad::Variant::Null() : rs->Value(0);
}

void RequireOk(Session& session, const std::string& what) {
    if (session.nso->Stato() != kvad::kaOK) {
        throw std::runtime_error(what + " failed (state " + std::to_string(session.nso->Stato()) +
                                 "): " + session.nso->Errore().Text());
    }
}

} // namespace nsoapp
