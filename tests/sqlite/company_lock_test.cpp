// The company lock: one holder at a time of a kind of work, a taker refused with the holder
// named or let in once the holder lets go, and a holder killed (kill -9) leaving the lock free.
#include "sqlite/company_lock.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "support/expect_error.h"
#include "support/temp_dir.h"

namespace company_lock_test {
namespace {

namespace fs = std::filesystem;
using kvad::db::CompanyLock;
using kvad::db::CompanyLockBusy;
using kvad::db::CompanyWork;
using std::chrono::milliseconds;

class CompanyLockTest : public ::testing::Test {
  protected:
    [[nodiscard]] CompanyLock Take(const std::string& name, milliseconds wait = milliseconds(0),
                                   CompanyWork work = CompanyWork::Clerk,
                                   std::int32_t company = 1) const {
        return {database_, company, work, name, wait};
    }

    const kvad::test::TempDir dir_{"lock"};
    const std::string database_ = (dir_ / "nso.db").string();
};

TEST_F(CompanyLockTest, ASecondTakerIsRefusedWithTheHolderNamed) {
    EXPECT_EQ(CompanyLock::Path(database_, 1, CompanyWork::Clerk),
              fs::canonical(dir_.Path()).string() + "/nso.db.clerk-1.lock");
    EXPECT_FALSE(CompanyLock::Holder(database_, 1, CompanyWork::Clerk));
    {
        const CompanyLock held = Take("nso import");
        const auto holder = CompanyLock::Holder(database_, 1, CompanyWork::Clerk);
        ASSERT_TRUE(holder);
        EXPECT_EQ(holder->name, "nso import");
        EXPECT_EQ(holder->pid, getpid());

        const auto refused = kvad::test::ThrownBy<CompanyLockBusy>([&] { (void)Take("nso edit"); });
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->Condition(), kvad::DatabaseCondition::Busy);
        EXPECT_EQ(refused->SqlState(), "40001");
        ASSERT_TRUE(refused->Holder());
        EXPECT_EQ(refused->Holder()->pid, getpid());
        char since[16];
        const std::time_t now = std::chrono::system_clock::to_time_t(refused->Holder()->since);
        std::tm local{};
        localtime_r(&now, &local);
        std::strftime(since, sizeof since, "%H:%M:%S", &local);
        EXPECT_EQ(std::string(refused->what()),
                  "another nso import of company 1 is running (since " + std::string(since) +
                      ", process " + std::to_string(getpid()) + ")");

        // Another kind of work, or another company, is not kept apart from it.
        EXPECT_NO_THROW((void)Take("nso fetch", milliseconds(0), CompanyWork::Retrieval));
        EXPECT_NO_THROW((void)Take("nso import", milliseconds(0), CompanyWork::Clerk, 2));
    }
    // Let go: nobody holds it, and the next taker takes it at once.
    EXPECT_FALSE(CompanyLock::Holder(database_, 1, CompanyWork::Clerk));
    EXPECT_NO_THROW((void)Take("nso edit"));
}

TEST_F(CompanyLockTest, ATakerThatMayWaitTakesItWhenTheHolderLetsGo) {
    std::optional<CompanyLock> held = Take("nso process");
    std::thread letGo([&] {
        std::this_thread::sleep_for(milliseconds(150));
        held.reset();
    });
    const auto start = std::chrono::steady_clock::now();
    const CompanyLock taken = Take("nso edit", milliseconds(10000));
    const auto waited = std::chrono::steady_clock::now() - start;
    letGo.join();
    EXPECT_GE(waited, milliseconds(100));
    EXPECT_LT(waited, milliseconds(5000));
    EXPECT_EQ(CompanyLock::Holder(database_, 1, CompanyWork::Clerk)->name, "nso edit");
}

TEST_F(CompanyLockTest, AHolderKilledLeavesTheLockFree) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        const CompanyLock held(database_, 1, CompanyWork::Clerk, "nso run", milliseconds(0));
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    const auto refused = kvad::test::ThrownBy<CompanyLockBusy>([&] { (void)Take("nso edit"); });
    ASSERT_TRUE(refused && refused->Holder());
    EXPECT_EQ(refused->Holder()->pid, child);
    EXPECT_EQ(refused->Holder()->name, "nso run");

    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    // Its text stays in the file, but the kernel let go of its lock.
    EXPECT_FALSE(CompanyLock::Holder(database_, 1, CompanyWork::Clerk));
    const CompanyLock taken = Take("nso edit");
    EXPECT_EQ(CompanyLock::Holder(database_, 1, CompanyWork::Clerk)->pid, getpid());
}

TEST_F(CompanyLockTest, ALockFileThatCannotBeMadeIsADatabaseCondition) {
    const std::string nowhere = (dir_ / "missing" / "nso.db").string();
    const auto error = kvad::test::ThrownBy<kvad::DbError>(
        [&] { (void)CompanyLock(nowhere, 1, CompanyWork::Clerk, "nso init", milliseconds(0)); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Condition(), kvad::DatabaseCondition::CannotOpen);
    EXPECT_NE(std::string(error->what()).find("nso.db.clerk-1.lock"), std::string::npos)
        << error->what();
}

} // namespace
} // namespace company_lock_test
