#include "kvad_nso/decimal.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "core/decimal_literal.h"
#include "support/expect_error.h"

#include "kvad_nso/errors.h"

namespace kvad {
namespace {

using test::D;
using test::ExpectVbError;

TEST(Decimal, ParsesInvariantTextAndRejectsTheRest) {
    EXPECT_EQ(D(" -12.50 ").ToString(), "-12.5");
    EXPECT_EQ(D("+3").ToString(), "3");
    EXPECT_EQ(D(".5").ToString(), "0.5");
    EXPECT_EQ(D("1e3").ToString(), "1000");
    EXPECT_EQ(D("25E-4").ToString(), "0.0025");
    EXPECT_EQ(D("-0.0020").ToString(), "-0.002");
    EXPECT_EQ(D("000").ToString(), "0");
    for (const char* bad : {"", "   ", "1,5", "abc", "1.2.3", "1e", "e5", "--1", "1 2", "0x10"}) {
        EXPECT_FALSE(Decimal::Parse(bad).has_value()) << bad;
    }
}

TEST(Decimal, RoundsHalfToEven) {
    EXPECT_EQ(D("0.0025").Round(3).ToString(), "0.002");
    EXPECT_EQ(D("0.0035").Round(3).ToString(), "0.004");
    EXPECT_EQ(D("-2.5").Round(0).ToString(), "-2");
    EXPECT_EQ(D("3.5").Round(0).ToString(), "4");
    EXPECT_EQ(D("2.50001").Round(0).ToString(), "3");
    EXPECT_EQ(D("1.25").Round(5), D("1.25"));
    EXPECT_EQ((D("10.005") / Decimal(3)).Round(3).ToString(), "3.335");
    EXPECT_EQ(D("-2.5").ToInt64Rounded(), -2);
    EXPECT_EQ(D("-3.5").ToInt64Rounded(), -4);
    ExpectVbError(vberr::kInvalidArgument, [] { (void)D("1.5").Round(-1); });
}

TEST(Decimal, KeepsTwentyEightSignificantDigits) {
    EXPECT_EQ((Decimal(1) / Decimal(3)).ToString(), "0.3333333333333333333333333333");
    EXPECT_EQ((Decimal(2) / Decimal(3)).ToString(), "0.6666666666666666666666666667");
    EXPECT_EQ((Decimal(10) / Decimal(3)).ToString(), "3.333333333333333333333333333");
    EXPECT_EQ((Decimal(1) / Decimal(4)).ToString(), "0.25");
    // Beyond 28 decimals the digits are rounded away, half to even.
    EXPECT_EQ(D("0.00000000000000000000000000025").ToString(), "0.0000000000000000000000000002");
    EXPECT_EQ(D("0.00000000000000000000000000035").ToString(), "0.0000000000000000000000000004");
    EXPECT_EQ(D("1e-40").ToString(), "0");
    EXPECT_EQ(D("1.23456789012345678901234567891").ToString(), "1.234567890123456789012345679");
    EXPECT_EQ(D("0.99999999999999999999999999995").ToString(), "1");
    // An exact half is decided by the digits behind it, not by a second rounding.
    const Decimal five_units = D("0.0000000000000000000000000005");
    EXPECT_EQ((five_units / Decimal(2)).ToString(), "0.0000000000000000000000000002");
    EXPECT_EQ((five_units / D("1.9999999999")).ToString(), "0.0000000000000000000000000003");
    EXPECT_EQ(D("7922816251426433759354395033.5").ToString(), "7922816251426433759354395034");
}

TEST(Decimal, OverflowsPastTheLargestValue) {
    const Decimal largest = D("79228162514264337593543950335");
    EXPECT_EQ(largest.ToString(), "79228162514264337593543950335");
    EXPECT_EQ(largest.Negated().ToString(), "-79228162514264337593543950335");
    ExpectVbError(vberr::kOverflow, [&] { (void)(largest + Decimal(1)); });
    ExpectVbError(vberr::kOverflow, [&] { (void)(largest.Negated() - Decimal(1)); });
    ExpectVbError(vberr::kOverflow, [&] { (void)(largest * D("1.5")); });
    ExpectVbError(vberr::kOverflow, [&] { (void)(largest / D("0.5")); });
    ExpectVbError(vberr::kOverflow, [] { (void)Decimal::Parse("79228162514264337593543950336"); });
    ExpectVbError(vberr::kOverflow, [] { (void)Decimal::Parse("1e29"); });
    ExpectVbError(vberr::kOverflow, [] { (void)Decimal::Parse("1e999999999999"); });
    ExpectVbError(vberr::kOverflow, [&] { (void)largest.ToInt64Rounded(); });
    // A fraction that does not fit is rounded away instead.
    EXPECT_EQ((largest + D("0.4")).ToString(), "79228162514264337593543950335");
    EXPECT_EQ((largest - D("0.5")).ToString(), "79228162514264337593543950334");
}

TEST(Decimal, ArithmeticIsExact) {
    EXPECT_EQ((D("0.1") + D("0.2")).ToString(), "0.3");
    EXPECT_EQ((D("1.005") - D("2")).ToString(), "-0.995");
    EXPECT_EQ((D("19.99") * D("3")).ToString(), "59.97");
    EXPECT_EQ((D("-1.5") * D("-1.5")).ToString(), "2.25");
    EXPECT_EQ((D("0.1") * D("0.1")).Scale(), 2);
    EXPECT_EQ((D("123456789012345.678") * D("1000000000000")).ToString(),
              "123456789012345678000000000");
    EXPECT_EQ((D("-7") / D("2")).ToString(), "-3.5");
    EXPECT_EQ((Decimal(0) / D("3")).ToString(), "0");
    ExpectVbError(vberr::kDivisionByZero, [] { (void)(Decimal(1) / D("0.000")); });
}

TEST(Decimal, ComparesByValueWhateverTheScale) {
    EXPECT_EQ(D("1.50"), D("1.5"));
    EXPECT_LT(D("-2"), D("-1.99"));
    EXPECT_GT(D("79228162514264337593543950335"), D("0.0000000000000000000000000001"));
    EXPECT_LT(D("-79228162514264337593543950335"), D("-0.0000000000000000000000000001"));
    EXPECT_GT(D("0.0000000000000000000000000002"), D("0.0000000000000000000000000001"));
    EXPECT_EQ(D("-0.5").Sign(), -1);
    EXPECT_EQ(D("0.00").Sign(), 0);
}

TEST(Decimal, ConvertsDoublesThroughTheirShortestText) {
    EXPECT_EQ(Decimal::FromDouble(0.1)->ToString(), "0.1");
    EXPECT_EQ(Decimal::FromDouble(-1234.5678)->ToString(), "-1234.5678");
    EXPECT_EQ(Decimal::FromDouble(1e20)->ToString(), "100000000000000000000");
    EXPECT_FALSE(Decimal::FromDouble(std::numeric_limits<double>::infinity()).has_value());
    EXPECT_FALSE(Decimal::FromDouble(std::nan("")).has_value());
    ExpectVbError(vberr::kOverflow, [] { (void)Decimal::FromDouble(1e300); });
    EXPECT_EQ(D("0.1").ToDouble(), 0.1);
    EXPECT_EQ(D("-79228162514264337593543950335").ToDouble(), -7.922816251426434e28);
}

} // namespace
} // namespace kvad
