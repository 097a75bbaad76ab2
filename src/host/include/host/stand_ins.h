#pragma once
/// Stand-ins for the host application and its framework objects, for hosts that run the
/// component outside the ERP (the nso command, the tests).

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kvad_nso/host.h"

namespace kvad::host {

/// What the stand-ins need to know about the user, the company and the machine.
struct HostConfig {
    std::int32_t userId = 1; ///< returned by CurrentUserId
    std::string companyVat;  ///< returned by CurrentCompanyId (without "IT")
    std::string cacheDir;    ///< root of the fixed folders; empty: DefaultCacheDir()
    std::string viewer;      ///< program that opens files; empty: "xdg-open"
    std::map<std::int32_t, std::string> messages; ///< texts added to (or replacing) the catalogue
};

/// The host object: configured user and company, Italian message catalogue, and a mouse
/// pointer that is only recorded (there is no screen).
class StandInHost final : public HostApplication {
  public:
    explicit StandInHost(const HostConfig& config);

    [[nodiscard]] std::int32_t CurrentUserId() override;
    [[nodiscard]] std::string CurrentCompanyId() override;
    /// Fills %1, %2, ... with the parameters' text; throws VbError 5 for an unknown number.
    [[nodiscard]] std::string MessageText(std::int32_t number,
                                          const VariantArray& parameters) override;
    void SetBusyPointer(bool busy) override;

    /// True while the busy pointer is shown.
    [[nodiscard]] bool IsBusy() const noexcept { return busy_; }
    /// Every SetBusyPointer call so far, oldest first.
    [[nodiscard]] const std::vector<bool>& PointerHistory() const noexcept { return history_; }

  private:
    std::int32_t userId_;
    std::string companyVat_;
    std::map<std::int32_t, std::string> messages_;
    bool busy_ = false;
    std::vector<bool> history_;
};

/// $XDG_CACHE_HOME/kvad_nso, else $HOME/.cache/kvad_nso, else ./.cache/kvad_nso.
[[nodiscard]] std::string DefaultCacheDir();

/// Path of a fixed folder of the framework (only folder 5 exists: <cache dir>/folder5); the
/// folder is not created. Throws VbError 5 for any other folder number.
[[nodiscard]] std::string FixedFolderPath(const HostConfig& config, std::int32_t folder);

/// Registers the framework objects (number formatter, date, text file, application browser,
/// utility functions) and the business objects (document import, document) under their ProgIDs,
/// replacing earlier registrations, and returns the host object for ActiveInterface.
std::shared_ptr<StandInHost> RegisterStandIns(const HostConfig& config);

/// Removes the registrations made by RegisterStandIns.
void UnregisterStandIns();

} // namespace kvad::host
