#include "rowid_columns.h"

#include <gtest/gtest.h>

namespace kvad::db {
namespace {

TEST(RowidColumns, AppendsOneRowidPerTableNamedOnceInTheMainFrom) {
    const auto query = AddRowidColumns(
        "WITH RECURSIVE C AS (SELECT * FROM T1 UNION SELECT * FROM T1) "
        "SELECT X.*, \"T 2\".B FROM temp.\"#X\" AS X LEFT JOIN \"T 2\" ON (\"T 2\".K = X.K) "
        "INNER JOIN (SELECT * FROM T3) S ON S.K = X.K WHERE X.A = 'FROM T3' ORDER BY 1",
        {{"temp", "#X"}, {"main", "T 2"}, {"main", "T3"}, {"main", "T1"}});
    ASSERT_TRUE(query.has_value());
    EXPECT_EQ(query->appendedIndex, (std::vector<int>{0, 1, -1, -1}));
    EXPECT_EQ(query->sql,
              "WITH RECURSIVE C AS (SELECT * FROM T1 UNION SELECT * FROM T1) "
              "SELECT X.*, \"T 2\".B , \"X\".rowid AS \"kvad.rowid.0\" , \"T 2\".rowid AS "
              "\"kvad.rowid.1\" FROM temp.\"#X\" AS X LEFT JOIN \"T 2\" ON (\"T 2\".K = X.K) "
              "INNER JOIN (SELECT * FROM T3) S ON S.K = X.K WHERE X.A = 'FROM T3' ORDER BY 1");
}

TEST(RowidColumns, LeavesRowsThatCannotBeLocatedAlone) {
    const std::vector<TableSource> t = {{"main", "T"}};
    EXPECT_FALSE(AddRowidColumns("SELECT DISTINCT A FROM T", t).has_value());
    EXPECT_FALSE(AddRowidColumns("SELECT A FROM T UNION ALL SELECT A FROM T", t).has_value());
    EXPECT_FALSE(AddRowidColumns("SELECT A, COUNT(*) FROM T GROUP BY A", t).has_value());
    EXPECT_FALSE(AddRowidColumns("SELECT A FROM T AS P JOIN T AS Q ON P.A = Q.B", t).has_value());
    EXPECT_FALSE(AddRowidColumns("SELECT 1", t).has_value());
    const auto qualified = AddRowidColumns("SELECT * FROM main.T", t);
    ASSERT_TRUE(qualified.has_value());
    EXPECT_EQ(qualified->sql, "SELECT * , \"main\".\"T\".rowid AS \"kvad.rowid.0\" FROM main.T");
}

} // namespace
} // namespace kvad::db
