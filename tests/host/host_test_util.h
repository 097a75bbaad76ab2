#pragma once
// Helpers shared by the host stand-in tests.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/expect_error.h"
#include "support/temp_dir.h"

namespace hosttest {

using kvad::test::ExpectVbError;

using kvad::test::TempDir;

/// What a run of the built nso printed (stdout and stderr together) and its exit status.
struct NsoRun {
    int exitCode;
    std::string output;
};

#ifdef KVAD_NSO_BINARY
/// Runs `nso ARGUMENTS` (words as a shell reads them).
inline NsoRun RunNso(const std::string& arguments) {
    const std::string command = std::string(KVAD_NSO_BINARY) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    std::array<char, 512> buffer{};
    while (pipe != nullptr) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe);
        if (n == 0) {
            break;
        }
        output.append(buffer.data(), n);
    }
    const int status = pipe == nullptr ? -1 : ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}
#endif

} // namespace hosttest
