#pragma once
// How nso commands keep a company's work apart: the retrieval lock (fetch, and run's first
// phase) and the clerk lock (process, decode, edit, import, run, master load, config set, init),
// taken in that order by a command that takes both. On a database file they are lock files
// beside it; on a server database, advisory locks on the server, so that the rule holds between
// machines too. A command that finds a lock taken waits for it, then is refused in one plain
// line that names what runs.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "postgres/pg_database.h"
#include "sqlite/company_lock.h"

namespace nsoapp {

/// A company lock of either kind, held while the object lives.
class WorkLock {
  public:
    explicit WorkLock(kvad::db::CompanyLock file) : file_(std::move(file)) {}
    explicit WorkLock(kvad::db::AdvisoryLock server) : server_(std::move(server)) {}

  private:
    std::optional<kvad::db::CompanyLock> file_;
    std::optional<kvad::db::AdvisoryLock> server_;
};

/// A company lock that stayed taken; what() names what runs ("another nso import of company 1 is
/// running (since 10:02:11, process 4312)"), Detail() the server's own text when there is one.
class WorkLockBusy : public std::runtime_error {
  public:
    WorkLockBusy(const std::string& running, std::string detail)
        : std::runtime_error(running), detail_(std::move(detail)) {}
    [[nodiscard]] const std::string& Detail() const noexcept { return detail_; }

  private:
    std::string detail_;
};

/// Takes the company's lock of `work` on `database` for `command`, waiting up to `waitSeconds`
/// while another holds it; throws WorkLockBusy when it stays taken. For hosts that word the
/// refusal themselves; commands use LockCompany.
[[nodiscard]] WorkLock TakeCompanyLock(const std::string& database, std::int32_t company,
                                       kvad::db::CompanyWork work, const std::string& command,
                                       double waitSeconds);

/// Takes the company's lock of `work` on `database` for `command` ("nso import"), waiting up to
/// `waitSeconds` while another holds it. Throws Failure "another nso import of company 1 is
/// running (since 10:02:11, process 4312): wait for it, or give --wait SECONDS" when it stays
/// taken, and the DbError of a lock file that cannot be made or a server that cannot be reached.
[[nodiscard]] WorkLock LockCompany(const std::string& database, std::int32_t company,
                                   kvad::db::CompanyWork work, const std::string& command,
                                   double waitSeconds);

} // namespace nsoapp
