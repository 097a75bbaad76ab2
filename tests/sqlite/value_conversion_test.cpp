#include <gtest/gtest.h>
#include <sqlite3.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "sqlite_connection.h"
#include "temp_database.h"
#include "value_codec.h"

namespace kvad::test {
namespace {

struct Finalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Prepared = std::unique_ptr<sqlite3_stmt, Finalizer>;

/// The next number of a fixed pseudo-random sequence: the same values on every run.
std::uint64_t Next(std::uint64_t& seed) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return seed;
}

class Values : public TempDatabase {
  protected:
    void SetUp() override {
        TempDatabase::SetUp();
        Native("CREATE TABLE V (ID INTEGER PRIMARY KEY, A decimal(18,5), B decimal(18,5), "
               "D datetime, F bit, S smallint, T varchar(10));");
    }

    /// SQLite's own statement on the connection (empty when it does not prepare).
    [[nodiscard]] Prepared Prepare(const std::string& sql) const {
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(Sqlite().Handle(), sql.c_str(), -1, &statement, nullptr),
                  SQLITE_OK)
            << sql;
        return Prepared(statement);
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

TEST_F(Values, RealsReadAsDecimalsAsSqliteWritesThem) {
    // A REAL in a decimal column is read as the decimal of SQLite's 15-digit text: the same
    // whether that text is asked of SQLite or worked out without it.
    std::vector<double> reals = {
        0.1 + 0.2,        1.0 / 3, 2.0 / 3,  0.00015,      0.000123456789012345, 123456789.123456,
        99999999999999.9, -7.25,   1e-5 * 3, 1.5e14 + 0.5, 2.5e15 + 0.5};
    std::uint64_t seed = 12345;
    for (int i = 0; i < 2000; ++i) {
        const auto whole = static_cast<double>(Next(seed) >> 20U);
        reals.push_back(whole / std::pow(10.0, static_cast<double>(i % 19)) *
                        (i % 2 == 0 ? 1 : -1));
    }
    // Decimals of one to six places, of up to 15 digits and a few beyond, as a decimal(19,6)
    // column holds them: read without asking SQLite for a text.
    for (int i = 0; i < 2000; ++i) {
        const auto whole = static_cast<double>(Next(seed) >> (14U + static_cast<unsigned>(i % 40)));
        reals.push_back(whole / std::pow(10.0, static_cast<double>(1 + i % 6)) *
                        (i % 3 == 0 ? -1 : 1));
    }
    const Prepared insert = Prepare("INSERT INTO V (A) VALUES (?1)");
    for (const double real : reals) {
        sqlite3_bind_double(insert.get(), 1, real);
        ASSERT_EQ(sqlite3_step(insert.get()), SQLITE_DONE);
        sqlite3_reset(insert.get());
    }
    const std::vector<std::string> texts =
        NativeColumn(Sqlite().Handle(), "SELECT A FROM V ORDER BY ID");
    ASSERT_EQ(texts.size(), reals.size());
    int differing = 0;
    auto read = connection->Query("SELECT A FROM V ORDER BY ID");
    for (const std::string& text : texts) {
        const auto expected = Decimal::Parse(text);
        const Variant value = read->Value("A");
        read->MoveNext();
        if (!expected || value.Type() != VarType::Decimal ||
            value.ToDecimal().ToString() != expected->ToString() ||
            value.ToDecimal().Scale() != expected->Scale()) {
            ADD_FAILURE() << text << " read as " << value.Text();
            ++differing;
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(Values, DecimalsAreStoredAsTheirTextWouldBe) {
    // A decimal bound for a decimal column is stored as SQLite stores its text there: the same
    // kind (integer or real) and the same bits, for whole numbers, fractions of up to 18 places,
    // trailing zeros, both signs, and decimals too long for the number (bound as text).
    std::vector<Decimal> decimals = {Decimal::FromScaled(0, 3),
                                     Decimal::FromScaled(1250000, 5),
                                     Decimal::FromScaled(-1, 1),
                                     Decimal::FromScaled(999999999999999, 2),
                                     Decimal::FromScaled(-999999999999999, 18),
                                     Decimal::FromScaled(1000000000000000, 2),
                                     Decimal::FromScaled(12, 0),
                                     *Decimal::Parse("12345678901234567890.123")};
    std::uint64_t seed = 987654321;
    for (int i = 0; i < 20000; ++i) {
        const auto mantissa =
            static_cast<std::int64_t>(Next(seed) >> (14U + static_cast<unsigned>(i % 47)));
        decimals.push_back(Decimal::FromScaled(i % 2 == 0 ? mantissa : -mantissa, i % 19));
    }
    const Prepared insert = Prepare("INSERT INTO V (A, B) VALUES (?1, ?2)");
    for (const Decimal& decimal : decimals) {
        const std::string text = decimal.ToString();
        sqlite3_bind_text(insert.get(), 1, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        db::BindValue(insert.get(), 2, Variant(decimal), db::ValueKind::Decimal);
        ASSERT_EQ(sqlite3_step(insert.get()), SQLITE_DONE);
        sqlite3_reset(insert.get());
    }
    const Prepared select = Prepare("SELECT A, B FROM V ORDER BY ID");
    std::size_t row = 0;
    int differing = 0;
    for (sqlite3_stmt* read = select.get(); sqlite3_step(read) == SQLITE_ROW; ++row) {
        const int kind = sqlite3_column_type(read, 0);
        const bool same =
            kind == sqlite3_column_type(read, 1) &&
            (kind == SQLITE_FLOAT ? std::bit_cast<std::uint64_t>(sqlite3_column_double(read, 0)) ==
                                        std::bit_cast<std::uint64_t>(sqlite3_column_double(read, 1))
                                  : sqlite3_column_int64(read, 0) == sqlite3_column_int64(read, 1));
        if (!same && ++differing <= 5) {
            ADD_FAILURE() << decimals.at(row).ToString() << " stored as "
                          << reinterpret_cast<const char*>(sqlite3_column_text(read, 1));
        }
    }
    EXPECT_EQ(row, decimals.size());
    EXPECT_EQ(differing, 0);
}

TEST_F(Values, NumbersInATextColumnReadAsSqliteWritesThem) {
    // A column of a text type without text affinity (sysname) keeps REALs and INTEGERs as
    // they were stored: read as text, they read as SQLite renders them.
    Native("CREATE TABLE N (ID INTEGER PRIMARY KEY, S sysname);");
    const Prepared insert = Prepare("INSERT INTO N (S) VALUES (?1)");
    for (const double real : {0.1 + 0.2, 1e-5 * 3, 2.5e15 + 0.5, 1e300, -7.25, 0.5}) {
        sqlite3_bind_double(insert.get(), 1, real);
        sqlite3_step(insert.get());
        sqlite3_reset(insert.get());
    }
    sqlite3_bind_int64(insert.get(), 1, -9007199254740993LL);
    sqlite3_step(insert.get());

    std::vector<std::string> read;
    for (auto rs = connection->Query("SELECT S FROM N ORDER BY ID"); !rs->Eof(); rs->MoveNext()) {
        const Variant value = rs->Value("S");
        read.push_back(value.Type() == VarType::String ? value.Text() : "not text");
    }
    EXPECT_EQ(read, (std::vector<std::string>{"0.3", "3.0e-05", "2.5e+15", "1.0e+300", "-7.25",
                                              "0.5", "-9007199254740993"}));
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

    connection = Open(); // the file as another program sees it
    EXPECT_EQ(NativeColumn(Sqlite().Handle(), "SELECT D FROM V ORDER BY ID"),
              (std::vector<std::string>{"2024-03-05 14:30:15", "2024-03-06 00:00:00"}));
    EXPECT_EQ(NativeColumn(Sqlite().Handle(), "SELECT F FROM V ORDER BY ID"),
              (std::vector<std::string>{"1", "NULL"}));
}

} // namespace
} // namespace kvad::test
