#pragma once
// The framework's number formatter (ZEFO_ClsStd.CLSFW_NumberFormat).

#include <string>

#include "kvad_nso/host.h"

namespace kvad::host {

/// The SQL number text of a value: '.' as separator, no grouping, integers without decimals,
/// decimals exactly, doubles by their shortest round-trip digits (in float form, "1e+300", when
/// they would need more than 38 digits). Numeric text is read as a decimal in the invariant
/// form first, then in the Italian one ("1.234,5"). Anything else throws VbError 13; text
/// beyond the decimal range throws VbError 6.
[[nodiscard]] std::string SqlNumberText(const Variant& value);

class StandInNumberFormatter final : public NumberFormatter {
  public:
    [[nodiscard]] std::string Format(const Variant& value) override { return SqlNumberText(value); }
};

} // namespace kvad::host
