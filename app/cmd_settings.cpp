#include <iostream>
#include <string>

#include "app/commands.h"
#include "app/database.h"
#include "app/terminal_text.h"
#include "host/application_browser.h"
#include "host/stand_ins.h"

namespace nsoapp {

void PrintSettings(const Settings& s) {
    if (s.settingsFile.empty()) {
        std::cout << "# no settings file found: defaults and options\n";
    } else {
        std::cout << "# settings file: " << s.settingsFile << "\n";
    }
    std::string cacheDir = s.cacheDir.empty() ? kvad::host::DefaultCacheDir() : s.cacheDir;
    std::string viewer = s.viewer.empty() ? std::string("xdg-open") : s.viewer;
    std::cout << "database = " << TomlString(ShownDatabase(s.database)) << "\n"
              << "company = " << s.company << "\n"
              << "company_vat = " << TomlString(s.companyVat) << "\n"
              << "user_id = " << s.userId << "\n"
              << "user_name = " << TomlString(s.userName) << "\n"
              << "inbox = " << TomlString(s.inbox) << "\n"
              << "platform_user = " << TomlString(s.platformUser) << "\n"
              << "platform_password = " << TomlString(s.platformPassword.empty() ? "" : "********")
              << "\n"
              << "cache_dir = " << TomlString(cacheDir) << "\n"
              << "viewer = " << TomlString(viewer);
    if (kvad::host::FindProgram(viewer).empty()) {
        std::cout << "  # not found: PDF previews are saved but not opened";
    }
    std::cout << "\nlisten = " << TomlString(s.listen) << "\n";
}

} // namespace nsoapp
