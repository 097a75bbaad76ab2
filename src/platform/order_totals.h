#pragma once
// The sums a printed order shows: the taxable amount and VAT of each rate, and the order total,
// computed exactly from the lines and the header allowances and charges.

#include <optional>
#include <string>
#include <vector>

#include "order_document.h"

namespace kvad::platform {

/// The taxable amount and the VAT of one rate (or of amounts whose rate the order omits).
struct RateTotal {
    std::optional<TaxRate> rate;
    Decimal taxable;
    Decimal tax; ///< taxable × rate, rounded half up to the cent
};

struct OrderTotals {
    Decimal lines;                ///< sum of the line amounts
    Decimal allowances;           ///< header allowances (positive)
    Decimal charges;              ///< header charges
    Decimal taxable;              ///< lines - allowances + charges
    Decimal tax;                  ///< sum of the VAT of each rate
    Decimal total;                ///< taxable + tax
    std::vector<RateTotal> rates; ///< in the order the rates first appear
};

/// The rate an order-level allowance or charge is taxed at: its own, else the one rate of all
/// the lines when they share one (an order of one rate need not repeat it), else none.
[[nodiscard]] std::optional<TaxRate> RateOf(const OrderDocument& order,
                                            const AllowanceCharge& allowance);

/// Sums the order: every line amount and header allowance or charge goes to its rate.
[[nodiscard]] OrderTotals ComputeTotals(const OrderDocument& order);

/// A rate as the VAT column shows it: "22%", "0% (E)", "E", or "n.d." when not given.
[[nodiscard]] std::string RateText(const std::optional<TaxRate>& rate);

} // namespace kvad::platform
