#include "kvad_nso/variant.h"

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

TEST(Variant, TextFormOfEachKind) {
    EXPECT_EQ(Variant().Text(), "");
    EXPECT_EQ(Variant::Null().Text(), "");
    EXPECT_EQ(Variant(true).Text(), "True");
    EXPECT_EQ(Variant(false).Text(), "False");
    EXPECT_EQ(Variant(std::int16_t{-7}).Text(), "-7");
    EXPECT_EQ(Variant(std::int32_t{1234567}).Text(), "1234567");
    EXPECT_EQ(Variant(D("1234.500")).Text(), "1234.5");
    EXPECT_EQ(Variant(0.1).Text(), "0.1");
    EXPECT_EQ(Variant(-0.0).Text(), "0");
    EXPECT_EQ(Variant(1.0 / 3.0).Text(), "0.3333333333333333");
    EXPECT_EQ(Variant(DateTime{2019, 1, 3, 0, 0, 0}).Text(), "03/01/2019");
    EXPECT_EQ(Variant(DateTime{2019, 1, 3, 9, 0, 0}).Text(), "03/01/2019 09:00:00");
    EXPECT_EQ(Variant(Variant::Bytes{'<', 'a', '>'}).Text(), "<a>");
}

TEST(Variant, BlankMeansEmptyTextAfterTrailingSpaces) {
    EXPECT_TRUE(Variant().IsBlank());
    EXPECT_TRUE(Variant::Null().IsBlank());
    EXPECT_TRUE(Variant("").IsBlank());
    EXPECT_TRUE(Variant("   ").IsBlank());
    EXPECT_FALSE(Variant(std::int32_t{0}).IsBlank());
    EXPECT_FALSE(Variant(false).IsBlank());
    EXPECT_FALSE(Variant(" x ").IsBlank());
    EXPECT_FALSE(Variant("\t").IsBlank()) << "only spaces are blank";
    EXPECT_FALSE(Variant(std::string(100000, ' ') + "<a/>").IsBlank());
    EXPECT_EQ(RightTrim("  a b  "), "  a b");
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim("    "), "");
}

TEST(Variant, OnlyTrueOrMinusOneIsExactlyTrue) {
    EXPECT_TRUE(Variant(true).IsExactlyTrue());
    EXPECT_TRUE(Variant(std::int16_t{-1}).IsExactlyTrue());
    EXPECT_TRUE(Variant(std::int32_t{-1}).IsExactlyTrue());
    EXPECT_TRUE(Variant(D("-1.00")).IsExactlyTrue());
    EXPECT_TRUE(Variant(-1.0).IsExactlyTrue());
    EXPECT_FALSE(Variant(std::int32_t{1}).IsExactlyTrue());
    EXPECT_FALSE(Variant(false).IsExactlyTrue());
    EXPECT_FALSE(Variant("True").IsExactlyTrue());
    EXPECT_FALSE(Variant::Null().IsExactlyTrue());
    EXPECT_TRUE(Variant(std::int32_t{2}).ToBool());
}

TEST(Variant, ToDecimalReadsInvariantAndItalianText) {
    EXPECT_EQ(Variant(" 12.50 ").ToDecimal(), D("12.5"));
    EXPECT_EQ(Variant("12,5").ToDecimal(), D("12.5"));
    EXPECT_EQ(Variant("-0,001").ToDecimal(), D("-0.001"));
    EXPECT_EQ(Variant().ToDecimal(), D("0"));
    EXPECT_EQ(Variant(true).ToDecimal(), D("-1"));
    EXPECT_EQ(Variant(0.1).ToDecimal(), D("0.1"));
    EXPECT_EQ(Variant(DateTime{1900, 1, 1, 12, 0, 0}).ToDecimal(), D("2.5"));
    for (const char* bad : {"abc", "   ", "", "1.234,5", "1,2,3", "12a"}) {
        ExpectVbError(vberr::kTypeMismatch, [&] { (void)Variant(bad).ToDecimal(); });
    }
    ExpectVbError(vberr::kInvalidUseOfNull, [] { (void)Variant::Null().ToDecimal(); });
    ExpectVbError(vberr::kTypeMismatch, [] { (void)Variant(Variant::Bytes{1}).ToDecimal(); });
    ExpectVbError(vberr::kOverflow, [] { (void)Variant("1e30").ToDecimal(); });
}

TEST(Variant, IntegerConversionsRoundHalfEvenAndCheckRange) {
    EXPECT_EQ(Variant(2.5).ToLong(), 2);
    EXPECT_EQ(Variant(3.5).ToLong(), 4);
    EXPECT_EQ(Variant(-2.5).ToLong(), -2);
    EXPECT_EQ(Variant("2,5").ToLong(), 2);
    EXPECT_EQ(Variant(D("-1.5")).ToInteger(), -2);
    EXPECT_EQ(Variant(D("32767.4")).ToInteger(), 32767);
    EXPECT_EQ(Variant(std::int32_t{-32768}).ToInteger(), -32768);
    ExpectVbError(vberr::kOverflow, [] { (void)Variant(std::int32_t{32768}).ToInteger(); });
    ExpectVbError(vberr::kOverflow, [] { (void)Variant(D("32767.5")).ToInteger(); });
    ExpectVbError(vberr::kOverflow, [] { (void)Variant(2147483647.5).ToLong(); });
    ExpectVbError(vberr::kOverflow, [] { (void)Variant("1e10").ToLong(); });
    ExpectVbError(vberr::kOverflow, [] { (void)Variant(std::nan("")).ToLong(); });
    ExpectVbError(vberr::kTypeMismatch, [] { (void)Variant("x").ToLong(); });
    ExpectVbError(vberr::kInvalidUseOfNull, [] { (void)Variant::Null().ToInteger(); });
}

TEST(Variant, ToDoubleAndToBoolReadText) {
    EXPECT_EQ(Variant(" 1,25 ").ToDouble(), 1.25);
    EXPECT_EQ(Variant("+1e300").ToDouble(), 1e300);
    EXPECT_EQ(Variant("1e-400").ToDouble(), 0.0);
    ExpectVbError(vberr::kOverflow, [] { (void)Variant("1e400").ToDouble(); });
    ExpectVbError(vberr::kTypeMismatch, [] { (void)Variant("inf").ToDouble(); });
    EXPECT_TRUE(Variant(" tRUE ").ToBool());
    EXPECT_FALSE(Variant("False").ToBool());
    EXPECT_TRUE(Variant("0,5").ToBool());
    EXPECT_FALSE(Variant("0").ToBool());
    EXPECT_FALSE(Variant().ToBool());
    // A sign after a sign is refused by every conversion alike.
    for (const char* bad : {"+-5", "++5", "+ 5", "-+5", "--5"}) {
        ExpectVbError(vberr::kTypeMismatch, [&] { (void)Variant(bad).ToDouble(); });
        ExpectVbError(vberr::kTypeMismatch, [&] { (void)Variant(bad).ToBool(); });
        ExpectVbError(vberr::kTypeMismatch, [&] { (void)Variant(bad).ToDecimal(); });
        ExpectVbError(vberr::kTypeMismatch, [&] { (void)Variant(bad).ToLong(); });
    }
    ExpectVbError(vberr::kTypeMismatch, [] { (void)Variant("yes").ToBool(); });
    ExpectVbError(vberr::kInvalidUseOfNull, [] { (void)Variant::Null().ToBool(); });
}

TEST(Variant, ToDateReadsTextAndSerials) {
    EXPECT_EQ(Variant("03/01/2019").ToDate(), (DateTime{2019, 1, 3, 0, 0, 0}));
    EXPECT_EQ(Variant("2019-01-03T10:00:00").ToDate(), (DateTime{2019, 1, 3, 10, 0, 0}));
    EXPECT_EQ(Variant(std::int32_t{43468}).ToDate(), (DateTime{2019, 1, 3, 0, 0, 0}));
    EXPECT_EQ(Variant(2.75).ToDate(), (DateTime{1900, 1, 1, 18, 0, 0}));
    EXPECT_EQ(Variant(-1.75).ToDate(), (DateTime{1899, 12, 29, 18, 0, 0}));
    EXPECT_EQ(Variant().ToDate(), (DateTime{1899, 12, 30, 0, 0, 0}));
    const DateTime moment{2019, 1, 3, 13, 14, 15};
    EXPECT_EQ(Variant(Variant(moment).ToDouble()).ToDate(), moment);
    ExpectVbError(vberr::kTypeMismatch, [] { (void)Variant("31/02/2019").ToDate(); });
    ExpectVbError(vberr::kInvalidUseOfNull, [] { (void)Variant::Null().ToDate(); });
    ExpectVbError(vberr::kOverflow, [] { (void)Variant(1e10).ToDate(); });
}

TEST(Variant, EqualityNeedsSameKindAndValue) {
    EXPECT_EQ(Variant(D("1.50")), Variant(D("1.5")));
    EXPECT_NE(Variant(std::int16_t{1}), Variant(std::int32_t{1}));
    EXPECT_NE(Variant("1"), Variant(std::int32_t{1}));
    EXPECT_EQ(Variant::Null(), Variant::Null());
    EXPECT_NE(Variant::Null(), Variant());
    EXPECT_TRUE(Variant(D("1")).IsNumber());
    EXPECT_TRUE(Variant(1.0).IsNumber());
    EXPECT_FALSE(Variant("1").IsNumber());
    EXPECT_FALSE(Variant(true).IsNumber());
}

} // namespace
} // namespace kvad
