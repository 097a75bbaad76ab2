#pragma once
// A temporary folder holding example documents, in which the built nso runs as a user runs it:
// the folder's database (nso.db on SQLite, a server database of its own on PostgreSQL), cache
// folder "cache", the inbox a test names ("inbox" unless told).

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "folder_db.h"
#include "support/temp_dir.h"
#include "support/test_env.h"

namespace kvad::test {

class NsoFolderTest : public ::testing::Test {
  protected:
    /// Makes a new, empty folder ("kvad-<label>-XXXXXX" under the temporary folder, removed
    /// with the test) the folder nso runs in.
    void NewFolder(const std::string& label) {
        folder_.emplace(label);
        dir = folder_->Path();
    }
    /// Makes a new folder and copies into it, as just received, `examples/<part>` to
    /// `<folder>/<to>` (the whole examples folder to the folder itself when `part` is empty).
    void MakeFolder(const std::string& label, const std::string& part = {},
                    const std::string& to = {}) {
        NewFolder(label);
        CopyReceived(std::filesystem::path(KVAD_SOURCE_DIR) / "examples" / part,
                     to.empty() ? dir : dir / to);
    }

    /// Runs `nso ARGUMENTS` (words as a shell reads them) in the folder; returns what it printed
    /// on stdout and stderr together (stdout alone when `withErrors` is false) and sets
    /// `exitCode`.
    std::string Nso(const std::string& arguments, const std::string& inbox = "inbox",
                    bool withErrors = true) {
        const std::string command = "cd '" + dir.string() + "' && '" KVAD_NSO_BINARY "' --db '" +
                                    FolderDb(dir) + "' --inbox " + inbox + " --cache-dir cache " +
                                    arguments + (withErrors ? " 2>&1" : " 2>/dev/null") +
                                    " </dev/null";
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
    /// How many times `text` occurs in `output`.
    static std::size_t Occurrences(const std::string& output, const std::string& text) {
        std::size_t count = 0;
        for (auto at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) {
            ++count;
        }
        return count;
    }
    /// Checks that `output` tells each of `texts` and none of `untold`.
    static void ExpectTold(const std::string& output, const std::vector<std::string>& texts,
                           const std::vector<std::string>& untold = {}) {
        for (const std::string& text : texts) {
            EXPECT_TRUE(Has(output, text)) << text << "\n" << output;
        }
        for (const std::string& text : untold) {
            EXPECT_FALSE(Has(output, text)) << text << "\n" << output;
        }
    }
    /// Runs `nso ARGUMENTS` expecting exit status `status` and each of `texts` in its output,
    /// which it returns.
    std::string Expect(int status, const std::string& arguments,
                       const std::vector<std::string>& texts, const std::string& inbox = "inbox") {
        std::string output = Nso(arguments, inbox);
        EXPECT_EQ(exitCode, status) << "nso " << arguments << "\n" << output;
        ExpectTold(output, texts);
        return output;
    }
    /// A refused command: exit status 1, `reason` in its output, and order 5 unchanged.
    void Refused(const std::string& arguments, const std::string& reason) {
        const std::string before = Ok("show 5");
        const std::string output = Nso(arguments);
        EXPECT_EQ(exitCode, 1) << "nso " << arguments << "\n" << output;
        EXPECT_TRUE(Has(output, reason)) << "nso " << arguments << "\n" << output;
        EXPECT_EQ(Ok("show 5"), before) << "nso " << arguments << " changed the order";
    }

    /// The folder nso runs in: the one NewFolder made, or one a test chose within it.
    std::filesystem::path dir;
    int exitCode = -1;

  private:
    std::optional<TempDir> folder_;
};

} // namespace kvad::test
