#include "frame/formato_db.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "host/stand_ins.h"

namespace kvad::nso {
namespace {

class FormatoDBTest : public ::testing::Test {
  protected:
    // The framework objects must be registered before an instance is created.
    static void SetUpTestSuite() { (void)host::RegisterStandIns(host::HostConfig{}); }

    void SetUp() override { CreateFrameworkObjects(state); }
    Variant Fmt(const Variant& value, std::int32_t code, bool nullAllowed) {
        return FormatoDB(state, value, code, nullAllowed);
    }
    NsoState& S() { return state; }

    NsoState state;
};

// Text is quoted with its quotes doubled, blanks kept; blank values give null or an empty
// literal; numbers and dates their literal. None of these is a refusal.
TEST_F(FormatoDBTest, LiteralsOfTextBlanksNumbersAndDates) {
    const std::vector<std::tuple<Variant, std::int32_t, bool, std::string>> cases = {
        {"O'Neil", 0, false, "'O''Neil'"},
        {"O'Neil", 4, false, "N'O''Neil'"},
        {"  a b  ", 0, true, "'  a b  '"},
        {std::int32_t{0}, 0, true, "'0'"}, // 0 is not blank
        {"   ", 0, true, "null"},
        {Variant::Null(), 3, true, "null"},
        {"   ", 0, false, "''"},
        {Variant::Null(), 4, false, "N''"},
        {Decimal::Parse("-1234567.125").value(), 2, false, "-1234567.125"},
        {"03/01/2019", 3, false, "'2019-01-03 00:00:00'"},
        {DateTime{2024, 3, 5, 14, 7, 9}, 3, false, "'2024-03-05 14:07:09'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Fmt(std::get<0>(c), std::get<1>(c), std::get<2>(c)).Text(), std::get<3>(c));
    }
    EXPECT_TRUE(Fmt(Variant(), 7, false).IsEmpty());
    const Variant decimal = Fmt("12.50", 1, false);
    ASSERT_EQ(decimal.Type(), VarType::Decimal);
    EXPECT_EQ(decimal.Text(), "12.5");
    EXPECT_EQ(S().Stato, kaOK);
}

// A null number or date, an impossible date and a text that is no number are refused: the
// result is Empty, Stato says so and Errore tells why, in place of what it held.
TEST_F(FormatoDBTest, ValuesThatHaveNoLiteralAreRefused) {
    EXPECT_TRUE(Fmt(Variant::Null(), 2, false).IsEmpty());
    EXPECT_EQ(S().Stato, kaErrFormatoDB);
    EXPECT_EQ(S().Errore.Text(), "[x52518x] Si sta tentando di assegnare il valore (numerico) null "
                                 "a un campo che non ammette null.");
    const std::vector<std::tuple<Variant, std::int32_t, std::string>> refused = {
        {"", 1, "[x52518x] "},
        {Variant(), 3, "[x52517x] "},
        {"31/02/2019", 3, "[x25382x] "},
        {"dodici", 1, "Routine: FormatoDB\r\nVB error: 13 "},
        {"abc", 2, "Routine: FormatoDB\r\nVB error: 13 "},
    };
    for (const auto& c : refused) {
        S().Stato = kaOK;
        S().Errore = "earlier";
        EXPECT_TRUE(Fmt(std::get<0>(c), std::get<1>(c), false).IsEmpty()) << std::get<0>(c).Text();
        EXPECT_EQ(S().Stato, kaErrFormatoDB) << std::get<0>(c).Text();
        EXPECT_EQ(S().Errore.Text().rfind(std::get<2>(c), 0), 0U) << S().Errore.Text();
    }
}

TEST(ValueRoutines, BlankRules) {
    EXPECT_EQ(RTrimN().Text(), "");
    EXPECT_EQ(RTrimN(Variant::Null()).Type(), VarType::String);
    EXPECT_EQ(RTrimN("  ab  ").Text(), "  ab");
    EXPECT_EQ(LunghezzaTesto(Variant::Null()), 0);
    EXPECT_EQ(LunghezzaTesto("àè  "), 2) << "characters, not bytes";
    EXPECT_EQ(LunghezzaTesto("   "), 0);
    EXPECT_EQ(LunghezzaTesto(" a"), 2) << "only trailing blanks are left out";
    EXPECT_EQ(LunghezzaTesto(std::int32_t{-123}), 4) << "a number is measured as its text";
    EXPECT_EQ(ValoreODefault("   ", "def").Text(), "def");
    EXPECT_EQ(ValoreODefault(" x ", "def").Text(), " x ");
    EXPECT_EQ(ValoreODefault(Variant::Null(), std::int32_t{5}).ToLong(), 5);
    EXPECT_EQ(ValoreDecimale("").Type(), VarType::Integer);
    EXPECT_TRUE(ValoreDecimale("   ").IsEmpty());
    EXPECT_FALSE(IsDecimalAboveZero("   "));
    EXPECT_FALSE(IsDecimalAboveZero("abc"));
    EXPECT_TRUE(IsDecimalAboveZero("0.001"));
    EXPECT_EQ(ValoreDecimale("3.10").Text(), "3.1");
}

} // namespace
} // namespace kvad::nso
