#pragma once
/// Check digits and forms of the identifiers an order carries: Italian VAT numbers and fiscal
/// codes, public-administration (IPA) office codes, GS1 item and location numbers. Each function
/// tells whether the text as given is a well-formed identifier of its kind; none trims or folds
/// case.

#include <string_view>

namespace kvad::identifiers {

/// An Italian VAT number: 11 digits whose last is the check digit of the first ten, with an
/// optional "IT" in front.
[[nodiscard]] bool IsVatNumber(std::string_view text) noexcept;

/// An Italian fiscal code: a person's 16 characters (surname, name, year, month letter, day,
/// place, check letter; a digit of the date or place may be replaced by its letter, as a
/// homonym's code has it), or a body's 11 digits checked as a VAT number. Upper-case letters
/// only.
[[nodiscard]] bool IsFiscalCode(std::string_view text) noexcept;

/// A public-administration office code of the IPA index: 6 letters or digits.
[[nodiscard]] bool IsIpaCode(std::string_view text) noexcept;

/// A GS1 trade item number (GTIN-8, -12, -13 or -14): digits only, the last the check digit.
[[nodiscard]] bool IsGtin(std::string_view text) noexcept;

/// A GS1 global location number (GLN): 13 digits, the last the check digit.
[[nodiscard]] bool IsGln(std::string_view text) noexcept;

} // namespace kvad::identifiers
