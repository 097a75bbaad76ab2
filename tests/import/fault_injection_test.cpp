// A database error injected at every statement of a chain's import, one run per statement: the
// chain is imported whole or not at all, and its outcome columns never claim otherwise.
#include <gtest/gtest.h>

#include "import/importa_documenti.h"
#include "import_test_env.h"
#include "support/failing_connection.h"

namespace kvad::nso::test {
namespace {

class ChainImport : public ImportScene {
  public:
    /// A revision replacing an order that has an ERP order, and an older revision imported
    /// with it; the import closes both older orders.
    ChainImport() {
        Add({"A", "2024-03-01"});
        Add({"B", "2024-03-02", 1, "A"});
        Add({"C", "2024-03-03", 1, "B"});
        ErpOrder("A");
        Process({{"C", 2, 0}, {"B", 2, 1}, {"A", 1, 1}});
    }

    /// Imports with the statement `failAt` failing; returns the statements sent.
    int Run(int failAt) {
        auto connection = std::make_shared<kvad::test::FailingConnection>(env.SharedDb());
        connection->Reset(failAt);
        env.S().Connessione = connection;
        ImportaDocumenti(env.S());
        env.S().Connessione = env.SharedDb();
        return connection->statements;
    }

    long Count(const std::string& table) {
        return env.Scalar("SELECT COUNT(*) FROM " + table).ToLong();
    }
};

TEST(ImportFaultInjection, EveryFailingStatementLeavesTheChainWholeOrAbsent) {
    int statements = 0;
    {
        ChainImport clean;
        statements = clean.Run(0);
        ASSERT_EQ(clean.env.S().Stato, kaOK) << clean.env.S().Errore.Text();
        ASSERT_EQ(clean.Count("DO11_DOCTESTATA"), 3);
    }
    ASSERT_GT(statements, 20);

    for (int n = 1; n <= statements; ++n) {
        SCOPED_TRACE("statement " + std::to_string(n));
        ChainImport chain;
        chain.Run(n);
        const long documents = chain.Count("DO11_DOCTESTATA");
        const bool imported = documents == 3;
        if (imported) {
            EXPECT_EQ(chain.Count("DO12_DOCTESTARIF"), 2);
            EXPECT_EQ(chain.Count("DO30_DOCCORPO"), 4);
            EXPECT_EQ(chain.Count("DO11_DOCTESTATA WHERE DO11_FLGNONPIUEV = 1"), 2);
            EXPECT_EQ(chain.Count("CG1M_UFFICIOPA"), 1);
            for (const char* number : {"B", "C"}) {
                EXPECT_EQ(chain.Register(number, "IE91_PROCESSATO").ToLong(), 1) << number;
            }
        } else {
            // Nothing of the chain: no document, no master data, no mark, no closed order.
            EXPECT_EQ(documents, 1);
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
        }
        // The outcome columns tell the truth, or nothing when recording them was what failed.
        for (const char* number : {"B", "C"}) {
            const std::int32_t esito = chain.Work(number, "TMP_ESITO").ToLong();
            if (imported) {
                EXPECT_TRUE(esito == 14 || esito == 0) << number << " " << esito;
            } else {
                EXPECT_TRUE(esito == 12 || esito == 0) << number << " " << esito;
            }
        }
        EXPECT_NE(chain.env.S().Stato, kaOK) << "an injected failure must be reported";
    }
}

} // namespace
} // namespace kvad::nso::test
