#pragma once
// The host stand-ins as the nso command configures them from its settings.

#include <memory>

#include "app/settings.h"
#include "host/stand_ins.h"

namespace nsoapp {

/// The stand-ins' configuration for these settings.
[[nodiscard]] kvad::host::HostConfig HostConfigFor(const Settings& settings);

/// Registers the framework objects for these settings and returns the host object.
[[nodiscard]] std::shared_ptr<kvad::host::StandInHost> StartHost(const Settings& settings);

} // namespace nsoapp
