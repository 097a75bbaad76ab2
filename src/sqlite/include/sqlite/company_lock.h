#pragma once
/// One holder at a time of a company's work on an embedded database file, across processes and
/// within one: an operating-system lock (flock) on a file beside the database, which the kernel
/// releases when its holder ends, however it ends. The holder writes what it runs, its process
/// id and when it took the lock into the file, so that one that is refused can name it; the
/// kernel's lock alone says whether the lock is taken.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "kvad_nso/errors.h"

namespace kvad::db {

/// The work a company lock keeps apart. A holder that takes both takes Retrieval first, so that
/// two holders never wait for each other.
enum class CompanyWork {
    /// Taking in documents from the document platform: two retrievals would list and register
    /// the same documents.
    Retrieval,
    /// The clerk's work on the received orders: processing, decoding, corrections and imports,
    /// and the master data and configuration they read. Two at once would process what the
    /// other is importing, or correct what it has already imported.
    Clerk,
};

/// Who holds a company lock, as the holder wrote it into the lock file.
struct LockHolder {
    std::string name;     ///< what it runs, as it named itself ("nso import")
    std::int64_t pid = 0; ///< its process id
    std::chrono::system_clock::time_point since; ///< when it took the lock
};

/// A company lock stayed taken for as long as its taker would wait: a DbError of condition
/// Busy (SQL state 40001) that names the holder when the lock file says who it is. Its text
/// reads "another nso import of company 1 is running (since 10:02:11, process 4312)".
class CompanyLockBusy : public DbError {
  public:
    CompanyLockBusy(std::int32_t company, CompanyWork work, std::optional<LockHolder> holder);

    [[nodiscard]] std::int32_t Company() const noexcept { return company_; }
    [[nodiscard]] CompanyWork Work() const noexcept { return work_; }
    /// The holder, when its lock file named it.
    [[nodiscard]] const std::optional<LockHolder>& Holder() const noexcept { return holder_; }

  private:
    std::int32_t company_;
    CompanyWork work_;
    std::optional<LockHolder> holder_;
};

/// Holds the lock of one kind of a company's work on a database file while it lives.
class CompanyLock {
  public:
    /// Takes the lock of `work` for `company` on the database file `database`, waiting up to
    /// `wait` while another holder keeps it, and writes `name` ("nso import"), this process's
    /// id and the time into the lock file. Throws CompanyLockBusy when the lock stays taken, and
    /// DbError when the lock file cannot be made or locked (condition ReadOnly when this user
    /// may not write in the database's folder, else CannotOpen).
    CompanyLock(const std::string& database, std::int32_t company, CompanyWork work,
                const std::string& name, std::chrono::milliseconds wait);
    CompanyLock(CompanyLock&& other) noexcept;
    CompanyLock& operator=(CompanyLock&& other) noexcept;
    CompanyLock(const CompanyLock&) = delete;
    CompanyLock& operator=(const CompanyLock&) = delete;
    /// Releases the lock and clears the holder from its file.
    ~CompanyLock();

    /// The lock file of `work` for `company`, beside the database file (symbolic links
    /// followed): "<database>.fetch-<company>.lock" for retrievals,
    /// "<database>.clerk-<company>.lock" for the clerk's work.
    [[nodiscard]] static std::string Path(const std::string& database, std::int32_t company,
                                          CompanyWork work);

    /// Who holds the lock now, as the holder wrote it; nullopt when nobody holds it, or when its
    /// holder has not written its name yet.
    [[nodiscard]] static std::optional<LockHolder> Holder(const std::string& database,
                                                          std::int32_t company, CompanyWork work);

  private:
    void Release() noexcept;

    int fd_ = -1;
    bool writable_ = false; ///< the holder's text can be written (the file is this user's to write)
};

} // namespace kvad::db
