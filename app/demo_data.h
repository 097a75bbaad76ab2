#pragma once
// The demo set of `nso init --demo`: the ERP master data with which the example orders decode,
// and a configuration for the company when it has none.

#include <filesystem>
#include <optional>

#include "app/settings.h"
#include "kvad_nso/connection.h"

namespace nsoapp {

/// Loads the demo master data for the settings' company and, when the company has no import
/// configuration yet, configures it (document code OCL, import layout NSO, documents received
/// from 01/01/2024). Prints what it did.
void LoadDemoData(kvad::Connection& db, const Settings& settings);

/// The example orders' inbox: the one installed beside nso (<prefix>/share/kvad-nso/examples,
/// found from the program's own path), else the source tree's when nso runs from its build
/// folder; none when neither is there.
[[nodiscard]] std::optional<std::filesystem::path> ExampleInbox();

} // namespace nsoapp
