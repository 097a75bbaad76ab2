#include "frame/formato_db.h"

#include <gtest/gtest.h>

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

TEST_F(FormatoDBTest, TextLiteralsDoubleQuotesAndKeepBlanks) {
    EXPECT_EQ(Fmt("O'Neil", 0, false).Text(), "'O''Neil'");
    EXPECT_EQ(Fmt("O'Neil", 4, false).Text(), "N'O''Neil'");
    EXPECT_EQ(Fmt("  a b  ", 0, true).Text(), "'  a b  '");
    EXPECT_EQ(Fmt(std::int32_t{0}, 0, true).Text(), "'0'") << "0 is not blank";
    EXPECT_EQ(S().Stato, kaOK);
}

TEST_F(FormatoDBTest, BlankValues) {
    EXPECT_EQ(Fmt("   ", 0, true).Text(), "null");
    EXPECT_EQ(Fmt(Variant::Null(), 3, true).Text(), "null");
    EXPECT_EQ(Fmt("   ", 0, false).Text(), "''");
    EXPECT_EQ(Fmt(Variant::Null(), 4, false).Text(), "N''");
    EXPECT_TRUE(Fmt(Variant(), 7, false).IsEmpty());
    EXPECT_EQ(S().Stato, kaOK) << "none of these is a refusal";
}

TEST_F(FormatoDBTest, NullNumberAndNullDateAreRefused) {
    const Variant numeric = Fmt(Variant::Null(), 2, false);
    EXPECT_TRUE(numeric.IsEmpty());
    EXPECT_EQ(S().Stato, kaErrFormatoDB);
    EXPECT_EQ(S().Errore.Text(), "[x52518x] Si sta tentando di assegnare il valore (numerico) null "
                                 "a un campo che non ammette null.");
    S().Stato = kaOK;
    EXPECT_TRUE(Fmt("", 1, false).IsEmpty());
    EXPECT_EQ(S().Stato, kaErrFormatoDB);
    S().Stato = kaOK;
    EXPECT_TRUE(Fmt(Variant(), 3, false).IsEmpty());
    EXPECT_EQ(S().Stato, kaErrFormatoDB);
    EXPECT_EQ(S().Errore.Text().rfind("[x52517x] ", 0), 0U);
}

TEST_F(FormatoDBTest, NumbersAndDates) {
    const Variant decimal = Fmt("12.50", 1, false);
    ASSERT_EQ(decimal.Type(), VarType::Decimal);
    EXPECT_EQ(decimal.Text(), "12.5");
    EXPECT_EQ(Fmt(Decimal::Parse("-1234567.125").value(), 2, false).Text(), "-1234567.125");
    EXPECT_EQ(Fmt("03/01/2019", 3, false).Text(), "'2019-01-03 00:00:00'");
    EXPECT_EQ(Fmt(DateTime{2024, 3, 5, 14, 7, 9}, 3, false).Text(), "'2024-03-05 14:07:09'");
    EXPECT_EQ(S().Stato, kaOK);
}

TEST_F(FormatoDBTest, BadDateIsRefusedAndBadDecimalFailsUnderItsOwnName) {
    S().Errore = "earlier";
    EXPECT_TRUE(Fmt("31/02/2019", 3, false).IsEmpty());
    EXPECT_EQ(S().Stato, kaErrFormatoDB);
    EXPECT_NE(S().Errore.Text().find("25382"), std::string::npos);

    S().Stato = kaOK;
    EXPECT_TRUE(Fmt("dodici", 1, false).IsEmpty());
    EXPECT_EQ(S().Stato, kaErrFormatoDB);
    EXPECT_EQ(S().Errore.Text().rfind("Routine: FormatoDB\r\nVB error: 13 ", 0), 0U);

    S().Stato = kaOK;
    EXPECT_TRUE(Fmt("abc", 2, false).IsEmpty());
    EXPECT_EQ(S().Stato, kaErrFormatoDB);
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
