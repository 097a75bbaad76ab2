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

// Decimals keep every digit, doubles take their shortest round-trip text, integers and booleans
// have no decimals, and numeric text may be invariant or Italian; never trailing zeros.
TEST(NumberFormatter, NumbersAndNumericTextGiveInvariantText) {
    const std::pair<Variant, const char*> cases[] = {
        {*Decimal::Parse("123456789012345678.0123456789"), "123456789012345678.0123456789"},
        {*Decimal::Parse("-0.50"), "-0.5"},
        {*Decimal::Parse("12.000"), "12"},
        {0.1, "0.1"},
        {3.0, "3"},
        {-2.5, "-2.5"},
        {1.0 / 3.0, "0.3333333333333333"},
        {1e-7, "0.0000001"},
        {1e20, "100000000000000000000"},
        {-0.0, "0"},
        {1e300, "1e+300"},
        {-5e-324, "-5e-324"},
        {static_cast<std::int16_t>(-7), "-7"},
        {static_cast<std::int32_t>(2000000000), "2000000000"},
        {true, "-1"},
        {"  12.50 ", "12.5"},
        {"1e3", "1000"},
        {"12,5", "12.5"},
        {"-1.234.567,89", "-1234567.89"},
        {"1.234.567", "1234567"},
        {",5", "0.5"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(Format(value), text);
    }
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
