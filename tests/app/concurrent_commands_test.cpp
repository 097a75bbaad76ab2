// Two commands of the clerk's half at once, through the built nso, on a generated inbox: two
// `process --all`, `process` during `import --all`, `edit` during `import --all` (and an import
// during an edit), `process` during `run`. The first command is started while the test holds
// the database's write lock, so that it stops at its first write with the company's lock taken;
// the second then starts, and either waits for the first (the test sees it at the lock) or,
// with `--wait 0`, is refused in one plain line that names the first. Either way no row is
// doubled, no edit is lost, no order the first one imported is flagged again, and no internal
// text reaches the user.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "folder_database.h"
#include "generator/generated_inbox.h"
#include "kvad_nso/codes.h"
#include "nso_folder.h"
#include "nso_process.h"
#include "postgres/pg_database.h"
#include "sqlite/company_lock.h"
#include "support/register_snapshot.h"
#include "support/temp_dir.h"
#include "support/test_backend.h"

namespace concurrent_commands {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using kvad::db::AdvisoryLock;
using kvad::db::AdvisoryWork;
using kvad::db::CompanyLock;
using kvad::db::CompanyWork;
using kvad::test::Count;
using kvad::test::Value;
using kvad::test::WriteStall;

/// Polls `done` every millisecond for up to 20 s; true once it holds.
template <typename Condition> bool Eventually(Condition done) {
    const auto giveUp = Clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (Clock::now() >= giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

/// True when process `pid` has the file open.
bool HasOpen(pid_t pid, const std::string& file) {
    std::error_code ec;
    for (fs::directory_iterator fd("/proc/" + std::to_string(pid) + "/fd", ec), end;
         !ec && fd != end; fd.increment(ec)) {
        std::error_code unreadable;
        if (fs::read_symlink(fd->path(), unreadable) == file) {
            return true;
        }
    }
    return false;
}

/// What a pair of commands printed and how each ended.
struct Pair {
    pid_t firstPid = 0;
    int firstStatus = -1;
    std::string first;
    int secondStatus = -1;
    std::string second;
};

class ConcurrentCommandsTest : public kvad::test::NsoFolderTest {
  protected:
    static void SetUpTestSuite() {
        root_.emplace("nso-concurrent");
        kvad::generator::InboxPlan plan;
        plan.seed = 11;
        plan.documents = 40;
        plan.buyers = 8;
        documents_ = kvad::generator::WriteInbox(*root_ / "inbox", plan).documents;
        masterFiles_ = kvad::generator::WriteMasterData(*root_ / "master", plan);
    }
    static void TearDownTestSuite() { root_.reset(); }

    /// Makes `name` the folder nso runs in, with the generated inbox and a database brought as
    /// far as `stage` says: "configured" (master data and configuration), "fetched",
    /// "processed" or "imported". Each stage is made once and copied.
    void Folder(const std::string& name, const std::string& stage) {
        static const std::vector<std::pair<std::string, std::string>> kStages = {
            {"configured", ""},
            {"fetched", "fetch"},
            {"processed", "process --all"},
            {"imported", "import --all"}};
        std::string before;
        for (const auto& [made, command] : kStages) {
            if (!fs::exists(*root_ / made)) {
                Use(made, before);
                if (before.empty()) {
                    Ok("init");
                    for (const fs::path& file : masterFiles_) {
                        Ok("master load " + file.stem().string() + " '" + file.string() + "'");
                    }
                    Ok("config set --document OCL --layout NSO --from 01/01/2022");
                } else {
                    Ok(command);
                }
            }
            if (made == stage) {
                break;
            }
            before = made;
        }
        if (name == stage) {
            dir = *root_ / stage;
        } else {
            Use(name, stage);
        }
    }

    /// A new folder `name` with the inbox and a copy of the database of the folder `from`.
    void Use(const std::string& name, const std::string& from) {
        dir = *root_ / name;
        fs::create_directories(dir);
        fs::create_directory_symlink(*root_ / "inbox", dir / "inbox");
        if (!from.empty()) {
            kvad::test::CopyFolderDb(*root_ / from, dir);
        }
    }

    /// True when process `pid` holds the company's clerk lock: the lock file names it, or the
    /// server's advisory lock is held by a session that names it.
    [[nodiscard]] bool HoldsClerkLock(pid_t pid) const {
        if (kvad::test::OnPostgres()) {
            const std::string holder =
                AdvisoryLock::Holder(kvad::test::FolderDb(dir), 1, AdvisoryWork::Clerk);
            return EndsWith(holder, ", process " + std::to_string(pid));
        }
        const auto holder =
            CompanyLock::Holder(kvad::test::FolderDbName(dir), 1, CompanyWork::Clerk);
        return holder && holder->pid == pid;
    }
    /// True when process `pid` has come to the company's clerk lock: it has the lock file open,
    /// or a session of its own on the server, named for the lock it tries to take.
    [[nodiscard]] bool CameToClerkLock(pid_t pid) const {
        if (kvad::test::OnPostgres()) {
            return kvad::test::ServerValue(kvad::test::FolderDb(dir),
                                           "SELECT count(*) FROM pg_stat_activity WHERE "
                                           "application_name LIKE '%, process " +
                                               std::to_string(pid) + "'") != "0";
        }
        return HasOpen(pid,
                       CompanyLock::Path(kvad::test::FolderDbName(dir), 1, CompanyWork::Clerk));
    }

    /// Starts `first` and stops it at a write (the database's write lock held) while it holds the
    /// company's clerk lock: at its first write, or at the first after it printed a line that
    /// starts with `stopAfter`. Then starts `second`: with `secondWaits` the second is seen at
    /// the lock before the first may go on; otherwise it has ended (refused) before. Both are
    /// run to their end.
    Pair RunPair(const std::vector<std::string>& first, const std::vector<std::string>& second,
                 bool secondWaits, const std::string& stopAfter = "") {
        ++pairs_;
        Pair pair;
        std::optional<WriteStall> stall;
        if (stopAfter.empty()) {
            stall.emplace(dir);
        }
        kvad::test::NsoChild a = kvad::test::StartNso(dir, first);
        pair.firstPid = a.pid;
        if (!stopAfter.empty()) {
            for (std::string line = "-"; !line.empty() && line.rfind(stopAfter, 0) != 0;) {
                line = kvad::test::ReadLine(a);
                pair.first += line + "\n";
            }
            stall.emplace(dir);
        }
        EXPECT_TRUE(stall->Held());
        EXPECT_TRUE(Eventually([&] { return HoldsClerkLock(a.pid); }))
            << "nso " << first[0] << " never held the company's clerk lock";
        kvad::test::NsoChild b = kvad::test::StartNso(dir, second);
        if (secondWaits) {
            EXPECT_TRUE(Eventually([&] { return CameToClerkLock(b.pid); }))
                << "nso " << second[0] << " never came to the lock";
        } else {
            pair.secondStatus = kvad::test::Finish(b, &pair.second);
        }
        stall->Release();
        pair.firstStatus = kvad::test::Finish(a, &pair.first);
        if (secondWaits) {
            pair.secondStatus = kvad::test::Finish(b, &pair.second);
        }
        return pair;
    }

    /// How the second command of a pair ended: one that waited with `status`, having printed
    /// each of `texts`; one that might not wait refused in one line naming `holder`, the first.
    static void ExpectSecond(const Pair& pair, bool waited, int status,
                             const std::vector<std::string>& texts, const std::string& holder) {
        EXPECT_EQ(pair.secondStatus, waited ? status : 1) << pair.second;
        if (waited) {
            for (const std::string& text : texts) {
                EXPECT_TRUE(Has(pair.second, text)) << pair.second;
            }
            return;
        }
        const std::string start = "nso: another " + holder + " of company 1 is running (since ";
        const std::string end = ", process " + std::to_string(pair.firstPid) +
                                "): wait for it, or give --wait SECONDS\n";
        EXPECT_EQ(pair.second.rfind(start, 0), 0U) << pair.second;
        EXPECT_TRUE(EndsWith(pair.second, end)) << pair.second;
        EXPECT_EQ(std::count(pair.second.begin(), pair.second.end(), '\n'), 1) << pair.second;
    }

    /// Neither command of the pair told the user an internal text.
    static void ExpectNoInternalText(const Pair& pair) {
        for (const std::string* output : {&pair.first, &pair.second}) {
            for (const char* internal :
                 {"VB error", "SQL State", "SQLState", "UNIQUE constraint", "Routine", "SQLITE"}) {
                EXPECT_FALSE(Has(*output, internal)) << *output;
            }
        }
    }

    /// The groups of `columns` that `table` holds more than once, as a row source.
    static std::string Twice(const std::string& table, const std::string& columns) {
        return "(SELECT 1 AS ONE FROM " + table + " GROUP BY " + columns +
               " HAVING COUNT(*) > 1) AS TWICE";
    }

    /// What must hold whatever the pair did: no internal text told, no decoded row, ERP order or
    /// ERP line twice, no order flagged as imported before (message 15), and message 14 on
    /// every document an ERP order was made from.
    void ExpectSound(const Pair& pair) const {
        ExpectNoInternalText(pair);
        const std::string alreadyImported = "IE98_NSO_LOGERRORS WHERE IE98_CODE_IE97 = " +
                                            std::to_string(kvad::message::kAlreadyImported);
        const std::string importedUntold =
            "IE91_NSOFILES WHERE IE91_GUID_DO11 IS NOT NULL AND NOT EXISTS (SELECT 1 FROM "
            "IE98_NSO_LOGERRORS WHERE IE98_ID_IE91 = IE91_ID AND IE98_CODE_IE97 = " +
            std::to_string(kvad::message::kImported) + ")";
        const std::vector<std::string> noRows = {
            Twice("IE93_NSOTESTATA", "IE93_ID_IE91"),
            Twice("IE95_NSOCORPO", "IE95_ID_IE91, IE95_DO30_PROGRIGA"),
            Twice("DO12_DOCTESTARIF",
                  "DO12_DITTA_CG18, DO12_FEIDDOC, DO12_FEDATADOC, DO12_FEIDSOGGETTO"),
            Twice("DO30_DOCCORPO", "DO30_DITTA_CG18, DO30_NUMREG_CO99, DO30_PROGRIGA"),
            alreadyImported,
            importedUntold};
        for (const std::string& from : noRows) {
            EXPECT_EQ(Count(dir, from), 0) << from;
        }
        kvad::test::ExpectFileWhole(dir);
    }

    /// The rows of the tables a whole import of the inbox writes, and the log entries.
    [[nodiscard]] static std::vector<long> ImportCounts(const fs::path& folder) {
        std::vector<long> counts;
        for (const char* table :
             {"IE93_NSOTESTATA", "IE95_NSOCORPO", "DO11_DOCTESTATA", "DO30_DOCCORPO",
              "IE98_NSO_LOGERRORS", "IE91_NSOFILES WHERE IE91_GUID_DO11 IS NOT NULL"}) {
            counts.push_back(Count(folder, table));
        }
        return counts;
    }
    /// The query of the quantity of line 1 of the ERP order made from order `id`.
    static std::string ErpQuantity(const std::string& id) {
        return "SELECT DO30_QTA1 FROM DO30_DOCCORPO INNER JOIN DO11_DOCTESTATA ON "
               "DO11_DITTA_CG18 = DO30_DITTA_CG18 AND DO11_NUMREG_CO99 = DO30_NUMREG_CO99 INNER "
               "JOIN IE91_NSOFILES ON IE91_GUID_DO11 = DO11_GUID WHERE IE91_ID = " +
               id + " AND DO30_PROGRIGA = 1";
    }
    /// The edit of order `id` the pairs run: line 1's quantity to 777.
    static std::vector<std::string> EditOf(const std::string& id) {
        return {"edit", id, "--line", "1", "quantity=777"};
    }

    /// The suite's folder: the generated inbox and master data, and a folder per command pair.
    static std::optional<kvad::test::TempDir> root_;
    static int documents_;
    static std::vector<fs::path> masterFiles_;
    int pairs_ = 0;
};

std::optional<kvad::test::TempDir> ConcurrentCommandsTest::root_;
int ConcurrentCommandsTest::documents_ = 0;
std::vector<fs::path> ConcurrentCommandsTest::masterFiles_;

// One test, so that the inbox and the databases every pair starts from are made once.
TEST_F(ConcurrentCommandsTest, TheClerksCommandsWaitForEachOtherOrAreRefused) {
    const auto start = Clock::now();
    Folder("processed", "processed");
    const std::vector<long> processed = ImportCounts(dir);
    EXPECT_EQ(processed[0], documents_);
    // What the inbox processed and imported, with nothing else done, leaves.
    Folder("imported", "imported");
    const std::vector<long> imported = ImportCounts(dir);
    EXPECT_GT(imported[2], 0);
    // The first order an ERP order is made from, and its first line's quantity there.
    const std::string id =
        Value(dir, "SELECT MIN(IE91_ID) FROM IE91_NSOFILES WHERE IE91_GUID_DO11 IS NOT NULL");
    ASSERT_FALSE(id.empty());
    const std::string quantity =
        Value(dir, "SELECT IE95_DO30_QTA1 FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " + id +
                       " AND IE95_DO30_PROGRIGA = 1");
    ASSERT_NE(std::stod("0" + quantity), 777);
    const double prepared = std::chrono::duration<double>(Clock::now() - start).count();
    const std::string tally = std::to_string(documents_) + " order(s) reviewed: ";
    for (const bool waits : {true, false}) {
        SCOPED_TRACE(waits ? "the second command waits" : "the second command may not wait");
        // Starts `second` while `first` holds the clerk lock, from a folder at `stage`: one that
        // waited ends with `status`, having printed `told`; one that may not wait is refused
        // naming `holder`.
        const auto pairFrom = [&](const std::string& stage, const std::vector<std::string>& first,
                                  std::vector<std::string> second, int status,
                                  const std::vector<std::string>& told, const std::string& holder,
                                  const std::string& stopAfter = "") {
            SCOPED_TRACE("nso " + second[0] + " during nso " + first[0]);
            Folder("pair" + std::to_string(pairs_), stage);
            if (!waits) {
                second.insert(second.end(), {"--wait", "0"});
            }
            const Pair pair = RunPair(first, second, waits, stopAfter);
            EXPECT_EQ(pair.firstStatus, 0) << pair.first;
            ExpectSecond(pair, waits, status, told, holder);
            ExpectSound(pair);
            if (first[0] == "process") {
                EXPECT_TRUE(Has(pair.first, tally)) << pair.first;
                EXPECT_EQ(ImportCounts(dir), processed);
                return;
            }
            EXPECT_EQ(ImportCounts(dir), imported);
            // The import took the quantity as processing decoded it, not the edit's.
            EXPECT_EQ(std::stod("0" + Value(dir, ErpQuantity(id))), std::stod(quantity));
            EXPECT_NE(std::stod("0" + Value(dir, "SELECT IE95_DO30_QTA1 FROM IE95_NSOCORPO WHERE "
                                                 "IE95_DO30_PROGRIGA = 1 AND IE95_ID_IE91 = " +
                                                     id)),
                      777);
            EXPECT_FALSE(Has(pair.second, "changed")) << pair.second;
        };
        // The second processing processes every chain again, now decoded: nothing is added.
        pairFrom("fetched", {"process", "--all"}, {"process", "--all"}, 0, {tally}, "nso process");
        // The others find every chain imported while they waited: nothing to process or edit.
        pairFrom("processed", {"import", "--all"}, {"process", "--all"}, 1,
                 {"nso: nothing to process"}, "nso import");
        pairFrom("processed", {"import", "--all"}, EditOf(id), 1,
                 {"was imported as ERP order ", ": its values cannot be edited\n"}, "nso import");
        // The run is stopped within its import, when a processing would find the chains it is
        // importing still to process. It goes one chain a batch, so that other batches still
        // write after the first import: in one batch, a run whose import (one grouped commit)
        // ended before the write stall was in place ended with it, its clerk lock let go before
        // it was looked for (seen in CI under load; with the stall 100 ms late the pair failed
        // every time, one chain a batch passes with it 300 ms late).
        pairFrom("configured", {"run", "--batch", "1"}, {"process", "--all"}, 1,
                 {"nso: nothing to process"}, "nso run", "== import");
    }
    {
        // An import that comes during an edit waits for it, and imports the corrected value.
        SCOPED_TRACE("`import --all` during `edit`");
        Folder("edit-import", "processed");
        const Pair pair = RunPair(EditOf(id), {"import", "--all"}, true);
        EXPECT_EQ(pair.firstStatus, 0) << pair.first;
        EXPECT_TRUE(Has(pair.first, "changed line 1: quantity ")) << pair.first;
        EXPECT_EQ(pair.secondStatus, 0) << pair.second;
        EXPECT_EQ(std::stod("0" + Value(dir, ErpQuantity(id))), 777);
        ExpectSound(pair);
    }
    std::printf("%d pairs in %.1f s (the databases they start from made in %.1f s)\n", pairs_,
                std::chrono::duration<double>(Clock::now() - start).count() - prepared, prepared);
}

} // namespace
} // namespace concurrent_commands
