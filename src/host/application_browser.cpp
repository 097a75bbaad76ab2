#include "host/application_browser.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "kvad_nso/errors.h"

extern char** environ; // NOLINT(readability-redundant-declaration)

namespace kvad::host {
namespace {

constexpr std::int32_t kFileNotFound = 53;

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

/// posix_spawn attributes and file actions, destroyed on every path.
class SpawnSetup {
  public:
    SpawnSetup() {
        ::posix_spawnattr_init(&attributes_);
        ::posix_spawn_file_actions_init(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    SpawnSetup(SpawnSetup&&) = delete;
    SpawnSetup& operator=(SpawnSetup&&) = delete;
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions_);
        ::posix_spawnattr_destroy(&attributes_);
    }
    posix_spawnattr_t* Attributes() noexcept { return &attributes_; }
    posix_spawn_file_actions_t* Actions() noexcept { return &actions_; }

  private:
    posix_spawnattr_t attributes_{};
    posix_spawn_file_actions_t actions_{};
};

} // namespace

std::string FindProgram(const std::string& program) {
    if (program.empty()) {
        return {};
    }
    if (program.find('/') != std::string::npos) {
        return IsExecutableFile(program) ? program : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string_view dirs = path != nullptr ? path : "";
    while (!dirs.empty()) {
        std::size_t colon = dirs.find(':');
        std::string_view dir = dirs.substr(0, colon);
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        std::string candidate = (dir.empty() ? std::string(".") : std::string(dir)) + "/" + program;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

StandInApplicationBrowser::~StandInApplicationBrowser() {
    ReapEnded();
}

bool StandInApplicationBrowser::IsInstalled() {
    if (disposed_) {
        ThrowObjectNotSet();
    }
    return !FindProgram(viewer_).empty();
}

void StandInApplicationBrowser::OpenWithFile(TextFile& file) {
    if (disposed_) {
        ThrowObjectNotSet();
    }
    std::string program = FindProgram(viewer_);
    if (program.empty()) {
        throw VbError(kFileNotFound, "File not found: viewer \"" + viewer_ + "\"");
    }
    std::string target = file.CompleteFileName();

    SpawnSetup setup;
    // The viewer reads no input of ours and writes nothing into our output; its own session
    // keeps it running when our terminal goes away, and it starts with no signal blocked.
    ::posix_spawn_file_actions_addopen(setup.Actions(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(setup.Actions(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    ::posix_spawnattr_setsigmask(setup.Attributes(), &noSignals);
    ::posix_spawnattr_setflags(setup.Attributes(),
                               static_cast<short>(POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK));

    std::vector<char*> argv{program.data(), target.data(), nullptr};
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, program.c_str(), setup.Actions(), setup.Attributes(), argv.data(),
                           environ);
    if (rc != 0) {
        throw VbError(vberr::kInvalidArgument,
                      "Cannot start \"" + program + "\": " + std::strerror(rc));
    }
    started_.push_back(pid);
    ReapEnded();
}

void StandInApplicationBrowser::Dispose() {
    ReapEnded();
    disposed_ = true;
}

void StandInApplicationBrowser::ReapEnded() noexcept {
    // Viewers still running are left alone (never waited for); ended ones are collected so
    // they do not linger as zombies.
    std::erase_if(started_, [](pid_t pid) {
        int status = 0;
        pid_t rc = ::waitpid(pid, &status, WNOHANG);
        return rc == pid || (rc < 0 && errno == ECHILD);
    });
}

} // namespace kvad::host
