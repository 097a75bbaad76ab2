#pragma once
// A temporary folder holding example documents, in which the built nso runs as a user runs it:
// database nso.db, cache folder "cache", the inbox a test names ("inbox" unless told).

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/test_env.h"

namespace kvad::test {

class NsoFolderTest : public ::testing::Test {
  protected:
    /// Makes the folder ("<prefix>-XXXXXX" under the temporary folder) and copies into it, as
    /// just received, `examples/<part>` to `<folder>/<to>` (the whole examples folder to the
    /// folder itself when `part` is empty).
    void MakeFolder(const std::string& prefix, const std::string& part = {},
                    const std::string& to = {}) {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        CopyReceived(fs::path(KVAD_SOURCE_DIR) / "examples" / part, to.empty() ? dir : dir / to);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    /// Runs `nso ARGUMENTS` (words as a shell reads them) in the folder; returns what it printed
    /// on stdout and stderr together (stdout alone when `withErrors` is false) and sets
    /// `exitCode`.
    std::string Nso(const std::string& arguments, const std::string& inbox = "inbox",
                    bool withErrors = true) {
        const std::string command = "cd '" + dir.string() +
                                    "' && '" KVAD_NSO_BINARY "' --db nso.db --inbox " + inbox +
                                    " --cache-dir cache " + arguments +
                                    (withErrors ? " 2>&1" : " 2>/dev/null") + " </dev/null";
        std::string output;
        const int status = Shell(command, output);
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return output;
    }
    /// Runs a shell command, appending what it prints to `output`; returns its wait status.
    static int Shell(const std::string& command, std::string& output) {
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        std::size_t n = 0;
        while (pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, n);
        }
        return pipe == nullptr ? -1 : pclose(pipe);
    }
    /// Nso, expecting exit status 0.
    std::string Ok(const std::string& arguments, const std::string& inbox = "inbox") {
        std::string output = Nso(arguments, inbox);
        EXPECT_EQ(exitCode, 0) << "nso " << arguments << "\n" << output;
        return output;
    }
    static bool Has(const std::string& output, const std::string& text) {
        return output.find(text) != std::string::npos;
    }

    std::filesystem::path dir;
    int exitCode = -1;
};

} // namespace kvad::test
