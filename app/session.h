#pragma once
// A component instance as the nso host sets it up for a command: the database opened (and
// checked to be at the current schema), the stand-ins and the folder inbox registered, and
// CLSIE_NSO created by ProgID with its connection, company and host object.

#include <memory>

#include "app/settings.h"
#include "host/stand_ins.h"
#include "kvad_nso/clsie_nso.h"

namespace nsoapp {

struct Session {
    std::shared_ptr<kvad::Connection> db;
    std::shared_ptr<kvad::host::StandInHost> host;
    std::shared_ptr<kvad::CLSIE_NSO> nso;
};

/// Opens the settings' database and creates the component on it. Throws std::runtime_error
/// with what to do when the database is missing or not at the current schema version.
[[nodiscard]] Session OpenSession(const Settings& settings);

/// The first column of the first row of a query (Null when there is none).
[[nodiscard]] kvad::Variant Scalar(kvad::Connection& db, const std::string& sql);

/// Throws when the component's last operation did not end with kaOK, with its Errore.
void RequireOk(Session& session, const std::string& what);

} // namespace nsoapp
