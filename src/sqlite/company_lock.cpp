#include "sqlite/company_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <thread>
#include <utility>

#include "sqlite_error.h"

namespace kvad::db {
namespace {

using std::chrono::system_clock;

/// How often a taker that waits tries the lock again.
constexpr std::chrono::milliseconds kRetryEvery{20};

std::string WorkName(CompanyWork work) {
    switch (work) {
    case CompanyWork::Retrieval:
        return "retrieval";
    case CompanyWork::Clerk:
        return "processing or import";
    }
    return "work";
}

/// "10:02:11" for a time of today, "31/12/2024 10:02:11" for an earlier one (local time).
std::string SinceText(system_clock::time_point since) {
    const std::time_t then = system_clock::to_time_t(since);
    const std::time_t now = system_clock::to_time_t(system_clock::now());
    std::tm local{};
    std::tm today{};
    localtime_r(&then, &local);
    localtime_r(&now, &today);
    char text[32];
    const bool sameDay = local.tm_year == today.tm_year && local.tm_yday == today.tm_yday;
    std::strftime(text, sizeof text, sameDay ? "%H:%M:%S" : "%d/%m/%Y %H:%M:%S", &local);
    return text;
}

std::string BusyText(std::int32_t company, CompanyWork work,
                     const std::optional<LockHolder>& holder) {
    const std::string of = " of company " + std::to_string(company) + " is running";
    if (!holder) {
        return "another " + WorkName(work) + of;
    }
    return "another " + holder->name + of + " (since " + SinceText(holder->since) + ", process " +
           std::to_string(holder->pid) + ")";
}

/// The holder's line: "<pid> <seconds since the epoch> <name>".
std::string HolderLine(const std::string& name) {
    std::string oneLine = name;
    for (char& c : oneLine) {
        c = c == '\n' || c == '\r' ? ' ' : c;
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(system_clock::now().time_since_epoch());
    return std::to_string(getpid()) + " " + std::to_string(seconds.count()) + " " + oneLine + "\n";
}

std::optional<LockHolder> ParseHolder(const std::string& text) {
    std::istringstream in(text);
    LockHolder holder;
    long long seconds = 0;
    if (!(in >> holder.pid >> seconds) || holder.pid <= 0) {
        return std::nullopt;
    }
    std::getline(in >> std::ws, holder.name);
    if (holder.name.empty()) {
        return std::nullopt;
    }
    holder.since = system_clock::time_point(std::chrono::seconds(seconds));
    return holder;
}

std::optional<LockHolder> ReadHolder(int fd) {
    char buffer[512];
    const ssize_t n = pread(fd, buffer, sizeof buffer - 1, 0);
    if (n <= 0) {
        return std::nullopt;
    }
    return ParseHolder(std::string(buffer, static_cast<std::size_t>(n)));
}

/// The holder of a lock this process could not take. Its text may not be there yet (a holder
/// writes it just after it took the lock), or may still be that of a holder that was killed:
/// read again for a moment before giving up on naming it.
std::optional<LockHolder> HolderOfTakenLock(int fd) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::optional<LockHolder> holder = ReadHolder(fd);
        if (holder && (kill(static_cast<pid_t>(holder->pid), 0) == 0 || errno != ESRCH)) {
            return holder;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

[[noreturn]] void ThrowLockFileError(const std::string& what, const std::string& path, int error) {
    const bool denied = error == EACCES || error == EPERM || error == EROFS;
    throw DbError(what + " " + path + ": " + std::strerror(error), "HY000", std::string(),
                  kProviderSource,
                  DbCode{0, denied ? DatabaseCondition::ReadOnly : DatabaseCondition::CannotOpen});
}

} // namespace

CompanyLockBusy::CompanyLockBusy(std::int32_t company, CompanyWork work,
                                 std::optional<LockHolder> holder)
    : DbError(BusyText(company, work, holder), "40001", std::string(), kProviderSource,
              DbCode{0, DatabaseCondition::Busy}),
      company_(company), work_(work), holder_(std::move(holder)) {}

std::string CompanyLock::Path(const std::string& database, std::int32_t company, CompanyWork work) {
    // The lock goes beside the file itself, as SQLite's own journal does, so that two names of
    // one database share it.
    std::error_code ec;
    std::filesystem::path file = std::filesystem::weakly_canonical(database, ec);
    if (ec) {
        file = database;
    }
    return file.string() + (work == CompanyWork::Retrieval ? ".fetch-" : ".clerk-") +
           std::to_string(company) + ".lock";
}

CompanyLock::CompanyLock(const std::string& database, std::int32_t company, CompanyWork work,
                         const std::string& name, std::chrono::milliseconds wait) {
    const std::string path = Path(database, company, work);
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    writable_ = fd_ >= 0;
    if (fd_ < 0) {
        // A lock file made by another user may still be locked through a descriptor that only
        // reads it; its holder's text is then left unwritten.
        const int error = errno;
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            ThrowLockFileError("cannot create the lock file", path, error);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error != EWOULDBLOCK) {
            Release();
            ThrowLockFileError("cannot lock", path, error);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            std::optional<LockHolder> holder = HolderOfTakenLock(fd_);
            Release();
            throw CompanyLockBusy(company, work, std::move(holder));
        }
        std::this_thread::sleep_for(kRetryEvery);
    }
    if (writable_) {
        // Only for the message of one that is refused: a failure to write it is no failure.
        const std::string line = HolderLine(name);
        if (ftruncate(fd_, 0) == 0) {
            (void)!pwrite(fd_, line.data(), line.size(), 0);
        }
    }
}

CompanyLock::CompanyLock(CompanyLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), writable_(other.writable_) {}

CompanyLock& CompanyLock::operator=(CompanyLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        writable_ = other.writable_;
    }
    return *this;
}

CompanyLock::~CompanyLock() {
    if (fd_ >= 0 && writable_) {
        (void)!ftruncate(fd_, 0); // nobody holds it now
    }
    Release();
}

void CompanyLock::Release() noexcept {
    if (fd_ >= 0) {
        close(fd_); // closing the file releases the lock
        fd_ = -1;
    }
}

std::optional<LockHolder> CompanyLock::Holder(const std::string& database, std::int32_t company,
                                              CompanyWork work) {
    const std::string path = Path(database, company, work);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<LockHolder> holder = ReadHolder(fd);
    // The text of a holder that was killed stays in the file: the lock itself says whether it
    // still holds.
    if (holder && flock(fd, LOCK_SH | LOCK_NB) == 0) {
        holder.reset();
    }
    close(fd);
    return holder;
}

} // namespace kvad::db
