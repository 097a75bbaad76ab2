#pragma once
// The built nso run as a process of its own, in a folder of its own on the folder's database:
// waited for, or started and then killed, or run as another user.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "folder_db.h"

namespace kvad::test {

/// A started nso: its process id and the read end of its output (stdout and stderr).
struct NsoChild {
    pid_t pid = -1;
    int output = -1;
};

/// Starts nso in `dir` with the usual options (the folder's database, inbox "inbox", cache "cache")
/// followed by `arguments`; with `user`, as that user and its group, at home in `dir`.
inline NsoChild StartNso(const std::filesystem::path& dir,
                         const std::vector<std::string>& arguments,
                         std::optional<uid_t> user = std::nullopt) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return {};
    }
    std::vector<std::string> words = {KVAD_NSO_BINARY, "--db",        FolderDb(dir), "--inbox",
                                      "inbox",         "--cache-dir", "cache"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(pipeFds[1], STDERR_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        if (chdir(dir.c_str()) != 0 ||
            (user && (setgroups(0, nullptr) != 0 || setgid(*user) != 0 || setuid(*user) != 0 ||
                      setenv("HOME", dir.c_str(), 1) != 0))) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

/// Reads one line of the child's output: what came of it at the output's end, or when nothing
/// more came for `patience` (a child that stops talking fails the test instead of hanging it).
inline std::string ReadLine(const NsoChild& child,
                            std::chrono::milliseconds patience = std::chrono::seconds(60)) {
    std::string line;
    char c = 0;
    while (true) {
        pollfd ready{child.output, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(patience.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0 || read(child.output, &c, 1) != 1 || c == '\n') {
            return line;
        }
        line += c;
    }
}

/// Reads the rest of the output and waits: the exit status, or -1 when the child did not exit.
inline int Finish(NsoChild& child, std::string* output = nullptr) {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(child.output, buffer, sizeof buffer)) > 0) {
        if (output != nullptr) {
            output->append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(child.output);
    int status = 0;
    waitpid(child.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// Kills the child at once (as a crash or a power cut would end it) and reaps it.
inline void Kill(NsoChild& child) {
    kill(child.pid, SIGKILL);
    (void)Finish(child);
}

} // namespace kvad::test
