#pragma once
// A component instance as the nso host sets it up for a command: the database opened (and
// checked to be at the current schema), the company checked to be registered, the stand-ins and
// the folder inbox registered, and CLSIE_NSO created by ProgID with its connection, company and
// host object.

#include <memory>
#include <string>

#include "app/failure.h"
#include "app/settings.h"
#include "host/stand_ins.h"
#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/read_model/values.h"

namespace nsoapp {

struct Session {
    std::shared_ptr<kvad::Connection> db;
    std::shared_ptr<kvad::host::StandInHost> host;
    std::shared_ptr<kvad::CLSIE_NSO> nso;
    std::string database; ///< the database file, for messages
};

/// Opens the settings' database and creates the component on it. Throws Failure saying what to
/// do when the database is missing, not a database of nso, not at the current schema version,
/// or when the settings' company is not registered in it.
[[nodiscard]] Session OpenSession(const Settings& settings);

/// Throws Failure when this process can only read the database: a command that writes checks
/// this before it writes anything.
void RequireWritable(Session& session, const Settings& settings);

/// Throws Failure naming `nso config set` when the company's import configuration is missing or
/// incomplete (the component's own account of it beneath, with --verbose).
void RequireConfiguration(Session& session, const Settings& settings);

/// Throws Failure when the component's last operation did not end with kaOK: `what` failed, in
/// plain words for a database condition, with the component's Errore beneath it.
void RequireOk(Session& session, const std::string& what);

/// The Failure a read-model call's component failure is told as: what it was for, in plain words
/// for a database condition, with the component's Errore beneath it.
[[nodiscard]] Failure AsFailure(const kvad::read_model::ComponentFailure& failure,
                                const std::string& database);

} // namespace nsoapp
