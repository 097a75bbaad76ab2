// The condition the database met in a failing call reaches the host through CLSIE_NSO, while
// Errore keeps its text: each condition is produced for real on a database file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/stand_ins.h"
#include "kvad_nso/clsie_nso.h"
#include "sqlite/sqlite_database.h"
#include "support/temp_dir.h"

namespace kvad {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

class LastDatabaseCondition : public ::testing::Test {
  protected:
    void SetUp() override {
        host::HostConfig config;
        config.cacheDir = (dir_ / "cache").string();
        (void)host::RegisterStandIns(config);
        db::ApplySchema(*db::OpenSqlite(File()));
    }

    [[nodiscard]] std::string File() const { return (dir_ / "nso.db").string(); }
    [[nodiscard]] const fs::path& Dir() const { return dir_.Path(); }

    /// A connection that waits for no lock, as a host could open it.
    [[nodiscard]] std::shared_ptr<Connection> Open() const {
        return db::OpenSqlite(File(), db::OpenOptions{false, 0});
    }

    /// An instance on the connection, company 1.
    static std::unique_ptr<CLSIE_NSO> Component(std::shared_ptr<Connection> connection) {
        auto nso = std::make_unique<CLSIE_NSO>();
        nso->SetConnessione(std::move(connection));
        nso->SetCodiceDitta(std::int32_t{1});
        return nso;
    }

    /// Verifies order 1 as the main row of a delivered chain: the component deletes the order's
    /// verification log, writes the entry that says so and stores the order's status.
    static void VerifyDeliveredChain(CLSIE_NSO& nso) {
        std::int16_t operation = 6;
        std::int32_t id = 1;
        bool header = true;
        bool lines = true;
        nso.VerificaDati(operation, id, header, lines);
    }

  private:
    kvad::test::TempDir dir_{"condition"};
};

TEST_F(LastDatabaseCondition, ALockHeldByAnotherProgramIsBusyUntilACallGoesThrough) {
    const auto holder = Open();
    (void)holder->BeginTrans(); // holds the database's write lock
    const auto nso = Component(Open());
    VerifyDeliveredChain(*nso);
    EXPECT_EQ(nso->Stato(), kaErrVB);
    EXPECT_EQ(nso->LastDatabaseCondition(), DatabaseCondition::Busy);
    EXPECT_TRUE(nso->Errore().Text().starts_with("Routine: VerificaDati\r\nVB error: -2147217900 "))
        << nso->Errore().Text();

    holder->RollbackTrans();
    VerifyDeliveredChain(*nso);
    EXPECT_EQ(nso->Stato(), kaOK) << nso->Errore().Text();
    EXPECT_EQ(nso->LastDatabaseCondition(), DatabaseCondition::None) << "reset with Stato";
}

TEST_F(LastDatabaseCondition, AFileTheUserCannotWriteIsReadOnly) {
    fs::permissions(File(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    // The file's mode binds root only as another user: the call then runs in a child process
    // as nobody, which tells the condition by its exit status.
    fs::permissions(Dir(), fs::perms::all);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && setuid(kNobody) != 0) {
                std::_Exit(100);
            }
            const auto nso = Component(Open());
            VerifyDeliveredChain(*nso);
            std::_Exit(nso->Stato() == kaErrVB ? static_cast<int>(nso->LastDatabaseCondition())
                                               : 101);
        },
        ::testing::ExitedWithCode(static_cast<int>(DatabaseCondition::ReadOnly)), "");
}

TEST_F(LastDatabaseCondition, AFileThatIsNotADatabaseIsToldAsSuch) {
    const std::string other = (Dir() / "other.db").string();
    const auto nso = Component(db::OpenSqlite(other));
    // Written over by another program after the host opened it.
    std::ofstream(other, std::ios::binary | std::ios::trunc) << std::string(4096, 'x');
    VerifyDeliveredChain(*nso);
    EXPECT_EQ(nso->Stato(), kaErrVB);
    EXPECT_EQ(nso->LastDatabaseCondition(), DatabaseCondition::NotDatabase);
}

TEST_F(LastDatabaseCondition, ADatabaseAtItsSizeLimitIsFull) {
    const auto connection = Open();
    // Two log entries of another order fill the log table's one page but for a few bytes, and
    // the file has no free page: the next entry needs a page the size limit does not allow.
    db::ExecuteNativeScript(*connection, "VACUUM");
    for (int i = 0; i < 2; ++i) {
        db::ExecuteNativeScript(*connection, "INSERT INTO IE98_NSO_LOGERRORS (IE98_ID_IE91, "
                                             "IE98_ERRORMESSAGE) VALUES (2, '" +
                                                 std::string(2024, 'x') + "')");
    }
    // Never below the pages the file has: no room to grow.
    db::ExecuteNativeScript(*connection, "PRAGMA max_page_count = 1");
    const auto nso = Component(connection);
    VerifyDeliveredChain(*nso);
    EXPECT_EQ(nso->Stato(), kaErrVB);
    EXPECT_EQ(nso->LastDatabaseCondition(), DatabaseCondition::Full) << nso->Errore().Text();
}

TEST_F(LastDatabaseCondition, AFileANewerProgramChangedIsNewerSchemaNotAStatementError) {
    // A later version renamed a column this program writes.
    db::ExecuteNativeScript(*Open(), "ALTER TABLE IE98_NSO_LOGERRORS RENAME COLUMN "
                                     "IE98_CONTESTO TO IE98_CONTEXT");
    const auto nso = Component(Open());
    VerifyDeliveredChain(*nso);
    EXPECT_EQ(nso->Stato(), kaErrVB);
    EXPECT_EQ(nso->LastDatabaseCondition(), DatabaseCondition::None) << "the file says nothing";

    db::ExecuteNativeScript(*Open(), "INSERT INTO KVAD_SCHEMA_VERSION (SCHEMA_VERSION, "
                                     "SCHEMA_SCRIPT, SCHEMA_APPLIED) VALUES (99, 'later', "
                                     "'2030-01-01')");
    VerifyDeliveredChain(*nso);
    EXPECT_EQ(nso->Stato(), kaErrVB);
    EXPECT_EQ(nso->LastDatabaseCondition(), DatabaseCondition::NewerSchema);
}

} // namespace
} // namespace kvad
