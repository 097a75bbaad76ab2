#pragma once
// How decoding reads a staged or decoded value: text through ValoreODefault, numbers through
// ValoreDecimale, each with the default the decoded column takes.

#include <string>

#include "frame/formato_db.h"
#include "kvad_nso/decimal.h"
#include "kvad_nso/variant.h"

namespace kvad::nso {

/// The value as text; "" when it is null, empty or blank.
[[nodiscard]] inline std::string TextOrEmpty(const Variant& value) {
    return ValoreODefault(value, std::string()).Text();
}

/// The value as ValoreDecimale reads it: null and empty are 0, and so is a value that is no
/// number.
[[nodiscard]] inline Decimal DecimalOrZero(const Variant& value) {
    const Variant decimal = ValoreDecimale(value);
    return decimal.IsNumber() ? decimal.ToDecimal() : Decimal();
}

} // namespace kvad::nso
