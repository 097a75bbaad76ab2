#pragma once
// One retrieval of a company at a time, across processes: an operating-system lock on a file
// beside the database. The kernel releases it when the process ends, however it ends, so a
// retrieval that was killed never blocks the next one.

#include <chrono>
#include <cstdint>
#include <string>

namespace nsoapp {

/// The lock file of a company's retrievals on a database: "<database>.fetch-<company>.lock".
[[nodiscard]] std::string RetrievalLockPath(const std::string& database, std::int32_t company);

/// Holds the retrieval lock of a company while it lives.
class RetrievalLock {
  public:
    /// Takes the lock, waiting up to `wait` while another process holds it. Throws Failure
    /// "another retrieval of company N is running" when it stays taken, or when the lock file
    /// cannot be created.
    RetrievalLock(const std::string& database, std::int32_t company,
                  std::chrono::milliseconds wait);
    RetrievalLock(const RetrievalLock&) = delete;
    RetrievalLock& operator=(const RetrievalLock&) = delete;
    RetrievalLock(RetrievalLock&&) = delete;
    RetrievalLock& operator=(RetrievalLock&&) = delete;
    ~RetrievalLock();

  private:
    int fd_ = -1;
};

} // namespace nsoapp
