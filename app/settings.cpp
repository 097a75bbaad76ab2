#include "app/settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <stdexcept>

#include <toml++/toml.h>

// The build names the installed configuration folder (GNUInstallDirs); a build without it
// keeps the Debian one.
#ifndef KVAD_SYSTEM_SETTINGS
#define KVAD_SYSTEM_SETTINGS "/etc/kvad-nso/nso.toml"
#endif

namespace nsoapp {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& file, const toml::source_region& where,
                       const std::string& reason) {
    throw std::runtime_error(file + ":" + std::to_string(where.begin.line) + ": " + reason);
}

/// True when `file` is there. A candidate that cannot be looked at (a folder on its way this
/// user may not enter, a loop of links) is taken as absent: the lookup goes on without it, as
/// `nso settings` then shows.
bool IsThere(const fs::path& file) {
    std::error_code ec;
    return fs::exists(file, ec) && !ec;
}

/// The user's own file: ~/.config/kvad_nso/nso.toml, or under $XDG_CONFIG_HOME.
std::optional<fs::path> UserSettingsFile() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        return fs::path(xdg) / "kvad_nso" / "nso.toml";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return fs::path(home) / ".config" / "kvad_nso" / "nso.toml";
    }
    return std::nullopt;
}

std::optional<std::string> DefaultSettingsFile(const std::string& systemFile) {
    if (IsThere("nso.toml")) {
        return "nso.toml";
    }
    if (std::optional<fs::path> user = UserSettingsFile(); user && IsThere(*user)) {
        return user->string();
    }
    if (!systemFile.empty() && IsThere(systemFile)) {
        return systemFile;
    }
    return std::nullopt;
}

/// Reads the settings of one parsed file; `base` is the folder that relative paths start from.
class FileReader {
  public:
    FileReader(std::string file, fs::path base) : file_(std::move(file)), base_(std::move(base)) {}

    void Read(const toml::table& table, Settings& s) const {
        for (const auto& [key, node] : table) {
            const std::string name(key.str());
            if (name == "database") {
                s.database = Path(node, name, false);
            } else if (name == "company") {
                s.company = Int(node, name);
            } else if (name == "company_vat") {
                s.companyVat = Text(node, name);
            } else if (name == "user_id") {
                s.userId = Int(node, name);
            } else if (name == "user_name") {
                s.userName = Text(node, name);
            } else if (name == "inbox") {
                s.inbox = Path(node, name, false);
            } else if (name == "platform_user") {
                s.platformUser = Text(node, name);
            } else if (name == "platform_password") {
                s.platformPassword = Text(node, name);
            } else if (name == "cache_dir") {
                s.cacheDir = Path(node, name, true);
            } else if (name == "listen") {
                s.listen = Text(node, name);
            } else if (name == "viewer") {
                // A bare program name is looked up on PATH; only a name with a folder is a path.
                std::string viewer = Text(node, name);
                s.viewer = viewer.find('/') == std::string::npos ? viewer : Resolve(viewer);
            } else {
                Fail(file_, key.source(), "unknown setting \"" + name + "\"");
            }
        }
    }

  private:
    std::string Text(const toml::node& node, const std::string& name) const {
        const auto* value = node.as_string();
        if (value == nullptr) {
            Fail(file_, node.source(), name + " must be a text in quotes");
        }
        return value->get();
    }

    std::int32_t Int(const toml::node& node, const std::string& name) const {
        const auto* value = node.as_integer();
        if (value == nullptr) {
            Fail(file_, node.source(), name + " must be a whole number");
        }
        std::int64_t number = value->get();
        if (number < std::numeric_limits<std::int32_t>::min() ||
            number > std::numeric_limits<std::int32_t>::max()) {
            Fail(file_, node.source(), name + " is out of range");
        }
        return static_cast<std::int32_t>(number);
    }

    std::string Path(const toml::node& node, const std::string& name, bool emptyAllowed) const {
        std::string text = Text(node, name);
        if (text.empty()) {
            if (emptyAllowed) {
                return text;
            }
            Fail(file_, node.source(), name + " must not be empty");
        }
        return Resolve(text);
    }

    /// "~/x" is under the home folder; other relative paths start from the file's folder.
    std::string Resolve(const std::string& text) const {
        if (text.rfind("~/", 0) == 0) {
            if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
                return (fs::path(home) / text.substr(2)).string();
            }
        }
        fs::path path(text);
        if (path.is_absolute() || base_.empty()) {
            return path.string();
        }
        return (base_ / path).string();
    }

    std::string file_;
    fs::path base_;
};

} // namespace

const char* SystemSettingsFile() noexcept {
    return KVAD_SYSTEM_SETTINGS;
}

void LoadSettingsFile(Settings& settings, const std::string& explicitPath,
                      const std::string& systemFile) {
    std::optional<std::string> file;
    if (!explicitPath.empty()) {
        file = explicitPath;
    } else if (const char* env = std::getenv("NSO_SETTINGS"); env != nullptr && *env != '\0') {
        file = env;
    } else {
        file = DefaultSettingsFile(systemFile);
    }
    if (!file) {
        settings.settingsFile.clear();
        return;
    }

    std::error_code ec;
    const fs::file_status status = fs::status(*file, ec);
    if (status.type() == fs::file_type::not_found) {
        throw std::runtime_error(*file + ": the settings file does not exist: check --settings "
                                         "or $NSO_SETTINGS");
    }
    if (ec) {
        throw std::runtime_error(*file + ": the settings file cannot be reached (" + ec.message() +
                                 "): give this user access to its folder, or name another "
                                 "with --settings");
    }
    if (!fs::is_regular_file(status)) {
        throw std::runtime_error(*file + ": this is not a settings file but a folder or the like: "
                                         "name the file with --settings");
    }
    errno = 0;
    std::ifstream in(*file, std::ios::binary);
    if (!in) {
        throw std::runtime_error(*file + ": the settings file cannot be read (" +
                                 std::strerror(errno != 0 ? errno : EIO) +
                                 "): give this user read access to it, or name another with "
                                 "--settings");
    }
    toml::table table;
    try {
        table = toml::parse(in, *file);
    } catch (const toml::parse_error& e) {
        Fail(*file, e.source(), std::string(e.description()));
    }

    fs::path base = fs::path(*file).parent_path();
    Settings read = settings;
    FileReader(*file, base).Read(table, read);
    read.settingsFile = fs::absolute(*file, ec).string();
    if (ec) {
        read.settingsFile = *file;
    }
    settings = std::move(read);
}

} // namespace nsoapp
