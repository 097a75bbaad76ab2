#include "order_totals.h"

#include "italian_format.h"

namespace kvad::platform {
namespace {

RateTotal& RowFor(OrderTotals& totals, const std::optional<TaxRate>& rate) {
    for (auto& row : totals.rates) {
        if (row.rate == rate) {
            return row;
        }
    }
    return totals.rates.emplace_back(RateTotal{rate, Decimal(), Decimal()});
}

} // namespace

std::optional<TaxRate> RateOf(const OrderDocument& order, const AllowanceCharge& allowance) {
    if (allowance.rate || order.lines.empty()) {
        return allowance.rate;
    }
    const std::optional<TaxRate>& first = order.lines.front().rate;
    for (const auto& line : order.lines) {
        if (line.rate != first) {
            return std::nullopt;
        }
    }
    return first;
}

OrderTotals ComputeTotals(const OrderDocument& order) {
    OrderTotals totals;
    for (const auto& line : order.lines) {
        totals.lines = totals.lines + line.amount;
        RateTotal& row = RowFor(totals, line.rate);
        row.taxable = row.taxable + line.amount;
    }
    for (const auto& allowance : order.allowances) {
        if (allowance.charge) {
            totals.charges = totals.charges + allowance.amount;
        } else {
            totals.allowances = totals.allowances + allowance.amount;
        }
        RateTotal& row = RowFor(totals, RateOf(order, allowance));
        row.taxable = row.taxable + allowance.Signed();
    }
    for (auto& row : totals.rates) {
        if (row.rate && row.rate->percent) {
            row.tax = RoundHalfUp(row.taxable * *row.rate->percent / Decimal(100), 2);
        }
        totals.tax = totals.tax + row.tax;
    }
    totals.taxable = totals.lines - totals.allowances + totals.charges;
    totals.total = totals.taxable + totals.tax;
    return totals;
}

std::string RateText(const std::optional<TaxRate>& rate) {
    if (!rate) {
        return "n.d.";
    }
    if (!rate->percent) {
        return rate->category.empty() ? "n.d." : rate->category;
    }
    std::string text = FormatQuantity(*rate->percent) + "%";
    if (!rate->category.empty() && rate->category != "S") {
        text += " (" + rate->category + ")";
    }
    return text;
}

} // namespace kvad::platform
