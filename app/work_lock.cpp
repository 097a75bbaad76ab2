#include "app/work_lock.h"

#include <algorithm>
#include <chrono>

#include "app/failure.h"

namespace nsoapp {

kvad::db::CompanyLock LockCompany(const std::string& database, std::int32_t company,
                                  kvad::db::CompanyWork work, const std::string& command,
                                  double waitSeconds) {
    const auto wait = std::chrono::milliseconds(
        static_cast<long long>(std::min(std::max(0.0, waitSeconds), 1e9) * 1000.0));
    try {
        return {database, company, work, command, wait};
    } catch (const kvad::db::CompanyLockBusy& busy) {
        throw Failure(std::string(busy.what()) + ": wait for it, or give --wait SECONDS");
    }
}

} // namespace nsoapp
