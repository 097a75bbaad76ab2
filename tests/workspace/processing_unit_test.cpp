// A document's processing step (its XML loaded, its log cleared, its decoding and verification)
// is one unit of work: a database error at any statement leaves the order processed whole or
// not at all, and a second processing cannot decode an order while a first one is decoding it.
#include <functional>
#include <memory>
#include <string>

#include "processing_test_env.h"
#include "support/crash_scale.h"
#include "support/failing_connection.h"
#include "support/register_snapshot.h"

namespace kvad::nso {
namespace {

/// A connection that passes everything to a real one and, the first time a query starting with
/// `trigger` is sent, runs `meanwhile` before it: another program's work at that very point.
class InterleavingConnection final : public Connection {
  public:
    InterleavingConnection(std::shared_ptr<Connection> inner, std::string trigger,
                           std::function<void()> meanwhile)
        : inner_(std::move(inner)), trigger_(std::move(trigger)), meanwhile_(std::move(meanwhile)) {
    }

    long Execute(std::string_view sql) override { return inner_->Execute(sql); }
    std::shared_ptr<Recordset> Query(std::string_view sql) override {
        if (meanwhile_ && sql.starts_with(trigger_)) {
            const auto run = std::exchange(meanwhile_, nullptr);
            run();
        }
        return inner_->Query(sql);
    }
    std::shared_ptr<Recordset> OpenRecordset(std::string_view sql) override {
        return inner_->OpenRecordset(sql);
    }
    int BeginTrans() override { return inner_->BeginTrans(); }
    void CommitTrans() override { inner_->CommitTrans(); }
    void RollbackTrans() override { inner_->RollbackTrans(); }
    std::vector<ProviderError>& Errors() override { return inner_->Errors(); }
    bool IsOpen() const override { return inner_->IsOpen(); }

  private:
    std::shared_ptr<Connection> inner_;
    std::string trigger_;
    std::function<void()> meanwhile_;
};

class ProcessingUnitTest : public test::ProcessingTest {
  protected:
    ProcessingUnitTest() {
        order = Register("", "U-1", "2024-03-05", 0, 0, test::GeneratedOrderXml(8));
    }

    /// Processes every chain with `connection` standing for the database.
    void ProcessThrough(const std::shared_ptr<Connection>& connection) {
        if (!env.S().RstOrdini) {
            LeggiOrdini(env.S(), kaOrdiniTutti);
            SetSelezione(env.S(), kaTutti);
            ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        }
        env.S().Connessione = connection;
        RecuperaOrdini(env.S());
        env.S().Connessione = env.SharedDb();
    }

    /// Back to the order only registered.
    void Forget() {
        env.Native("DELETE FROM IE92_NSOTESTATAXML; DELETE FROM IE96_NSOTESTATASCONTIXML;"
                   "DELETE FROM IE94_NSOCORPOXML; DELETE FROM IE9A_NSOCORPOSCONTIXML;"
                   "DELETE FROM IE93_NSOTESTATA; DELETE FROM IE95_NSOCORPO;"
                   "DELETE FROM IE98_NSO_LOGERRORS; DELETE FROM KVAD_UNREADABLE_NUMBER");
    }

    std::string State() { return test::DecodedState(env.Db(), order); }

    std::int32_t order = 0;
};

TEST_F(ProcessingUnitTest, EveryFailingStatementLeavesTheOrderProcessedWholeOrNotAtAll) {
    // The verification reads the lines in the order the database gives them (its statement
    // has no ORDER BY): SQLite's is the rows' order, PostgreSQL's changes as rows are updated,
    // so a second processing there may log the same messages in another order.
    KVAD_SQLITE_ONLY();
    const std::string untouched = State();
    auto connection = std::make_shared<kvad::test::FailingConnection>(env.SharedDb());
    ProcessThrough(connection);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    const int statements = connection->statements;
    const std::string whole = State();
    ASSERT_EQ(env.Count("SELECT 1 FROM IE95_NSOCORPO"), 10) << "eight lines, two allowances";
    ASSERT_GT(statements, 100);

    for (int n = 1; n <= statements; ++n) {
        if (!kvad::test::CrashSampled(n)) {
            continue;
        }
        Forget();
        SCOPED_TRACE("statement " + std::to_string(n) + ": " + connection->log[n - 1]);
        connection->Reset(n);
        ProcessThrough(connection);
        EXPECT_NE(env.S().Stato, kaOK) << "an injected failure must be reported";
        const std::string after = State();
        EXPECT_TRUE(after == whole || after == untouched)
            << kvad::test::SnapshotDifference(untouched, after);

        connection->Reset(0);
        ProcessThrough(connection);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        EXPECT_EQ(kvad::test::SnapshotDifference(whole, State()), "");
    }
}

TEST_F(ProcessingUnitTest, ASecondProcessingCannotDecodeTheOrderTheFirstIsDecoding) {
    // The second instance gives up on SQLite's busy timeout; a PostgreSQL row lock would wait
    // for the first, which runs on the same thread.
    KVAD_SQLITE_ONLY();
    ProcessThrough(env.SharedDb());
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    const std::string once = State();
    Forget();

    // A second program processes the same order when the first has written the order's decoded
    // header and is about to write its lines.
    test::Instance second(env.DbFile().string(), 100);
    const auto meanwhile = [&] {
        second.ProcessAll();
        EXPECT_NE(second.S().Stato, kaOK) << "the first holds the order";
    };
    ProcessThrough(std::make_shared<InterleavingConnection>(
        env.SharedDb(), "SELECT IE94_NSOCORPOXML.*, ", meanwhile));
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(kvad::test::SnapshotDifference(once, State()), "");

    // Once the first is done, the second finds the order decoded and only verifies it.
    second.ProcessAll();
    ASSERT_EQ(second.S().Stato, kaOK) << second.S().Errore.Text();
    EXPECT_EQ(kvad::test::SnapshotDifference(once, State()), "");
}

} // namespace
} // namespace kvad::nso
