#include "import/importa_documenti.h"

#include <gtest/gtest.h>

#include "import_test_env.h"

namespace kvad::nso::test {
namespace {

class ImportaDocumentiTest : public ImportTest {
  protected:
    /// Runs the import on a connection that records the statements; returns the progress
    /// events as "current/maximum message".
    std::vector<std::string> Import() {
        recorder = std::make_shared<kvad::test::FailingConnection>(env.SharedDb());
        env.S().Connessione = recorder;
        std::vector<std::string> events;
        AddProgressListener(env.S(), [&](kaenumTipoOperazione& kind, std::int32_t& current,
                                         std::int32_t& maximum, std::string& message) {
            EXPECT_EQ(kind, kaOperazioneImport);
            events.push_back(N(current) + "/" + N(maximum) + " " + message);
        });
        ImportaDocumenti(env.S());
        return events;
    }

    /// How many statements sent contain the text.
    long Sent(const std::string& text) const { return test::Sent(*recorder, text); }

    void ExpectOutcome(const std::string& number, int outcome, int handling, int status) {
        EXPECT_EQ(Work(number, "TMP_ESITO").ToLong(), outcome) << number;
        EXPECT_EQ(Work(number, "TMP_GESTIONE").ToLong(), handling) << number;
        EXPECT_EQ(Status(number), status) << number;
    }

    long Documents() { return Count("DO11_DOCTESTATA"); }

    std::shared_ptr<kvad::test::FailingConnection> recorder;
};

TEST_F(ImportaDocumentiTest, WholeChainImportsOldestFirstAfterTheMainRowAndClosesThemTogether) {
    Add({"A", "2024-03-01"});
    Add({"B", "2024-03-02", 1, "A"});
    Add({"C", "2024-03-03", 1, "B"});
    Process({{"C", 2, 0}, {"B", 2, 1}, {"A", 2, 1}});

    EXPECT_EQ(Import(), std::vector<std::string>{"1/1 Id : C (03/03/2024) - UFTEST"});
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();

    // Registration numbers follow the order of the imports.
    EXPECT_EQ(Numreg("C").ToLong(), 1);
    EXPECT_EQ(Numreg("A").ToLong(), 2);
    EXPECT_EQ(Numreg("B").ToLong(), 3);
    // One list, oldest first, no trailing comma.
    EXPECT_EQ(Sent("IE91_ID IN (" + N(Id("A")) + "," + N(Id("B")) + ") "), 1);
    EXPECT_EQ(Sent("IE91_ID IN ("), 1);
    for (const auto& [number, closed] : {std::pair{"A", 1}, {"B", 1}, {"C", 0}}) {
        const std::string numreg = Numreg(number).Text();
        EXPECT_EQ(
            env.Scalar("SELECT DO11_FLGNONPIUEV FROM DO11_DOCTESTATA WHERE DO11_NUMREG_CO99 = " +
                       numreg)
                .ToLong(),
            closed)
            << number;
        EXPECT_EQ(
            env.Scalar(
                   "SELECT MIN(DO31_FLGNONPIUEV) FROM DO31_DOCCORPOORD WHERE DO31_NUMREG_CO99 = " +
                   numreg)
                .ToLong(),
            closed)
            << number;
        ExpectOutcome(number, 14, 8, 1);
        EXPECT_EQ(Work(number, "DO11_NUMREG_CO99"), Numreg(number)) << number;
        EXPECT_EQ(Register(number, "IE91_PROCESSATO").ToLong(), 1) << number;
        EXPECT_EQ(ImportMessages(number), std::vector<std::string>{"14 type 1: "}) << number;
    }
}

TEST_F(ImportaDocumentiTest, AFailingMainRowFailsEveryEntryAndOnlyItGetsTheMessage) {
    Add({"A", "2024-03-01"});
    Add({"B", "2024-03-02", 1, "A"});
    Add({"C", "2024-03-03", 1, "B", 0});
    Process({{"C", 2, 0}, {"B", 2, 1}, {"A", 2, 1}});

    Import();

    const std::string reason = "Cliente mancante: l'ordine non è associato a un cliente "
                               "dell'anagrafica";
    EXPECT_EQ(env.S().Stato, 6);
    EXPECT_EQ(env.S().Errore.Text(), reason);
    EXPECT_EQ(Documents(), 0);
    // The older documents were not attempted: not even their master data was read.
    EXPECT_EQ(Sent("WHERE IE92_ID_IE91 = " + N(Id("A"))), 0);
    EXPECT_EQ(Sent("WHERE IE92_ID_IE91 = " + N(Id("B"))), 0);
    for (const char* number : {"A", "B", "C"}) {
        ExpectOutcome(number, 12, 99, 3);
        EXPECT_TRUE(Work(number, "DO11_NUMREG_CO99").IsNull()) << number;
    }
    EXPECT_EQ(ImportMessages("C"), std::vector<std::string>{"0 type 3: " + reason});
    EXPECT_TRUE(ImportMessages("A").empty());
    EXPECT_TRUE(ImportMessages("B").empty());
}

TEST_F(ImportaDocumentiTest, AFailingOlderDocumentRollsTheWholeChainBack) {
    Add({"A", "2024-03-01", 0, "", 77});
    Add({"B", "2024-03-02", 1, "A"});
    Process({{"B", 2, 0}, {"A", 2, 1}});

    Import();

    // Nothing is left, not even the master data written for the main row.
    EXPECT_EQ(Documents() + Count("DO30_DOCCORPO") + Count("CO99_NUMREG") +
                  Count("CG1M_UFFICIOPA") +
                  Count("MG22_CLIFORDEST WHERE MG22_IDDELIVERYLOCATIONNSO IS NOT NULL"),
              0);
    EXPECT_EQ(Register("B", "IE91_PROCESSATO").ToLong(), 0);
    EXPECT_TRUE(Register("B", "IE91_GUID_DO11").IsNull());
    ExpectOutcome("A", 12, 99, 3);
    ExpectOutcome("B", 12, 99, 3);
    EXPECT_EQ(ImportMessages("B"), std::vector<std::string>{"14 type 1: "});
    EXPECT_EQ(ImportMessages("A"),
              std::vector<std::string>{"0 type 3: Cliente 77 non presente in anagrafica per la "
                                       "ditta 1"});
}

TEST_F(ImportaDocumentiTest, ACancellationIsProcessedWithoutDocumentAndClosesTheOlderOrder) {
    Add({"A", "2024-03-01"});
    Add({"B", "2024-03-05", 2, "A"});
    const std::int32_t older = ErpOrder("A");
    Process({{"B", 4, 0}, {"A", 1, 1}});

    Import();

    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(Register("B", "IE91_PROCESSATO").ToLong(), 1);
    EXPECT_TRUE(Register("B", "IE91_GUID_DO11").IsNull());
    EXPECT_EQ(Documents(), 1);
    EXPECT_EQ(env.Scalar("SELECT DO11_FLGNONPIUEV FROM DO11_DOCTESTATA WHERE DO11_NUMREG_CO99 = " +
                         N(older))
                  .ToLong(),
              1);
    EXPECT_EQ(Sent("IE91_ID IN (" + N(Id("A")) + ") "), 1);
    // Nothing was imported, so no outcome is recorded.
    for (const char* number : {"A", "B"}) {
        EXPECT_EQ(Work(number, "TMP_ESITO").ToLong(), 0) << number;
        EXPECT_TRUE(ImportMessages(number).empty()) << number;
    }
}

TEST_F(ImportaDocumentiTest, TheSecondChainsFailureLeavesTheFirstImported) {
    Add({"X", "2024-03-01", 0, "", 0});
    Add({"A", "2024-03-04"});
    Process({{"A", 2, 0}, {"X", 2, 0}});

    EXPECT_EQ(Import(), (std::vector<std::string>{"1/2 Id : A (04/03/2024) - UFTEST",
                                                  "2/2 Id : X (01/03/2024) - UFTEST"}));

    EXPECT_EQ(Documents(), 1);
    EXPECT_FALSE(Numreg("A").IsNull());
    ExpectOutcome("A", 14, 8, 1);
    ExpectOutcome("X", 12, 99, 3);
    // Stato is the last chain's; a chain with nothing to close closes nothing.
    EXPECT_EQ(env.S().Stato, 6);
    EXPECT_EQ(Sent("IE91_ID IN ("), 0);
}

TEST_F(ImportaDocumentiTest, NothingToImportLeavesTheStateAsItWas) {
    Add({"A", "2024-03-01"});
    Process({{"A", 0, 0}});
    env.S().Stato = kaErrParametri;
    env.S().Errore = std::string("earlier");

    EXPECT_TRUE(Import().empty());

    EXPECT_EQ(env.S().Stato, kaErrParametri);
    EXPECT_EQ(env.S().Errore.Text(), "earlier");
    EXPECT_EQ(Documents(), 0);
}

TEST_F(ImportaDocumentiTest, WithoutTheGridsTheImportEndsThroughTheFailurePath) {
    Add({"A", "2024-03-01"});
    Process({{"A", 2, 0}});
    env.S().RstTestata.reset();

    Import();

    // The chains done keep their outcome; the missing grid is the call's failure.
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: ImportaDocumenti", 0), 0u);
    ExpectOutcome("A", 14, 8, 1);
}

} // namespace
} // namespace kvad::nso::test
