#pragma once
// Numbers and dates as an Italian reader writes them: "1.234,56" and "dd/mm/yyyy".

#include <string>
#include <string_view>

#include "kvad_nso/decimal.h"

namespace kvad::platform {

/// Rounds to `places` decimals, a half going away from zero (the commercial rounding of
/// invoices and orders).
[[nodiscard]] Decimal RoundHalfUp(const Decimal& value, int places);

/// The value rounded half up to at most `maxDecimals` decimals, written with "." between
/// thousands and "," before the decimals, showing at least `minDecimals` decimals: with 2 and 2,
/// 1234.5 gives "1.234,50"; with 0 and 5, 12.000 gives "12".
[[nodiscard]] std::string FormatNumber(const Decimal& value, int minDecimals, int maxDecimals);

/// A money amount: always two decimals.
[[nodiscard]] std::string FormatAmount(const Decimal& value);

/// A unit price: at least two decimals, more when the document gives them (up to eight).
[[nodiscard]] std::string FormatPrice(const Decimal& value);

/// A quantity or a percentage: the decimals it has, none when it is whole.
[[nodiscard]] std::string FormatQuantity(const Decimal& value);

/// An xs:date ("yyyy-mm-dd", a time zone suffix allowed) as "dd/mm/yyyy"; text that is not a
/// date comes back trimmed but otherwise as written, so nothing the document says is hidden.
[[nodiscard]] std::string FormatDate(std::string_view text);

} // namespace kvad::platform
