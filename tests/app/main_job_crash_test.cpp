// The main job killed (kill -9) and run again leaves what an uninterrupted job leaves, on a
// generated inbox of a few hundred chains (orders revised and cancelled) and one 2,000-line
// order: `nso process --all`, `nso import --all` and `nso run` (in batches of a quarter of the
// chains) are each killed one or more times per round, at a random instant or at a point between
// two writes (the test holds the database against writes, so the command stops at its next
// write, and kills it there), then run
// to the end with the phases after them; every ERP table, every decoded row, every processed
// mark with the ERP order it links to and every log entry must then equal those of an
// uninterrupted run, in every round.
//
// KVAD_CRASH_SEED=N replays a seed (the inbox and the kill points; the instants a kill lands
// still vary); KVAD_CRASH_SCALE=F (0 < F <= 1) shrinks the inbox and the rounds, as the
// sanitized build does by default.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "folder_database.h"
#include "generator/generated_inbox.h"
#include "nso_folder.h"
#include "nso_process.h"
#include "support/crash_scale.h"
#include "support/register_snapshot.h"

namespace main_job_crash {
namespace test = kvad::test;
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test::Count;
using test::KillAtNextWrite;
using test::KillNow;

/// KVAD_CRASH_SEED, else a new seed.
std::uint32_t Seed() {
    const char* text = std::getenv("KVAD_CRASH_SEED");
    return text != nullptr ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10))
                           : std::random_device{}();
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// What the kills of one command came to.
struct KillTally {
    int rounds = 0;
    int tried = 0;   ///< kills sent
    int landed = 0;  ///< kills that ended the command before it ended by itself
    int atWrite = 0; ///< of those, kills at a point between two writes
    int held = 0;    ///< rounds that then ended as the uninterrupted run did
    double seconds = 0;
};

class MainJobCrashTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override {
        NewFolder("nso-main-job-crash");
        root_ = dir;
        scale_ = kvad::test::CrashScale();
        seed_ = Seed();
        random_.seed(seed_);
        plan_.seed = seed_;
        plan_.documents = kvad::test::CrashScaled(300, 20);
        plan_.largeOrderLines = kvad::test::CrashScaled(2000, 50);
        rounds_ = kvad::test::CrashScaled(kRounds);
        std::printf("seed %u (KVAD_CRASH_SEED=%u replays it), scale %.2f: %d documents and one of "
                    "%d lines, %d rounds per command\n",
                    seed_, seed_, scale_, plan_.documents, plan_.largeOrderLines, rounds_);
        const kvad::generator::InboxSummary inbox =
            kvad::generator::WriteInbox(root_ / "inbox", plan_);
        std::printf("inbox: %d orders, %d revisions, %d cancellations, %d chains (longest %d), "
                    "%ld lines\n",
                    inbox.orders, inbox.revisions, inbox.cancellations, inbox.chains,
                    inbox.longestChain, inbox.lines);
        documents_ = inbox.documents;
        // `nso run`, `process --all` and `import --all` go through the chains in four batches
        // or so: kills land within a batch's processing, within its import and between batches.
        runBatch_ = std::to_string(std::max(1, inbox.chains / 4));

        // A new database with the master data, as a user sets it up.
        Use("configured");
        Ok("init");
        for (const fs::path& file : kvad::generator::WriteMasterData(root_ / "master", plan_)) {
            Ok("master load " + file.stem().string() + " '" + file.string() + "'");
        }
        Ok("config set --document OCL --layout NSO --from 01/01/2024");
    }

    /// Makes `name` the folder nso runs in: a new one with the shared inbox.
    void Use(const std::string& name) {
        dir = root_ / name;
        fs::create_directories(dir);
        fs::create_directory_symlink(root_ / "inbox", dir / "inbox");
    }

    /// Makes `name` a copy of the folder `from` (its database as a finished command left it)
    /// and the folder nso runs in.
    void CopyOf(const std::string& from, const std::string& name) {
        Use(name);
        test::CopyFolderDb(root_ / from, dir);
    }

    /// Runs `nso ARGUMENTS` to the end, expecting success; returns its wall time in seconds.
    double Timed(const std::string& arguments) {
        const auto start = Clock::now();
        Ok(arguments);
        return SecondsSince(start);
    }

    /// Starts `command` and kills it, at a random instant before `window` seconds, or at the
    /// first point between two writes after that instant; `how` says which kill it was. Returns
    /// how long the command ran.
    double KillOnce(const std::vector<std::string>& command, double window, KillTally& tally,
                    std::string& how) {
        const bool atWrite = std::uniform_int_distribution<int>(0, 2)(random_) == 0;
        const double wait = std::uniform_real_distribution<double>(0, window)(random_);
        kvad::test::NsoChild child = kvad::test::StartNso(dir, command);
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
        const bool landed = atWrite ? KillAtNextWrite(dir, child) : KillNow(child);
        const double ran = SecondsSince(start);
        ++tally.tried;
        tally.landed += landed ? 1 : 0;
        tally.atWrite += landed && atWrite ? 1 : 0;
        char text[96];
        std::snprintf(text, sizeof text, "%s%s at %.0f ms%s", how.empty() ? "" : ", ",
                      atWrite ? "at the next write" : "killed", ran * 1000,
                      landed ? "" : " (had ended)");
        how += text;
        test::ExpectFileWhole(dir,
                              "seed " + std::to_string(seed_) + ": nso " + command[0] + " " + how);
        return ran;
    }

    /// A command run to the end and what the folder must then hold.
    struct Stage {
        std::string arguments;
        const std::string* expected;
    };

    /// Rounds of `command` from the folder `start`: killed one to three times, then the stages
    /// run to the end one after the other, each leaving what it must.
    KillTally Rounds(const std::string& start, const std::vector<std::string>& command,
                     double reference, const std::vector<Stage>& stages) {
        KillTally tally;
        const auto begin = Clock::now();
        for (int round = 0; round < rounds_; ++round) {
            CopyOf(start, command[0] + "-round" + std::to_string(round));
            std::string how;
            // A command killed leaves less to do for the next one, so each kill falls within
            // what the uninterrupted command would still have to run (a quarter of it at
            // least), short of its last tenth, which varies with the machine's load. A command
            // that ended by itself ends the kills of the round.
            const int kills = std::uniform_int_distribution<int>(1, 3)(random_);
            double left = reference;
            const int landedBefore = tally.landed;
            for (int k = 0; k < kills && tally.landed == landedBefore + k; ++k) {
                left -= KillOnce(command, std::max(left, reference / 4) * 0.9, tally, how);
            }
            std::string trace =
                "seed " + std::to_string(seed_) + ", round " + std::to_string(round) + ": nso";
            for (const std::string& word : command) {
                trace.append(" ").append(word);
            }
            SCOPED_TRACE(trace.append(" ").append(how));
            bool held = true;
            for (const Stage& stage : stages) {
                SCOPED_TRACE("then nso " + stage.arguments);
                Ok(stage.arguments);
                const std::string difference =
                    kvad::test::SnapshotDifference(*stage.expected, test::DurableState(dir));
                EXPECT_EQ(difference, "");
                held = held && difference.empty();
            }
            tally.held += held ? 1 : 0;
            ++tally.rounds;
            std::error_code ignored;
            fs::remove_all(dir, ignored);
            test::ForgetFolderDb(dir);
        }
        tally.seconds = SecondsSince(begin);
        return tally;
    }

    static void Print(const char* command, const KillTally& tally) {
        std::printf("%s: %d rounds, %d kills (%d landed, %d of them at a write), %d of %d rounds "
                    "held, %.1f s\n",
                    command, tally.rounds, tally.tried, tally.landed, tally.atWrite, tally.held,
                    tally.rounds, tally.seconds);
    }

    static constexpr int kRounds = 3;

    /// The test's own folder (removed with it): the shared inbox, and a folder per run.
    fs::path root_;
    double scale_ = 1;
    std::uint32_t seed_ = 0;
    std::mt19937 random_;
    kvad::generator::InboxPlan plan_;
    int rounds_ = 0;
    int documents_ = 0;
    std::string runBatch_; ///< chains per batch of the commands killed
};

TEST_F(MainJobCrashTest, KilledCommandsAndOneMoreRunLeaveWhatAnUninterruptedRunLeaves) {
    const auto start = Clock::now();
    // The uninterrupted job, phase by phase, keeping the folder after each phase.
    CopyOf("configured", "fetched");
    Ok("fetch");
    ASSERT_EQ(Count(dir, "IE91_NSOFILES"), documents_);
    CopyOf("fetched", "processed");
    const double processing = Timed("process --all");
    const std::string processed = test::DurableState(dir);
    // Every document decoded and verified without a message: ready to import.
    ASSERT_EQ(Count(dir, "IE93_NSOTESTATA WHERE IE93_STATUS = 1"), documents_);
    ASSERT_EQ(Count(dir, "IE98_NSO_LOGERRORS"), 0);
    CopyOf("processed", "imported");
    const double importing = Timed("import --all");
    const std::string imported = test::DurableState(dir);
    EXPECT_EQ(Count(dir, "IE91_NSOFILES WHERE IE91_PROCESSATO = 1"), documents_);
    CopyOf("configured", "run");
    const double running = Timed("run --batch " + runBatch_);
    const std::string ran = test::DurableState(dir);
    std::printf("uninterrupted: process %.2f s, import %.2f s, run %.2f s\n", processing, importing,
                running);

    // The job in one command, batch by batch, leaves what its phases one by one leave; and so
    // do processing and import batch by batch.
    EXPECT_EQ(kvad::test::SnapshotDifference(imported, ran), "");
    CopyOf("fetched", "batched");
    Ok("process --all --batch " + runBatch_);
    EXPECT_EQ(kvad::test::SnapshotDifference(processed, test::DurableState(dir)), "");
    Ok("import --all --batch " + runBatch_);
    EXPECT_EQ(kvad::test::SnapshotDifference(imported, test::DurableState(dir)), "");

    const KillTally process =
        Rounds("fetched", {"process", "--all", "--batch", runBatch_}, processing,
               {{"process --all --batch " + runBatch_, &processed}, {"import --all", &imported}});
    Print("process --all", process);
    const KillTally import = Rounds("processed", {"import", "--all", "--batch", runBatch_},
                                    importing, {{"import --all --batch " + runBatch_, &imported}});
    Print("import --all", import);
    const KillTally run = Rounds("configured", {"run", "--batch", runBatch_}, running,
                                 {{"run --batch " + runBatch_, &ran}});
    Print("run", run);
    std::printf("%.1f s in all\n", SecondsSince(start));
    EXPECT_GT(process.landed + import.landed + run.landed, 0) << "no kill landed";
}

} // namespace
} // namespace main_job_crash
