// An import killed (kill -9) again and again, then run once more to the end, leaves what an
// uninterrupted import leaves: every ERP table, every order's status, processed mark and link to
// its ERP order, and every error-log entry. Some kills land at a random instant, the others
// between two writes of the import (the test holds the database against writes, so the import
// stops at its next write, and kills it there): right after a chain's commit, for one.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <list>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "folder_database.h"
#include "nso_folder.h"
#include "nso_process.h"
#include "support/crash_scale.h"
#include "support/register_snapshot.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class ImportCrashTest : public kvad::test::NsoFolderTest {
  protected:
    static constexpr int kOrders = 30;
    static int Rounds() { return kvad::test::CrashScaled(6); }
    static constexpr int kKillsPerRound = 4;

    /// A folder with the demo master data and kOrders orders of the ASL (two lines each, which
    /// decode with warnings only), fetched and processed.
    void Processed(const std::string& label) {
        NewFolder(label);
        const fs::path folder = dir / "inbox" / "IT01234567890";
        fs::create_directories(folder);
        const std::string model =
            kvad::test::ReadSourceFile("examples/inbox/IT01234567890/ORD-2024-0005.xml");
        for (int i = 0; i < kOrders; ++i) {
            const std::string number = "ORD/2024/" + std::to_string(1000 + i);
            std::string text = model;
            text.replace(text.find("ORD/2024/00512"), 14, number);
            std::ofstream(folder / ("gen-" + std::to_string(1000 + i) + ".xml"), std::ios::binary)
                << text;
        }
        EXPECT_TRUE(Has(Ok("init --demo"), "configured company 1"));
        EXPECT_TRUE(Has(Ok("fetch"), "new " + std::to_string(kOrders)));
        Ok("process --all");
    }

    /// A copy of the processed folder in a new folder of its own (removed with the test), which
    /// becomes the folder nso runs in.
    void Copy(const fs::path& processed, const std::string& name) {
        dir = copies_.emplace_back("nso-import-crash-" + name).Path();
        fs::copy(processed, dir, fs::copy_options::recursive);
        kvad::test::CopyFolderDb(processed, dir);
    }

    /// Starts `import --all` kKillsPerRound times and kills it each time after a few chains,
    /// at a random instant or between two writes by turns.
    void KillImports(std::mt19937& random) {
        // Each kill lets a few chains through at most, so that the last import has work left.
        std::uniform_int_distribution<int> line(1, kOrders / (kKillsPerRound + 1));
        std::uniform_int_distribution<int> micros(0, 5000);
        for (int kill = 0; kill < kKillsPerRound; ++kill) {
            kvad::test::NsoChild child = kvad::test::StartNso(dir, {"import", "--all"});
            const int at = line(random);
            for (int n = 0; n < at && !kvad::test::ReadLine(child).empty(); ++n) {
            }
            if (kill % 2 == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(micros(random)));
                kvad::test::Kill(child);
            } else {
                (void)kvad::test::KillAtNextWrite(dir, child);
            }
            kvad::test::ExpectFileWhole(dir);
        }
    }

  private:
    std::list<kvad::test::TempDir> copies_;
};

TEST_F(ImportCrashTest, KilledImportsAndOneMoreLeaveWhatAnUninterruptedImportLeaves) {
    Processed("nso-import-crash");
    const fs::path processed = dir;
    Copy(processed, "reference");
    ASSERT_TRUE(Has(Ok("import --all"), std::to_string(kOrders) + " imported, 0 failed"));
    const std::string expected = kvad::test::DurableState(dir);
    // Every order imported, with its message 14.
    ASSERT_EQ(Occurrences(expected, "|0|14|1|2|null|null|\n"), static_cast<std::size_t>(kOrders))
        << expected;

    std::mt19937 random(20261206);
    for (int round = 0; round < Rounds(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Copy(processed, "round" + std::to_string(round));
        KillImports(random);
        const std::string last = Nso("import --all");
        EXPECT_EQ(exitCode, 0) << last;
        const std::string difference =
            kvad::test::SnapshotDifference(expected, kvad::test::DurableState(dir));
        EXPECT_EQ(difference, "");
    }
    // Nothing is left to import, and a later import finds nothing to do.
    EXPECT_TRUE(Has(Ok("import --all"), "Nothing to import"));
}

} // namespace
