// The master data as a host checks a clerk's codes against it: a code that is there is found
// as the master data spells it, one that is not comes back with the nearest there are; an edit
// with such a code writes nothing.
#include "kvad_nso/read_model/master_lookup.h"

#include "kvad_nso/read_model/order_edit.h"
#include "kvad_nso/read_model/values.h"
#include "read_model_test_env.h"

namespace kvad::read_model::test {
namespace {

std::vector<std::string> Codes(const MasterMatch& match) {
    std::vector<std::string> codes;
    for (const MasterEntry& entry : match.nearest) {
        codes.push_back(entry.code);
    }
    return codes;
}

TEST_F(ReadModelTest, LookupsFindCodesAsTheMasterDataSpellsThemOrNameTheNearest) {
    const MasterMatch item = FindItem(nso, "afp-dm-55120");
    ASSERT_TRUE(item.found.has_value());
    EXPECT_EQ(item.found->code, "AFP-DM-55120");
    EXPECT_TRUE(item.nearest.empty());
    EXPECT_EQ(Codes(FindItem(nso, "AFP-DM-5512")).front(), "AFP-DM-55120");
    EXPECT_EQ(Codes(FindItem(nso, "NOPE-ITEM")).size(), 3U);

    EXPECT_EQ(FindCustomer(nso, 0, 1002).found->name, "Comune di Borgo San Vitale");
    EXPECT_FALSE(FindCustomer(nso, 0, 5555).found.has_value());
    EXPECT_TRUE(FindCustomer(nso, 1, 1002).nearest.empty()) << "the company has no suppliers";

    // A destination is one of the customer's; an option one of the item's.
    EXPECT_TRUE(FindDestination(nso, 0, 1003, "mag3").found.has_value());
    EXPECT_EQ(Codes(FindDestination(nso, 0, 1003, "ECON")), (std::vector<std::string>{"MAG3"}));
    EXPECT_EQ(FindItemOption(nso, "AFP-DM-57200", "m").found->code, "M");
    EXPECT_EQ(Codes(FindItemOption(nso, "AFP-DM-57200", "XL")),
              (std::vector<std::string>{"L", "M", "S"}));
    EXPECT_TRUE(FindItemOption(nso, "AFP-FAR-10231", "S").nearest.empty());

    // The ISO code of a currency finds it first; VAT and document codes.
    EXPECT_EQ(Codes(FindCurrency(nso, "USD")).front(), "002");
    EXPECT_EQ(FindCurrency(nso, "001").found->name, "EUR, Euro");
    EXPECT_TRUE(FindVatCode(nso, "s").found.has_value());
    EXPECT_EQ(Codes(FindDocumentCode(nso, "OCX")), (std::vector<std::string>{"OCL", "OCM"}));

    EXPECT_EQ(EditDistance("kitten", "SITTING"), 3U);
    EXPECT_EQ(EditDistance("", "abc"), 3U);
}

TEST_F(ReadModelTest, AnEditWithACodeTheMasterDataHasNotWritesNothing) {
    ProcessAll();
    ASSERT_TRUE(OpenReview(nso, 5));
    const Order order = ReadOrder(nso, 5);
    const EditField* item = FindEditField("item");
    const EditField* quantity = FindEditField("quantity");
    const std::string sql = "SELECT IE95_DO30_QTA1 FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = 5 AND "
                            "IE95_DO30_PROGRIGA = 1";
    const std::string before = env.Scalar(sql).Text();

    std::vector<FieldChange> changes{{item, Variant("NOPE-ITEM")}, {quantity, Variant(7)}};
    const std::vector<std::string> refused = CheckChanges(nso, order, 1, changes);
    ASSERT_EQ(refused.size(), 1U);
    EXPECT_EQ(refused[0].rfind("no item NOPE-ITEM: the nearest are ", 0), 0U) << refused[0];
    EXPECT_THROW((void)EditOrder(nso, order, 1, changes), Refusal);
    EXPECT_EQ(env.Scalar(sql).Text(), before);

    // A code that is there is written as the master data spells it.
    std::vector<FieldChange> known{{item, Variant("afp-dm-56031")}};
    EXPECT_TRUE(CheckChanges(nso, order, 1, known).empty());
    EXPECT_EQ(known[0].value.Text(), "AFP-DM-56031");
    (void)EditOrder(nso, order, 1, known);
    EXPECT_EQ(env.Scalar("SELECT IE95_DO30_CODART_MG66 FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = 5 "
                         "AND IE95_DO30_PROGRIGA = 1")
                  .Text(),
              "AFP-DM-56031");
}

} // namespace
} // namespace kvad::read_model::test
