#include "app/work_lock.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "app/database.h"
#include "app/failure.h"

namespace nsoapp {
namespace {

// A server lock that stayed taken, worded as a lock file's: the holder published
// "nso import, process 4312" as its session's name; one that published no name is told by the
// work it holds.
WorkLockBusy ServerLockBusy(const std::string& database, std::int32_t company,
                            kvad::db::CompanyWork work, kvad::db::AdvisoryWork serverWork,
                            const kvad::DbError& busy) {
    std::optional<kvad::db::LockHolder> named;
    try {
        const auto holder = kvad::db::AdvisoryLock::HolderOf(database, company, serverWork);
        const std::size_t process = holder ? holder->name.rfind(", process ") : std::string::npos;
        if (process != std::string::npos) {
            named = kvad::db::LockHolder{holder->name.substr(0, process),
                                         std::atoll(holder->name.c_str() + process + 10),
                                         holder->since};
        }
    } catch (const kvad::Error&) {
        named.reset(); // gone meanwhile, or the server went: say what runs without its name
    }
    return {kvad::db::CompanyLockBusy(company, work, named).what(), busy.Description()};
}

} // namespace

WorkLock TakeCompanyLock(const std::string& database, std::int32_t company,
                         kvad::db::CompanyWork work, const std::string& command,
                         double waitSeconds) {
    const auto wait = std::chrono::milliseconds(
        static_cast<long long>(std::min(std::max(0.0, waitSeconds), 1e9) * 1000.0));
    if (IsServerDatabase(database)) {
        const auto serverWork = work == kvad::db::CompanyWork::Retrieval
                                    ? kvad::db::AdvisoryWork::Retrieval
                                    : kvad::db::AdvisoryWork::Clerk;
        try {
            return WorkLock(kvad::db::AdvisoryLock(database, company, serverWork, command, wait));
        } catch (const kvad::DbError& e) {
            if (e.Condition() != kvad::DatabaseCondition::Busy) {
                throw;
            }
            throw ServerLockBusy(database, company, work, serverWork, e);
        }
    }
    try {
        return WorkLock(kvad::db::CompanyLock(database, company, work, command, wait));
    } catch (const kvad::db::CompanyLockBusy& busy) {
        throw WorkLockBusy(busy.what(), "");
    }
}

WorkLock LockCompany(const std::string& database, std::int32_t company, kvad::db::CompanyWork work,
                     const std::string& command, double waitSeconds) {
    try {
        return TakeCompanyLock(database, company, work, command, waitSeconds);
    } catch (const WorkLockBusy& busy) {
        throw Failure(std::string(busy.what()) + ": wait for it, or give --wait SECONDS",
                      busy.Detail());
    }
}

} // namespace nsoapp
