// A database error injected at every statement of a chain's import, one run per statement (the
// outcome written inside the chain's transaction included): the chain is imported whole, with
// its outcome, or not at all, and its outcome columns and messages never claim otherwise.
#include <gtest/gtest.h>

#include "import_runs.h"
#include "support/crash_scale.h"
#include "support/failing_connection.h"

namespace kvad::nso::test {
namespace {

/// The chain A <- B <- C, imported from C with B; A has an ERP order.
class FaultedChain : public ImportRuns {
  public:
    FaultedChain() { AddChainAndKeep(false); }

    /// Imports from the scene as set up with statement `failAt` failing (0: none); returns the
    /// statements the import sent.
    int Run(int failAt) {
        Restore();
        std::shared_ptr<kvad::test::FailingConnection> failing;
        ImportRuns::Run({{"C", 2, 0}, {"B", 2, 1}, {"A", 1, 1}},
                        [&](const std::shared_ptr<Connection>& own) {
                            failing = std::make_shared<kvad::test::FailingConnection>(own);
                            failing->Reset(failAt);
                            return failing;
                        });
        return failing->statements;
    }
};

/// Every document of the chain and what came with it.
void ExpectImportedWhole(FaultedChain& chain) {
    EXPECT_EQ(chain.Count("DO12_DOCTESTARIF"), 2);
    EXPECT_EQ(chain.Count("DO30_DOCCORPO"), 4);
    EXPECT_EQ(chain.Count("DO11_DOCTESTATA WHERE DO11_FLGNONPIUEV = 1"), 2);
    EXPECT_EQ(chain.Count("CG1M_UFFICIOPA"), 1);
    for (const char* number : {"B", "C"}) {
        EXPECT_EQ(chain.Register(number, "IE91_PROCESSATO").ToLong(), 1) << number;
        // The outcome came with the chain.
        EXPECT_EQ(chain.Work(number, "TMP_ESITO").ToLong(), 14) << number;
        EXPECT_EQ(chain.Status(number), 1) << number;
        EXPECT_EQ(chain.ImportMessages(number), std::vector<std::string>{"14 type 1: "}) << number;
    }
}

/// Nothing of the chain: no document, no master data, no mark, no closed order; and an outcome
/// that says so, or none at all when the import stopped before it could write one.
void ExpectNothingImported(FaultedChain& chain) {
    EXPECT_EQ(chain.Count("DO11_DOCTESTATA"), 1);
    EXPECT_EQ(chain.Count("DO12_DOCTESTARIF") + chain.Count("DO13_DOCPIEDE") +
                  chain.Count("DO30_DOCCORPO") + chain.Count("CO99_NUMREG") +
                  chain.Count("DO10_NUMERAZIONE") + chain.Count("CG1M_UFFICIOPA"),
              0);
    EXPECT_EQ(chain.Count("DO11_DOCTESTATA WHERE DO11_FLGNONPIUEV = 1"), 0);
    EXPECT_EQ(chain.Count("MG22_CLIFORDEST WHERE MG22_IDDELIVERYLOCATIONNSO IS NOT NULL") +
                  chain.Count("MG66_ANAGRART WHERE MG66_AICMINSANNSO IS NOT NULL"),
              0);
    EXPECT_EQ(chain.Count("IE91_NSOFILES WHERE IE91_PROCESSATO = 1 OR "
                          "(IE91_GUID_DO11 IS NOT NULL AND IE91_IDORD <> 'A')"),
              0);
    if (chain.Work("C", "TMP_ESITO").ToLong() == 0) {
        for (const char* number : {"B", "C"}) {
            EXPECT_EQ(chain.Work(number, "TMP_ESITO").ToLong(), 0) << number;
            EXPECT_EQ(chain.Status(number), 2) << number;
            EXPECT_TRUE(chain.ImportMessages(number).empty()) << number;
        }
        return;
    }
    // Recorded as failed, whole: one message tells why.
    int failures = 0;
    for (const char* number : {"B", "C"}) {
        EXPECT_EQ(chain.Work(number, "TMP_ESITO").ToLong(), 12) << number;
        EXPECT_EQ(chain.Status(number), 3) << number;
        for (const std::string& message : chain.ImportMessages(number)) {
            if (message.rfind("0 type 3: ", 0) == 0) {
                ++failures;
                EXPECT_GT(message.size(), 10U) << number << ": message 0 carries the reason";
            } else {
                EXPECT_EQ(message, "14 type 1: ") << number;
            }
        }
    }
    EXPECT_EQ(failures, 1);
}

TEST(ImportFaultInjection, EveryFailingStatementLeavesTheChainWholeOrAbsent) {
    KVAD_SQLITE_ONLY(); // each round puts the database back by copying its file
    FaultedChain chain;
    const int statements = chain.Run(0);
    ASSERT_EQ(chain.env.S().Stato, kaOK) << chain.env.S().Errore.Text();
    ASSERT_EQ(chain.Count("DO11_DOCTESTATA"), 3);
    ExpectImportedWhole(chain);
    ASSERT_GT(statements, 30);

    for (int n = 1; n <= statements; ++n) {
        if (!kvad::test::CrashSampled(n)) {
            continue;
        }
        SCOPED_TRACE("statement " + std::to_string(n));
        chain.Run(n);
        if (chain.Count("DO11_DOCTESTATA") == 3) {
            ExpectImportedWhole(chain);
        } else {
            ExpectNothingImported(chain);
        }
        EXPECT_NE(chain.env.S().Stato, kaOK) << "an injected failure must be reported";
    }
}

} // namespace
} // namespace kvad::nso::test
