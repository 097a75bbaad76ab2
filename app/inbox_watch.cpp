#include "app/inbox_watch.h"

#include <filesystem>
#include <system_error>

#include "app/progress_view.h"
#include "app/session.h"
#include "app/work_lock.h"

namespace nsoapp {

InboxWatch::InboxWatch(const Settings& settings)
    : folder_((std::filesystem::path(settings.inbox) / ("IT" + settings.companyVat)).string()) {}

bool InboxWatch::Changed() {
    std::map<std::string, std::pair<std::uintmax_t, std::int64_t>> now;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder_, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code fileError;
        const auto size = it->file_size(fileError);
        const auto time = it->last_write_time(fileError);
        if (!fileError) {
            now.emplace(
                it->path().filename().string(),
                std::make_pair(size, static_cast<std::int64_t>(time.time_since_epoch().count())));
        }
    }
    const bool changed = !looked_ ? !now.empty() : now != seen_;
    looked_ = true;
    seen_ = std::move(now);
    return changed;
}

void InboxWatch::Forget() {
    looked_ = false;
    seen_.clear();
}

FetchOutcome FetchNewDocuments(const Settings& settings, double waitSeconds) {
    Session session = OpenSession(settings);
    RequireWritable(session, settings);
    RequireConfiguration(session, settings);
    const WorkLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Retrieval,
                    "nso fetch --watch", waitSeconds);
    ProgressView quiet("", ProgressView::Channel::Quiet);
    return FetchDocuments(session, settings, quiet);
}

} // namespace nsoapp
