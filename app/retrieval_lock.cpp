#include "app/retrieval_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "app/failure.h"

namespace nsoapp {

std::string RetrievalLockPath(const std::string& database, std::int32_t company, CompanyWork work) {
    return database + (work == CompanyWork::Import ? ".import-" : ".fetch-") +
           std::to_string(company) + ".lock";
}

RetrievalLock::RetrievalLock(const std::string& database, std::int32_t company,
                             std::chrono::milliseconds wait, CompanyWork work) {
    const std::string path = RetrievalLockPath(database, company, work);
    const std::string what = work == CompanyWork::Import ? "import" : "retrieval";
    const std::string apart = " two " + what + "s of a company apart";
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        const int error = errno;
        throw Failure("cannot create the lock file " + path + " that keeps" + apart +
                          ": check that this user may write in the database's folder",
                      std::strerror(error));
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            close(fd_);
            std::string text = "cannot lock " + path;
            text += " to keep";
            text += apart;
            throw Failure(text, std::strerror(error));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            close(fd_);
            throw Failure("another " + what + " of company " + std::to_string(company) +
                          " is running: try again when it has finished (`--wait SECONDS` "
                          "waits longer)");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

RetrievalLock::~RetrievalLock() {
    if (fd_ >= 0) {
        close(fd_); // closing the file releases the lock
    }
}

} // namespace nsoapp
