#include "app/work_lock.h"

#include <algorithm>
#include <chrono>

#include "app/database.h"
#include "app/failure.h"

namespace nsoapp {
namespace {

// A server lock that stayed taken, worded as a lock file's: the holder published
// "nso import, process 4312" as its session's name.
WorkLockBusy ServerLockBusy(const std::string& database, std::int32_t company,
                            kvad::db::AdvisoryWork work, const kvad::DbError& busy) {
    std::string holder;
    try {
        holder = kvad::db::AdvisoryLock::Holder(database, company, work);
    } catch (const kvad::Error&) {
        holder.clear(); // gone meanwhile, or the server went: say what runs without its name
    }
    const std::size_t process = holder.rfind(", process ");
    const std::string what =
        holder.empty() ? (work == kvad::db::AdvisoryWork::Retrieval ? std::string("nso fetch")
                                                                    : std::string("nso command"))
                       : holder.substr(0, process);
    std::string running =
        "another " + what + " of company " + std::to_string(company) + " is running";
    if (process != std::string::npos) {
        running += " (process " + holder.substr(process + 10) + ")";
    }
    return {running, busy.Description()};
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
            throw ServerLockBusy(database, company, serverWork, e);
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
