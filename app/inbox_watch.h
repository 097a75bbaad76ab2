#pragma once
// Watching the folder inbox for new documents (`nso fetch --watch`, `nso serve --watch`): a
// short poll of the company's folder that notices a file added, changed or removed, and a quiet
// fetch of what arrived.

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "app/main_job.h"
#include "app/settings.h"

namespace nsoapp {

class InboxWatch {
  public:
    /// Watches the company's folder of the settings' inbox ("IT" + the company's VAT number).
    explicit InboxWatch(const Settings& settings);

    /// Whether the folder's files differ from when it was last looked at (the first look counts
    /// as a change when the folder has files).
    [[nodiscard]] bool Changed();
    /// Forgets what was seen, so that the next look counts as a change (a fetch that failed).
    void Forget();

  private:
    std::string folder_;
    /// File name to (size, modification time in nanoseconds).
    std::map<std::string, std::pair<std::uintmax_t, std::int64_t>> seen_;
    bool looked_ = false;
};

/// Fetches the company's new documents without showing progress, under the retrieval lock
/// (waiting up to `waitSeconds` for another fetch). Throws Failure as `nso fetch` does.
FetchOutcome FetchNewDocuments(const Settings& settings, double waitSeconds);

} // namespace nsoapp
