#pragma once
// One retrieval of a company at a time, and one import, across processes: an operating-system
// lock on a file beside the database. The kernel releases it when the process ends, however it
// ends, so a retrieval or an import that was killed never blocks the next one.

#include <chrono>
#include <cstdint>
#include <string>

namespace nsoapp {

/// What a lock keeps apart: two retrievals of a company, or two imports of its chains (a second
/// import would find the chains the first one is importing still to import).
enum class CompanyWork { Retrieval, Import };

/// The lock file of a company's retrievals on a database, "<database>.fetch-<company>.lock", or
/// of its imports, "<database>.import-<company>.lock".
[[nodiscard]] std::string RetrievalLockPath(const std::string& database, std::int32_t company,
                                            CompanyWork work = CompanyWork::Retrieval);

/// Holds the retrieval (or import) lock of a company while it lives.
class RetrievalLock {
  public:
    /// Takes the lock, waiting up to `wait` while another process holds it. Throws Failure
    /// "another retrieval of company N is running" ("another import ...") when it stays taken,
    /// or when the lock file cannot be created.
    RetrievalLock(const std::string& database, std::int32_t company, std::chrono::milliseconds wait,
                  CompanyWork work = CompanyWork::Retrieval);
    RetrievalLock(const RetrievalLock&) = delete;
    RetrievalLock& operator=(const RetrievalLock&) = delete;
    RetrievalLock(RetrievalLock&&) = delete;
    RetrievalLock& operator=(RetrievalLock&&) = delete;
    ~RetrievalLock();

  private:
    int fd_ = -1;
};

} // namespace nsoapp
