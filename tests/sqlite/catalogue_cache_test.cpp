#include <gtest/gtest.h>

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

} // namespace
} // namespace kvad::nso
