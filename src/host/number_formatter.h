#pragma once
// The framework's number formatter (ZEFO_ClsStd.CLSFW_NumberFormat).

#include <string>

#include "kvad_nso/host.h"

namespace kvad::host {

/// The SQL number text of a value: '.' as separator, no grouping, integers without decimals,
/// decimals exactly, doubles by their shortest round-trip digits. Numeric text is read in the
/// invariant form first, then in the Italian one ("1.234,5"). Anything else throws VbError 13.
[[nodiscard]] std::string SqlNumberText(const Variant& value);

class StandInNumberFormatter final : public NumberFormatter {
  public:
    [[nodiscard]] std::string Format(const Variant& value) override { return SqlNumberText(value); }
};

} // namespace kvad::host
