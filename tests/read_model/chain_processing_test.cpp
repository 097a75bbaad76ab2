// Processing as a host runs it through the read model: a chain at whose document processing
// stops is passed over, whether or not that document was decoded before, and the other chains
// are processed and left ready for the import.
#include "kvad_nso/read_model/chain_processing.h"

#include "kvad_nso/read_model/processing_summary.h"
#include "read_model_test_env.h"

namespace kvad::read_model::test {
namespace {

class ChainProcessingTest : public ReadModelTest {
  protected:
    /// Every chain processed; then the processing of each document of `broken` made to fail on
    /// a kept unreadable number whose row is not a number (only SQLite stores such a row), and
    /// every chain selected and processed again, chain by chain.
    ChainProcessing ProcessAgainWithBroken(const std::vector<int>& broken) {
        ProcessAll();
        for (const int id : broken) {
            env.Native("INSERT INTO KVAD_UNREADABLE_NUMBER (UNREADABLE_ID_IE91, UNREADABLE_TABLE, "
                       "UNREADABLE_ROW, UNREADABLE_COLUMN, UNREADABLE_TEXT) VALUES (" +
                       std::to_string(id) +
                       ", 'IE94_NSOCORPOXML', 'x', 'IE94_LineItem_Quantity', 'abc')");
        }
        SelectAll();
        return ProcessSelectedChains(nso);
    }
};

TEST_F(ChainProcessingTest, AChainThatFailsIsPassedOverAndTheOthersAreProcessed) {
    KVAD_SQLITE_ONLY(); // the failure is a row number that is text, which only SQLite stores
    // Order 87/2024 (id 2, in the chain of cancellation 4) was decoded; its processing now fails.
    const ChainProcessing result = ProcessAgainWithBroken({2});
    ASSERT_EQ(result.passedOver.size(), 1U);
    const PassedOver& passed = result.passedOver.front();
    EXPECT_EQ(passed.document.id, 4) << "the chain's latest document names it";
    EXPECT_TRUE(passed.someDocumentOfChain);
    EXPECT_FALSE(passed.notLoaded);
    EXPECT_NE(passed.failure.find("ReportUnreadableNumbers"), std::string::npos) << passed.failure;
    EXPECT_TRUE(result.stopped.empty());
    EXPECT_EQ(result.chains, 3U);

    // The others are processed, and the import would take them and not the one passed over.
    const ProcessingSummary summary = ReadProcessingSummary(nso);
    EXPECT_EQ(summary.counts.Reviewed(), 4);
    EXPECT_EQ(env.Count("SELECT 1 FROM #TEMP_ORD WHERE TMP_IMG_SEL = 1"), 3);
    EXPECT_EQ(env.Count("SELECT 1 FROM #TEMP_ORD WHERE TMP_ELABORA <> 0 AND IE91_ID IN (2, 4)"), 0);
}

TEST_F(ChainProcessingTest, AFailureEveryDocumentMeetsStopsTheProcessing) {
    KVAD_SQLITE_ONLY(); // the failure is a row number that is text, which only SQLite stores
    // Every order fails its processing wherever it is tried: no document is to blame, and after
    // the chains processing met first the processing stops instead of trying every chain.
    const ChainProcessing result = ProcessAgainWithBroken({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(result.passedOver.size(), 2U);
    EXPECT_NE(result.stopped.find("ReportUnreadableNumbers"), std::string::npos) << result.stopped;
    EXPECT_EQ(result.chains, 2U) << "the chains left keep their codes";
    EXPECT_EQ(env.Count("SELECT 1 FROM #TEMP_ORD WHERE TMP_IMG_SEL = 1"), 2);
}

TEST_F(ChainProcessingTest, ChainsWithNothingToProcessAreToldSo) {
    ProcessAndImport();
    ASSERT_TRUE(SelectChainsOf(nso, {3}).empty());
    const ChainProcessing result = ProcessSelectedChains(nso);
    EXPECT_TRUE(result.nothingToProcess);
    EXPECT_TRUE(result.passedOver.empty());
    EXPECT_EQ(nso.Stato(), kaOK);
}

} // namespace
} // namespace kvad::read_model::test
