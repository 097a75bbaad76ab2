// The review as a host reads it after processing: each order with its decoded header, lines and
// messages; an imported order read-only; corrections written back and verified again.
#include "kvad_nso/read_model/review.h"

#include <algorithm>

#include "kvad_nso/read_model/order_edit.h"
#include "kvad_nso/read_model/values.h"
#include "read_model_test_env.h"

namespace kvad::read_model::test {
namespace {

const Order& DocumentOfChains(const std::vector<Chain>& chains, std::int32_t id) {
    for (const Chain& chain : chains) {
        for (const Order& order : chain.documents) {
            if (order.id == id) {
                return order;
            }
        }
    }
    throw std::runtime_error("no document " + std::to_string(id));
}

const HeaderField& FieldOf(const Order& order, const std::string& name) {
    const auto found = std::find_if(order.header.begin(), order.header.end(),
                                    [&](const HeaderField& f) { return f.field == name; });
    if (found == order.header.end()) {
        throw std::runtime_error("no header field " + name);
    }
    return *found;
}

TEST_F(ReadModelTest, ProcessedOrdersCarryTheirHeaderLinesAndMessagesWithCurrentValues) {
    ProcessAll();
    const std::vector<Chain> chains = ReadSelectedChains(nso);
    ASSERT_EQ(chains.size(), 4U);
    const VerdictCounts counts = CountVerdicts(chains);
    EXPECT_EQ(counts.Reviewed(), 6);
    EXPECT_EQ(counts.ready, 1);
    EXPECT_EQ(counts.warning, 4);
    EXPECT_EQ(counts.error, 1);

    const Order& order = DocumentOfChains(chains, 5);
    EXPECT_EQ(Title(order), "Order ORD/2024/00512 of 12/03/2024 (id 5)");
    EXPECT_TRUE(order.reviewed && order.editable && order.decoded);
    EXPECT_EQ(order.verdict, Verdict::Warning);
    EXPECT_EQ(FieldOf(order, "customer").value, "1003");
    EXPECT_EQ(FieldOf(order, "destination").raw.Text(), "MAG3");
    ASSERT_EQ(order.lines.size(), 2U);
    EXPECT_EQ(order.lines[1].verdict, Verdict::Warning);
    const auto delivery =
        std::find_if(order.messages.begin(), order.messages.end(), [](const Message& m) {
            return m.code == message::kNoDeliveryDate && m.line == 2;
        });
    ASSERT_NE(delivery, order.messages.end());
    EXPECT_EQ(delivery->field, "delivery");
    EXPECT_EQ(delivery->value, "") << "line 2 has no delivery date";
    EXPECT_EQ(delivery->column, "IE95_DO31_DATACONS");
    EXPECT_EQ(delivery->SeverityName(), "warning");

    const Order& library = DocumentOfChains(chains, 6);
    EXPECT_EQ(library.verdict, Verdict::Error);
    EXPECT_EQ(FieldOf(library, "customer").value, "0");
}

TEST_F(ReadModelTest, EveryReadingOfTheLogGivesTheStoredSeverity) {
    ProcessAll();
    // From the log itself and from the message grid, which shows display codes.
    const std::vector<Message> errors = ReadErrors(nso, 6);
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_EQ(errors[0].code, message::kNoCustomer);
    EXPECT_EQ(errors[0].severity, severity::kError);
    EXPECT_EQ(errors[0].SeverityName(), "error");
    EXPECT_EQ(errors[0].field, "customer");
    EXPECT_EQ(errors[0].value, "0");
    EXPECT_EQ(errors[0].context, Contesto_VerificaDati);

    const std::vector<Message> shown = ReadMessages(nso, 6);
    const auto customer = std::find_if(shown.begin(), shown.end(), [](const Message& m) {
        return m.code == message::kNoCustomer;
    });
    ASSERT_NE(customer, shown.end());
    EXPECT_EQ(customer->severity, severity::kError);
    EXPECT_EQ(customer->text, errors[0].text);

    nso.ImportaDocumenti();
    OpenResults(Contesto_ImportDati);
    const std::vector<Message> imported = ReadMessages(nso, 5);
    ASSERT_EQ(imported.size(), 1U);
    EXPECT_EQ(imported[0].code, message::kImported);
    EXPECT_EQ(imported[0].SeverityName(), "info");
}

TEST_F(ReadModelTest, AnImportedOrderIsReadFromItsTablesReadOnlyWithItsErpOrder) {
    ProcessAndImport();
    ASSERT_TRUE(OpenReview(nso, 3));
    const Order order = ReadOrder(nso, 3);
    EXPECT_EQ(order.code, processing::kNothing);
    EXPECT_FALSE(order.reviewed);
    EXPECT_FALSE(order.editable);
    ASSERT_TRUE(order.erpOrder.has_value());
    EXPECT_EQ(order.erpOrder->document, "OCL A/3");
    EXPECT_EQ(DateText(order.erpOrder->date), "06/03/2024");
    EXPECT_TRUE(order.decoded);
    EXPECT_EQ(order.verdict, Verdict::Ready) << "the status the import left";
    EXPECT_EQ(FieldOf(order, "customer").value, "1001");
    EXPECT_EQ(order.lines.size(), 5U);

    const EditField* customer = FindEditField("customer");
    EXPECT_THROW((void)EditOrder(nso, order, std::nullopt, {{customer, Variant(1002)}}), Refusal);
    EXPECT_EQ(env.Scalar("SELECT IE93_DO11_CLIFOR_CG44 FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = 3")
                  .ToLong(),
              1001);
}

/// Corrections to the order without a customer, made after processing (false) or after an
/// import that failed on it and logged why (true).
class CorrectionTest : public ReadModelTest, public ::testing::WithParamInterface<bool> {};
INSTANTIATE_TEST_SUITE_P(BeforeAndAfterAFailedImport, CorrectionTest, ::testing::Bool());

TEST_P(CorrectionTest, CorrectionsReachTheDecodedTablesAndAreVerifiedAgain) {
    const bool imported = GetParam();
    if (imported) {
        ProcessAndImport();
    } else {
        ProcessAll();
    }
    ASSERT_TRUE(OpenReview(nso, 6));
    const Order before = ReadOrder(nso, 6);
    ASSERT_TRUE(before.editable);
    EXPECT_EQ(before.verdict, Verdict::Error);
    const std::string imports = "SELECT 1 FROM IE98_NSO_LOGERRORS WHERE IE98_CONTESTO = " +
                                std::to_string(Contesto_ImportDati) + " AND IE98_ID_IE91 ";
    ASSERT_EQ(env.Count(imports + "= 6"), imported ? 1 : 0);
    const long others = env.Count(imports + "<> 6");
    ASSERT_EQ(others > 0, imported);

    const EditField* line = FindEditField("delivery");
    EXPECT_THROW((void)EditOrder(nso, before, 9, {{line, ParseFieldValue(*line, "20/03/2024")}}),
                 Refusal)
        << "no line 9";
    EXPECT_THROW((void)ParseFieldValue(*FindEditField("customer"), "abc"), Refusal);

    const std::vector<std::string> was =
        EditOrder(nso, before, std::nullopt,
                  {{FindEditField("customer"), ParseFieldValue(*FindEditField("customer"), "1002")},
                   {FindEditField("destination"), Variant("BIBL")}});
    EXPECT_EQ(was, (std::vector<std::string>{"0", ""}));
    // The order reads as the verification of its new values says, not held by the import's error.
    EXPECT_EQ(ReadOrder(nso, 6).verdict, Verdict::Ready);
    EXPECT_TRUE(ReadErrors(nso, 6).empty());
    EXPECT_EQ(env.Scalar("SELECT IE93_DO11_CLIFORDEST FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = 6")
                  .Text(),
              "BIBL");
    EXPECT_EQ(env.Count(imports + "<> 6"), others) << "the other orders keep their messages";
}

TEST_F(ReadModelTest, ADocumentInNoChainIsNamedAndNothingIsSelected) {
    env.Native("UPDATE IE91_NSOFILES SET IE91_XML = NULL WHERE IE91_ID = 5");
    EXPECT_EQ(SelectChainsOf(nso, {3, 5}), (std::vector<std::int32_t>{5}));
    EXPECT_EQ(env.Count("SELECT 1 FROM #TEMP_ORD WHERE TMP_IMG_SEL = 1"), 0);
    EXPECT_FALSE(OpenReview(nso, 5));
    EXPECT_THROW((void)ReadOrder(nso, 5), Refusal);
}

} // namespace
} // namespace kvad::read_model::test
