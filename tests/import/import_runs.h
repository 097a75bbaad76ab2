#pragma once
// One scene imported many times over: the database is kept as the scene set it up and put back
// before each run, and each run imports on a connection of its own, as every nso process opens
// its own. A test may wrap that connection to fail a statement or to cut the run short after
// one; ending a run closes its connection, so a transaction left open is rolled back and the
// working table goes, as when the process ends.

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "import/importa_documenti.h"
#include "import/importa_singolo_ordine.h"
#include "import_members.h"
#include "import_test_env.h"
#include "sqlite/sqlite_database.h"

namespace kvad::nso::test {

/// Processing codes per document: {number, TMP_ELABORA, TMP_FLGNONPIUEV}.
using ProcessingCodes = std::vector<std::tuple<std::string, int, int>>;

/// Makes the connection a run imports on from the run's own connection.
using ConnectionWrap = std::function<std::shared_ptr<Connection>(std::shared_ptr<Connection>)>;

class ImportRuns : public ImportScene {
  public:
    ImportRuns() = default;
    ImportRuns(const ImportRuns&) = delete;
    ImportRuns& operator=(const ImportRuns&) = delete;
    ImportRuns(ImportRuns&&) = delete;
    ImportRuns& operator=(ImportRuns&&) = delete;
    ~ImportRuns() {
        End();
        sqlite3_close(kept_);
    }

    /// A revision C replacing a revision B of an order A that has an ERP order, the import of
    /// which closes both older orders; with `ownOrder`, an order D of its own besides. The
    /// decoded headers start with warnings (status 2), so that status 1 is only ever the
    /// import's. The database is kept as it is then.
    void AddChainAndKeep(bool ownOrder) {
        Add({"A", "2024-03-01"});
        Add({"B", "2024-03-02", 1, "A"});
        Add({"C", "2024-03-03", 1, "B"});
        if (ownOrder) {
            Add({"D", "2024-03-04"});
        }
        ErpOrder("A");
        env.Native("UPDATE IE93_NSOTESTATA SET IE93_STATUS = 2");
        Keep();
    }

    /// Keeps the database as it is now: Restore puts it back.
    void Keep() {
        ASSERT_EQ(sqlite3_open(":memory:", &kept_), SQLITE_OK);
        CopyFile(true);
    }

    /// Puts the database back as Keep found it.
    void Restore() {
        End();
        CopyFile(false);
    }

    /// Builds the working table with the codes on a new connection, then imports on what
    /// `wrap` makes of that connection (the connection itself without one). The run's working
    /// table stays readable (Work) until End.
    void Run(const ProcessingCodes& codes, const ConnectionWrap& wrap = {}) {
        End();
        own_ = db::OpenSqlite(env.DbFile().string());
        env.S().Connessione = own_;
        Process(codes);
        env.S().Connessione = wrap ? wrap(own_) : own_;
        ImportaDocumenti(env.S());
        env.S().Connessione = own_;
    }

    /// Ends the run: nothing holds its connection any more, which closes.
    void End() {
        if (!own_) {
            return;
        }
        NsoState& s = env.S();
        s.RstOrdini.reset();
        s.RstTestata.reset();
        s.RstCorpo.reset();
        s.RstLogMessages.reset();
        ImportMembersOf(s) = ImportMembers{};
        s.Connessione = env.SharedDb();
        const std::weak_ptr<Connection> closing = own_;
        own_.reset();
        EXPECT_TRUE(closing.expired()) << "the run's connection is still held";
    }

  private:
    // Copies the database file into the kept copy, or back.
    void CopyFile(bool keep) {
        sqlite3* file = nullptr;
        ASSERT_EQ(sqlite3_open(env.DbFile().c_str(), &file), SQLITE_OK);
        sqlite3* to = keep ? kept_ : file;
        sqlite3_backup* backup = sqlite3_backup_init(to, "main", keep ? file : kept_, "main");
        const int done = backup == nullptr ? sqlite3_errcode(to) : sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        const std::string error = sqlite3_errmsg(to);
        sqlite3_close(file);
        ASSERT_EQ(done, SQLITE_DONE) << error;
    }

    sqlite3* kept_ = nullptr;
    std::shared_ptr<Connection> own_;
};

} // namespace kvad::nso::test
