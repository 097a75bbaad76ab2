// A processing killed (kill -9) while it decodes a large order leaves the order decoded whole or
// not at all, and the next processing decodes it as an uninterrupted one does.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "processing_test_env.h"
#include "support/crash_scale.h"
#include "support/register_snapshot.h"
#include "ubl/xml_loader.h"

namespace kvad::nso {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

/// The large order's lines: 2,000, or fewer where the crash tests run scaled down.
int Lines() {
    return kvad::test::CrashScaled(2000, 200);
}

/// Processes the file in a process of its own, which exits with 0 when processing ended with
/// Stato kaOK. The caller holds no connection to the file while it forks.
pid_t StartProcessing(const fs::path& file) {
    const pid_t pid = fork();
    if (pid == 0) {
        int status = 2;
        try {
            test::Instance instance(file.string());
            instance.ProcessAll();
            status = instance.S().Stato == kaOK ? 0 : 1;
        } catch (...) {
        }
        _exit(status);
    }
    return pid;
}

/// Waits for a child: its exit status, or -1 when a signal ended it.
int Reap(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long DecodedLines(Connection& db, std::int32_t id) {
    return db
        .Query("SELECT COUNT(*) FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " + std::to_string(id))
        ->Value(0)
        .ToLong();
}

class ProcessingCrashTest : public test::ProcessingTest {
  protected:
    /// A fresh copy of the database as it is now, in a file that no connection holds open.
    fs::path Copy(const std::string& name) {
        env.Native("PRAGMA wal_checkpoint(TRUNCATE)");
        const fs::path file = env.Dir() / name;
        fs::copy_file(env.DbFile(), file, fs::copy_options::overwrite_existing);
        fs::remove(fs::path(file.string() + "-wal"));
        fs::remove(fs::path(file.string() + "-shm"));
        return file;
    }
};

TEST_F(ProcessingCrashTest, KilledWhileDecodingThenProcessedAgainDecodesTheOrderWhole) {
    KVAD_SQLITE_ONLY(); // kills a process writing to a copy of the database file
    // A 2,000-line order with two allowances of its own, already staged: processing it is
    // decoding it (and verifying it).
    const std::int32_t id =
        Register("", "BIG-1", "2024-03-05", 0, 0, test::GeneratedOrderXml(Lines()));
    GetOrderFromXML(env.S(), id, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();

    // The uninterrupted processing, timed, gives the rows to expect.
    const fs::path reference = Copy("reference.db");
    const auto start = Clock::now();
    ASSERT_EQ(Reap(StartProcessing(reference)), 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    std::string expected;
    {
        test::Instance instance(reference.string());
        ASSERT_EQ(DecodedLines(instance.Db(), id), Lines() + 2);
        expected = test::DecodedState(instance.Db(), id);
    }

    // Kills within the first half of the reference's time; on a loaded machine the reference may
    // take longer than the rounds, so rounds go on (a few more at most) until one was cut short.
    std::mt19937 random(20260214);
    std::uniform_int_distribution<long> at(0, took.count() / 2);
    int cutShort = 0;
    const int rounds = kvad::test::CrashScaled(4);
    for (int round = 0; round < rounds || (cutShort == 0 && round < rounds + 4); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const fs::path file = Copy("round.db");
        const pid_t child = StartProcessing(file);
        std::this_thread::sleep_for(std::chrono::microseconds(at(random)));
        kill(child, SIGKILL);
        cutShort += Reap(child) == -1 ? 1 : 0;
        EXPECT_EQ(kvad::test::IntegrityCheck(file.string()), "ok");

        test::Instance instance(file.string());
        const long left = DecodedLines(instance.Db(), id);
        EXPECT_TRUE(left == 0 || left == Lines() + 2) << left << " decoded lines left";
        instance.ProcessAll();
        ASSERT_EQ(instance.S().Stato, kaOK) << instance.S().Errore.Text();
        EXPECT_EQ(kvad::test::SnapshotDifference(expected, test::DecodedState(instance.Db(), id)),
                  "");
    }
    EXPECT_GT(cutShort, 0) << "no processing was cut short";
}

} // namespace
} // namespace kvad::nso
