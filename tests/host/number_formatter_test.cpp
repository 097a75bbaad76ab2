#include "host/stand_ins.h"

#include "host_test_util.h"

namespace {

using kvad::Decimal;
using kvad::Variant;

std::string Format(const Variant& value) {
    kvad::host::RegisterStandIns({});
    return kvad::CreateObjectAs<kvad::NumberFormatter>(kvad::progid::kNumberFormatter)
        ->Format(value);
}

TEST(NumberFormatter, DecimalsKeepEveryDigitWithoutTrailingZeros) {
    EXPECT_EQ(Format(*Decimal::Parse("123456789012345678.0123456789")),
              "123456789012345678.0123456789");
    EXPECT_EQ(Format(*Decimal::Parse("-0.50")), "-0.5");
    EXPECT_EQ(Format(*Decimal::Parse("12.000")), "12");
}

TEST(NumberFormatter, DoublesUseShortestRoundTripFixedText) {
    EXPECT_EQ(Format(0.1), "0.1");
    EXPECT_EQ(Format(3.0), "3");
    EXPECT_EQ(Format(-2.5), "-2.5");
    EXPECT_EQ(Format(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(Format(1e-7), "0.0000001");
    EXPECT_EQ(Format(1e20), "100000000000000000000");
    EXPECT_EQ(Format(-0.0), "0");
    EXPECT_EQ(Format(1e300), "1e+300");
    EXPECT_EQ(Format(-5e-324), "-5e-324");
}

TEST(NumberFormatter, IntegersAndBooleansHaveNoDecimals) {
    EXPECT_EQ(Format(static_cast<std::int16_t>(-7)), "-7");
    EXPECT_EQ(Format(static_cast<std::int32_t>(2000000000)), "2000000000");
    EXPECT_EQ(Format(true), "-1");
}

TEST(NumberFormatter, NumericTextInInvariantOrItalianForm) {
    EXPECT_EQ(Format("  12.50 "), "12.5");
    EXPECT_EQ(Format("1e3"), "1000");
    EXPECT_EQ(Format("12,5"), "12.5");
    EXPECT_EQ(Format("-1.234.567,89"), "-1234567.89");
    EXPECT_EQ(Format("1.234.567"), "1234567");
    EXPECT_EQ(Format(",5"), "0.5");
    hosttest::ExpectVbError(kvad::vberr::kOverflow, [] { (void)Format("1e40"); });
}

TEST(NumberFormatter, RefusesWhatIsNotANumber) {
    for (const Variant& value :
         {Variant("abc"), Variant(""), Variant("   "), Variant("12,3,4"), Variant("1.23.4,5"),
          Variant("1,2e3"), Variant("inf"), Variant("nan"), Variant("12 5"), Variant::Null(),
          Variant(), Variant(kvad::DateTime{2024, 1, 2}), Variant(Variant::Bytes{'1'})}) {
        SCOPED_TRACE(value.Text());
        hosttest::ExpectVbError(kvad::vberr::kTypeMismatch, [&] { (void)Format(value); });
    }
}

} // namespace
