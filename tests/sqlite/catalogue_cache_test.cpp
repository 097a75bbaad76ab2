#include <gtest/gtest.h>

#include <algorithm>

#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"
#include "support/test_env.h"
#include "ubl/staging_writer.h"

namespace kvad::nso {
namespace {

std::vector<std::string> Columns(test::TestEnv& env, const std::string& table) {
    std::vector<std::string> names;
    auto list = GetElencoCampiTabella(env.S(), table);
    EXPECT_NE(list, nullptr) << env.S().Errore.Text();
    if (!list) {
        return names;
    }
    for (; !list->Eof(); list->MoveNext()) {
        names.push_back(list->Value("COLUMN_NAME").Text() + ":" +
                        list->Value("COLUMN_TYPE_NAME").Text());
    }
    return names;
}

TEST(CatalogueReads, RepeatedReadsFollowSchemaChanges) {
    test::TestEnv env;
    const auto first = Columns(env, "IE9A_NSOCORPOSCONTIXML");
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.front(), "IE9A_ID_IE91:int");
    EXPECT_EQ(Columns(env, "IE9A_NSOCORPOSCONTIXML"), first);

    // A column added by another connection is seen by the next read on this one.
    {
        auto other = db::OpenSqlite(env.DbFile().string());
        db::ExecuteNativeScript(*other, "ALTER TABLE IE9A_NSOCORPOSCONTIXML ADD COLUMN "
                                        "IE9A_AllowanceChargeReasonText datetime");
    }
    const auto after = Columns(env, "IE9A_NSOCORPOSCONTIXML");
    ASSERT_EQ(after.size(), first.size() + 1);
    EXPECT_EQ(after.back(), "IE9A_AllowanceChargeReasonText:datetime");
    EXPECT_NE(Columns(env, "IE96_NSOTESTATASCONTIXML"), after) << "reads of other tables differ";
}

// The loader converts by the type name the catalogue reports: dates and amounts must be named so,
// and the table's key is not among the columns.
TEST(CatalogueReads, StagingColumnsAreReportedWithTheirTypeNames) {
    test::TestEnv env;
    const auto lines = Columns(env, "IE94_NSOCORPOXML");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "IE94_ID_IE91:int");
    for (const char* column : {"IE94_LineItem_Quantity:decimal",
                               "IE94_LineItem_Delivery_RequestedDeliveryPeriod_StartDate:datetime",
                               "IE94_LineItem_Item_SellersItemIdentification_ID:varchar"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), column), lines.end()) << column;
    }
}

} // namespace
} // namespace kvad::nso
