#include "italian_format.h"

#include <gtest/gtest.h>

#include "order_totals.h"

namespace kvad::platform {
namespace {

Decimal D(const char* text) {
    return *Decimal::Parse(text);
}

TEST(ItalianFormat, NumbersGroupThousandsAndRoundHalfUp) {
    EXPECT_EQ(FormatAmount(D("1234.5")), "1.234,50");
    EXPECT_EQ(FormatAmount(D("1234567.891")), "1.234.567,89");
    EXPECT_EQ(FormatAmount(D("999.995")), "1.000,00");
    EXPECT_EQ(FormatAmount(D("0.125")), "0,13") << "half up, not half to even";
    EXPECT_EQ(FormatAmount(D("-0.125")), "-0,13");
    EXPECT_EQ(FormatAmount(D("-0.004")), "0,00") << "no negative zero";
    EXPECT_EQ(FormatAmount(D("-652.5")), "-652,50");
    EXPECT_EQ(FormatPrice(D("4.725")), "4,725");
    EXPECT_EQ(FormatPrice(D("50.000")), "50,00");
    EXPECT_EQ(FormatQuantity(D("12.000")), "12");
    EXPECT_EQ(FormatQuantity(D("1200")), "1.200");
    EXPECT_EQ(FormatQuantity(D("0.5")), "0,5");
}

TEST(ItalianFormat, DatesAreDayMonthYearAndOtherTextStaysAsWritten) {
    EXPECT_EQ(FormatDate("2024-03-04"), "04/03/2024");
    EXPECT_EQ(FormatDate(" 2024-12-31Z "), "31/12/2024");
    EXPECT_EQ(FormatDate("2024-02-30"), "2024-02-30");
    EXPECT_EQ(FormatDate("4 marzo"), "4 marzo");
}

OrderLine Line(const char* amount, std::optional<TaxRate> rate) {
    OrderLine line;
    line.amount = D(amount);
    line.rate = std::move(rate);
    return line;
}

AllowanceCharge Allowance(bool charge, const char* amount, std::optional<TaxRate> rate) {
    AllowanceCharge allowance;
    allowance.charge = charge;
    allowance.amount = D(amount);
    allowance.rate = std::move(rate);
    return allowance;
}

TEST(OrderTotals, EachRateGetsItsLinesAllowancesAndCharges) {
    const TaxRate s22{"S", D("22")};
    const TaxRate s10{"S", D("10")};
    OrderDocument order;
    order.lines = {Line("100.05", s22), Line("50", s10), Line("0.10", s22)};
    order.allowances = {Allowance(false, "10", s22), Allowance(true, "5.5", s10)};
    const OrderTotals totals = ComputeTotals(order);
    ASSERT_EQ(totals.rates.size(), 2U);
    EXPECT_EQ(totals.rates[0].taxable, D("90.15"));
    EXPECT_EQ(totals.rates[0].tax, D("19.83")) << "19.833 rounded to the cent";
    EXPECT_EQ(totals.rates[1].taxable, D("55.5"));
    EXPECT_EQ(totals.rates[1].tax, D("5.55"));
    EXPECT_EQ(totals.lines, D("150.15"));
    EXPECT_EQ(totals.allowances, D("10"));
    EXPECT_EQ(totals.charges, D("5.5"));
    EXPECT_EQ(totals.taxable, D("145.65"));
    EXPECT_EQ(totals.total, D("171.03"));
}

TEST(OrderTotals, AnAllowanceWithoutRateTakesTheOneRateOfTheLines) {
    const TaxRate s22{"S", D("22")};
    OrderDocument order;
    order.lines = {Line("100", s22), Line("20", s22)};
    order.allowances = {Allowance(false, "20", std::nullopt)};
    OrderTotals totals = ComputeTotals(order);
    ASSERT_EQ(totals.rates.size(), 1U);
    EXPECT_EQ(totals.rates[0].tax, D("22"));

    // With two rates among the lines there is no telling: the allowance stays apart, untaxed.
    order.lines.push_back(Line("10", TaxRate{"E", std::nullopt}));
    totals = ComputeTotals(order);
    ASSERT_EQ(totals.rates.size(), 3U);
    EXPECT_FALSE(totals.rates[2].rate.has_value());
    EXPECT_EQ(totals.rates[2].taxable, D("-20"));
    EXPECT_EQ(totals.tax, D("26.4"));
    EXPECT_EQ(RateText(totals.rates[1].rate), "E");
    EXPECT_EQ(RateText(TaxRate{"Z", D("0")}), "0% (Z)");
    EXPECT_EQ(RateText(s22), "22%");
}

} // namespace
} // namespace kvad::platform
