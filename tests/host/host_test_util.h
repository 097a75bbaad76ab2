#pragma once
// Helpers shared by the host stand-in tests.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/expect_error.h"

namespace hosttest {

using kvad::test::ExpectVbError;

/// A fresh folder under the system's temporary folder, removed at the end of the test.
class TempDir {
  public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("kvad_host_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                 std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

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
