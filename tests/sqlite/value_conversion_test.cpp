#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "temp_database.h"

namespace kvad::test {
namespace {

class Values : public TempDatabase {
  protected:
    void SetUp() override {
        TempDatabase::SetUp();
        Native("CREATE TABLE V (ID INTEGER PRIMARY KEY, A decimal(18,5), B decimal(18,5), "
               "D datetime, F bit, S smallint, T varchar(10));");
    }
};

TEST_F(Values, DecimalsComeBackExact) {
    auto rs = connection->OpenRecordset("SELECT * FROM V");
    rs->AddNew();
    rs->SetValue("A", *Decimal::Parse("0.1"));
    rs->SetValue("B", "0.2");
    rs->Update();
    connection->Execute("INSERT INTO V (A, B) VALUES (12.50, 1234567890.12345)");

    auto read = connection->Query("SELECT A, B FROM V ORDER BY ID");
    const Decimal a = read->Value("A").ToDecimal();
    const Decimal b = read->Value("B").ToDecimal();
    EXPECT_EQ(read->Value("A").Type(), VarType::Decimal);
    EXPECT_EQ((a + b).ToString(), "0.3");
    read->MoveNext();
    EXPECT_EQ(read->Value("A").ToDecimal().ToString(), "12.5");
    EXPECT_EQ(read->Value("B").ToDecimal().ToString(), "1234567890.12345");
    ASSERT_THROW(rs->SetValue("A", "abc"); rs->Update(), DbError);
    EXPECT_EQ(connection->Errors().at(0).sqlState, "22018");
}

TEST_F(Values, DatesRoundTripInTheCanonicalForm) {
    auto rs = connection->OpenRecordset("SELECT * FROM V");
    rs->AddNew();
    rs->SetValue("D", DateTime{2024, 3, 5, 14, 30, 15});
    rs->SetValue("F", true);
    rs->SetValue("S", std::int32_t{3});
    rs->Update();
    EXPECT_EQ(rs->Value("D"), Variant(DateTime{2024, 3, 5, 14, 30, 15}));
    EXPECT_EQ(rs->Value("F"), Variant(true));
    EXPECT_EQ(rs->Value("S").Type(), VarType::Integer);

    rs->AddNew();
    rs->SetValue("D", "06/03/2024"); // Italian day/month/year, as SQL Server reads it here
    rs->Update();
    EXPECT_EQ(rs->Value("D").ToDate(), (DateTime{2024, 3, 6, 0, 0, 0}));

    rs->SetValue("D", "not a date");
    EXPECT_THROW(rs->Update(), DbError);
    EXPECT_EQ(connection->Errors().at(0).sqlState, "22007");
    rs->CancelUpdate();

    connection.reset(); // the file as another program sees it
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Path().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT D, F FROM V ORDER BY ID", -1, &stmt, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                 "2024-03-05 14:30:15");
    EXPECT_EQ(sqlite3_column_int(stmt, 1), 1);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                 "2024-03-06 00:00:00");
    sqlite3_finalize(stmt);
    sqlite3_close(raw);
}

} // namespace
} // namespace kvad::test
