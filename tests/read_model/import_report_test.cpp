// What processing and import did, as a host reads it: the orders left for a clerk, the chains
// held back, each chain's outcome document by document, the one-pass totals, the ERP orders made.
#include "kvad_nso/read_model/import_report.h"

#include "kvad_nso/read_model/erp_orders.h"
#include "kvad_nso/read_model/processing_summary.h"
#include "read_model_test_env.h"

namespace kvad::read_model::test {
namespace {

TEST_F(ReadModelTest, ProcessingHoldsBackTheChainWhoseOrderHasErrors) {
    SelectAll();
    EXPECT_EQ(CountSelectableChains(nso), 4U);
    nso.RecuperaOrdini();

    const ProcessingSummary summary = ReadProcessingSummary(nso);
    EXPECT_EQ(summary.counts.Reviewed(), 6);
    EXPECT_EQ(summary.counts.error, 1);
    ASSERT_EQ(summary.toReview.size(), 1U);
    EXPECT_EQ(Title(summary.toReview[0].document), "Order BIB-7/2024 of 19/03/2024 (id 6)");
    ASSERT_EQ(summary.toReview[0].errors.size(), 1U);
    EXPECT_EQ(summary.toReview[0].errors[0].severity, severity::kError);
    EXPECT_EQ(summary.held, (std::vector<std::int32_t>{6}));

    DeselectChains(nso, summary.held);
    nso.AssignProcessingCodes();
    OpenResults(Contesto_Tutti);
    nso.ImportaDocumenti();
    const ImportSummary imported = ReadImportSummary(nso);
    EXPECT_EQ(imported.totals.chains, 3);
    EXPECT_EQ(imported.totals.failed, 0);
    EXPECT_EQ(env.Count("SELECT 1 FROM DO12_DOCTESTARIF WHERE DO12_FEIDDOC = 'BIB-7/2024'"), 0);
}

TEST_F(ReadModelTest, TheReportAndTheSummaryTellTheSameImport) {
    ProcessAndImport();
    const std::vector<ChainReport> chains = ReadImportReport(nso);
    ASSERT_EQ(chains.size(), 4U);
    const ImportTotals totals = CountImport(chains);
    const ImportSummary summary = ReadImportSummary(nso);
    // chains, imported, failed, ERP orders made, closed
    const auto counts = [](const ImportTotals& t) {
        return std::vector<int>{t.chains, t.imported, t.failed, t.ordersMade, t.closed};
    };
    EXPECT_EQ(counts(summary.totals), counts(totals));
    EXPECT_EQ(counts(totals), (std::vector<int>{4, 3, 1, 4, 2}));
    EXPECT_TRUE(AnyFailed(chains));

    ASSERT_EQ(summary.failures.size(), 1U);
    EXPECT_EQ(summary.failures[0].latest.id, 6);
    EXPECT_NE(summary.failures[0].reason.find("Cliente"), std::string::npos)
        << summary.failures[0].reason;
    for (const ChainReport& chain : chains) {
        const ImportedDocument& latest = chain.documents.front();
        if (latest.id == 3) {
            EXPECT_EQ(chain.outcome, ChainOutcome::Imported);
            ASSERT_EQ(chain.documents.size(), 2U);
            EXPECT_TRUE(chain.documents[1].imported && chain.documents[1].closed);
        } else if (latest.id == 4) {
            EXPECT_EQ(OutcomeName(chain.outcome), "cancelled");
            EXPECT_TRUE(latest.processed);
            EXPECT_EQ(latest.erpOrder.registration, 0);
        } else if (latest.id == 6) {
            EXPECT_EQ(chain.outcome, ChainOutcome::Failed);
            EXPECT_EQ(chain.reason, summary.failures[0].reason);
        }
    }
}

TEST_F(ReadModelTest, ErpOrdersAreReadWithTheirNsoOrderAndFoundBySearch) {
    ProcessAndImport();
    const std::vector<ErpOrder> orders = ReadErpOrders(nso);
    ASSERT_EQ(orders.size(), 4U);
    EXPECT_GT(orders.front().registration, orders.back().registration) << "newest first";
    const ErpOrder made = ReadErpOrderOf(nso, 3);
    EXPECT_EQ(made.document, "OCL A/3");
    EXPECT_EQ(made.nsoOrder, "2024-FAR-0397");
    EXPECT_EQ(made.source, 3);
    EXPECT_FALSE(made.closed);
    EXPECT_EQ(made.lines.size(), 5U);
    EXPECT_TRUE(ReadErpOrderOf(nso, 1).closed) << "replaced by the revision";
    EXPECT_EQ(ReadErpOrderOf(nso, 6).registration, 0) << "its import failed";

    const std::vector<ErpOrder> found = ReadErpOrders(nso, "afp-fAR-10231");
    ASSERT_EQ(found.size(), 2U) << "by a line's item, any case";
    EXPECT_TRUE(ReadErpOrders(nso, "no such text").empty());
}

} // namespace
} // namespace kvad::read_model::test
