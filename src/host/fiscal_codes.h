#pragma once
// Forms of Italian tax identifiers, checked before master data is stored.

#include <string_view>

namespace kvad::host {

/// True for an Italian VAT number: 11 digits whose last is the check digit of the first ten.
[[nodiscard]] bool IsVatNumber(std::string_view text) noexcept;

/// True for an Italian fiscal code: a person's 16 characters (letters and digits in their
/// places, digits possibly replaced by letters, and the check letter), or a body's 11 digits
/// (the VAT number form). Upper-case letters only.
[[nodiscard]] bool IsFiscalCode(std::string_view text) noexcept;

} // namespace kvad::host
