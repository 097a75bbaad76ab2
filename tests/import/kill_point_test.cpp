// An import cut short right after each of its statements in turn, as a process killed there is
// (nothing more reaches the database and its open transaction goes), then run once more: the
// database ends as one uninterrupted import leaves it, outcomes and messages included.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "import_runs.h"
#include "kvad_nso/errors.h"
#include "support/crash_scale.h"
#include "support/register_snapshot.h"

namespace kvad::nso::test {
namespace {

/// Passes the first `lives` statements to a real connection and refuses every later one, as a
/// process killed right after statement `lives` sends nothing more.
class CutShortConnection final : public Connection {
  public:
    CutShortConnection(std::shared_ptr<Connection> inner, int lives)
        : inner_(std::move(inner)), lives_(lives) {}

    /// Statements passed on.
    int sent = 0;
    /// The numbers of the statements passed on that may have changed the database (every one
    /// but the queries).
    std::vector<int> writes;

    long Execute(std::string_view sql) override {
        Pass(sql, true);
        return inner_->Execute(sql);
    }
    std::shared_ptr<Recordset> Query(std::string_view sql) override {
        Pass(sql, false);
        return inner_->Query(sql);
    }
    std::shared_ptr<Recordset> OpenRecordset(std::string_view sql) override {
        Pass(sql, false);
        return inner_->OpenRecordset(sql);
    }
    int BeginTrans() override {
        Pass("BEGIN TRANSACTION", true);
        return inner_->BeginTrans();
    }
    void CommitTrans() override {
        Pass("COMMIT TRANSACTION", true);
        inner_->CommitTrans();
    }
    void RollbackTrans() override {
        Pass("ROLLBACK TRANSACTION", true);
        inner_->RollbackTrans();
    }
    std::vector<ProviderError>& Errors() override { return inner_->Errors(); }
    bool IsOpen() const override { return inner_->IsOpen(); }

  private:
    // Passes a statement on, noting it when it may write, or refuses it once the lives are spent.
    void Pass(std::string_view sql, bool write) {
        if (sent == lives_) {
            throw DbError("the process was killed", "08S01", std::string(sql));
        }
        ++sent;
        if (write) {
            writes.push_back(sent);
        }
    }

    std::shared_ptr<Connection> inner_;
    int lives_;
};

/// Two chains: A <- B <- C, imported from C with B (A has an ERP order), and the order D.
class TwoChains : public ImportRuns {
  public:
    TwoChains() { AddChainAndKeep(true); }

    /// Imports from where the database is, cut short after `lives` statements; returns the
    /// numbers of the statements sent that may have changed the database. The run is over when
    /// it returns.
    std::vector<int> Import(int lives) {
        std::shared_ptr<CutShortConnection> cut;
        Run({{"C", 2, 0}, {"B", 2, 1}, {"A", 1, 1}, {"D", 2, 0}},
            [&](std::shared_ptr<Connection> own) {
                cut = std::make_shared<CutShortConnection>(std::move(own), lives);
                return cut;
            });
        std::vector<int> writes = cut->writes;
        cut.reset();
        End();
        return writes;
    }

    /// What the import leaves that outlasts it: the ERP tables (GUIDs, new at every import, left
    /// out), per order its processed mark, linked ERP order and decoded status, and the log.
    std::string Durable() {
        std::string out;
        for (const char* table :
             {"DO11_DOCTESTATA", "DO12_DOCTESTARIF", "DO13_DOCPIEDE", "DO30_DOCCORPO",
              "DO31_DOCCORPOORD", "CO99_NUMREG", "DO10_NUMERAZIONE", "CG1M_UFFICIOPA",
              "MG22_CLIFORDEST", "MG66_ANAGRART"}) {
            out += std::string("[") + table + "]\n" + Rows(std::string("SELECT * FROM ") + table);
        }
        out += "[orders]\n" +
               Rows("SELECT IE91_IDORD, IE91_PROCESSATO, DO11_NUMREG_CO99, IE93_STATUS FROM "
                    "IE91_NSOFILES LEFT OUTER JOIN DO11_DOCTESTATA ON DO11_GUID = IE91_GUID_DO11 "
                    "LEFT OUTER JOIN IE93_NSOTESTATA ON IE93_ID_IE91 = IE91_ID");
        out += "[log]\n" + Rows("SELECT IE91_IDORD, IE98_PROGRIGA_DO30, IE98_CODE_IE97, IE98_TYPE, "
                                "IE98_CONTESTO, IE98_FIELD, IE98_ERRORMESSAGE FROM "
                                "IE98_NSO_LOGERRORS INNER JOIN IE91_NSOFILES ON IE91_ID = "
                                "IE98_ID_IE91");
        return out;
    }

  private:
    // The rows of a query, sorted, one line each.
    std::string Rows(const std::string& sql) {
        std::vector<std::string> rows;
        for (auto rs = env.Db().Query(sql); !rs->Eof(); rs->MoveNext()) {
            std::string row;
            for (int i = 0; i < rs->FieldCount(); ++i) {
                const std::string name = rs->FieldName(i);
                if (name.size() < 5 || name.compare(name.size() - 5, 5, "_GUID") != 0) {
                    row +=
                        (rs->Value(i).IsNull() ? std::string("null") : rs->Value(i).Text()) + "|";
                }
            }
            rows.push_back(row);
        }
        std::sort(rows.begin(), rows.end());
        std::string out;
        for (const std::string& row : rows) {
            out += row + "\n";
        }
        return out;
    }
};

TEST(ImportKillPoint, AnImportCutShortAnywhereAndRunAgainEndsAsOneUninterruptedImport) {
    KVAD_SQLITE_ONLY(); // each round puts the database back by copying its file
    TwoChains scene;
    std::vector<int> killPoints = scene.Import(INT_MAX);
    const std::string expected = scene.Durable();
    ASSERT_EQ(scene.env.Scalar("SELECT COUNT(*) FROM DO11_DOCTESTATA").ToLong(), 4) << expected;
    for (const char* number : {"B", "C", "D"}) {
        ASSERT_EQ(scene.ImportMessages(number), std::vector<std::string>{"14 type 1: "});
    }

    // A kill right after a query leaves what a kill right after the write before it leaves, so
    // the kills fall before the first statement and after every write.
    killPoints.insert(killPoints.begin(), 0);
    int tried = 0;
    for (const int lives : killPoints) {
        if (!kvad::test::CrashSampled(++tried)) {
            continue;
        }
        SCOPED_TRACE("killed after statement " + std::to_string(lives));
        scene.Restore();
        (void)scene.Import(lives);
        (void)scene.Import(INT_MAX);
        EXPECT_EQ(kvad::test::SnapshotDifference(expected, scene.Durable()), "");
    }
}

} // namespace
} // namespace kvad::nso::test
