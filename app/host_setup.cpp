#include "app/host_setup.h"

namespace nsoapp {

kvad::host::HostConfig HostConfigFor(const Settings& settings) {
    kvad::host::HostConfig config;
    config.userId = settings.userId;
    config.companyVat = settings.companyVat;
    config.cacheDir = settings.cacheDir;
    config.viewer = settings.viewer;
    return config;
}

std::shared_ptr<kvad::host::StandInHost> StartHost(const Settings& settings) {
    return kvad::host::RegisterStandIns(HostConfigFor(settings));
}

} // namespace nsoapp
