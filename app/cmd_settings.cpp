#include <iostream>
#include <string>

#include "app/commands.h"
#include "host/application_browser.h"
#include "host/stand_ins.h"

namespace nsoapp {
namespace {

/// A TOML basic string, so the output can be pasted into a settings file.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

void PrintSettings(const Settings& s) {
    if (s.settingsFile.empty()) {
        std::cout << "# no settings file found: defaults and options\n";
    } else {
        std::cout << "# settings file: " << s.settingsFile << "\n";
    }
    std::string cacheDir = s.cacheDir.empty() ? kvad::host::DefaultCacheDir() : s.cacheDir;
    std::string viewer = s.viewer.empty() ? std::string("xdg-open") : s.viewer;
    std::cout << "database = " << Quoted(s.database) << "\n"
              << "company = " << s.company << "\n"
              << "company_vat = " << Quoted(s.companyVat) << "\n"
              << "user_id = " << s.userId << "\n"
              << "user_name = " << Quoted(s.userName) << "\n"
              << "inbox = " << Quoted(s.inbox) << "\n"
              << "platform_user = " << Quoted(s.platformUser) << "\n"
              << "platform_password = " << Quoted(s.platformPassword.empty() ? "" : "********")
              << "\n"
              << "cache_dir = " << Quoted(cacheDir) << "\n"
              << "viewer = " << Quoted(viewer);
    if (kvad::host::FindProgram(viewer).empty()) {
        std::cout << "  # not found: PDF previews are saved but not opened";
    }
    std::cout << "\n";
}

} // namespace

void AddSettingsCommand(CLI::App& app, Settings& settings) {
    auto* command = app.add_subcommand(
        "settings", "Print the settings in use (password masked) and the file they came from");
    command->callback([&settings] { PrintSettings(settings); });
}

} // namespace nsoapp
