#pragma once
// The nso host's settings: read from a small TOML file, every one overridable by an option.

#include <cstdint>
#include <string>

namespace nsoapp {

struct Settings {
    std::string settingsFile; ///< the file read (empty: none found)
    std::string database = "nso.db";
    std::int32_t company = 1;               ///< the ERP company code (CodiceDitta)
    std::string companyVat = "01234567890"; ///< the company's VAT number; "IT" + it names the inbox
    std::int32_t userId = 1;
    std::string userName = "admin";
    std::string inbox = "inbox"; ///< the folder-inbox platform's root folder
    std::string platformUser;
    std::string platformPassword;
    std::string cacheDir; ///< fixed folder 5 lives here; default ~/.cache/kvad_nso
    std::string viewer;   ///< program that opens PDFs; default xdg-open when present
    std::string listen = "127.0.0.1:8080"; ///< where `nso serve` listens (address:port)
    /// --verbose (never read from the file): failures also show the component's and the
    /// database's own text, and commands tell more of what they did.
    bool verbose = false;
};

/// The settings file of the whole machine, read when a user has none of their own:
/// /etc/kvad-nso/nso.toml for an installation under /usr (the install's configuration folder).
[[nodiscard]] const char* SystemSettingsFile() noexcept;

/// Reads the settings file: the explicit path, else $NSO_SETTINGS, else ./nso.toml, else
/// ~/.config/kvad_nso/nso.toml, else `systemFile`; a default file that is missing, or whose
/// folder cannot be looked into, leaves the defaults. Throws std::runtime_error with the file
/// name, the reason and what to do for an unreadable or invalid file.
void LoadSettingsFile(Settings& settings, const std::string& explicitPath,
                      const std::string& systemFile = SystemSettingsFile());

} // namespace nsoapp
