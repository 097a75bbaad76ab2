#include "master_cells.h"

#include <algorithm>
#include <stdexcept>

#include "kvad_nso/decimal.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/identifiers.h"
#include "kvad_nso/text.h"
#include "text_encoding.h"

namespace kvad::host {
namespace {

/// The longest cell a message quotes whole, in characters.
constexpr std::size_t kQuotedCharacters = 40;
/// The digits a Decimal holds.
constexpr std::size_t kDecimalDigits = 28;

bool IsDecimalDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

[[noreturn]] void Refuse(const std::string& cell, const std::string& what) {
    throw std::invalid_argument(QuotedCell(cell) + " " + what);
}

Variant ReadEmpty(const Field& field) {
    if (field.form == Form::Option) {
        return std::string();
    }
    if (Mandatory(field)) {
        throw std::invalid_argument(field.key ? "the key is missing" : "the value is missing");
    }
    return field.form == Form::Flag ? Variant(std::int16_t{1}) : Variant::Null();
}

Variant ReadCode(const std::string& cell) {
    const bool digits = cell.size() <= 9 && std::all_of(cell.begin(), cell.end(), IsDecimalDigit);
    if (!digits || std::stol(cell) == 0) {
        Refuse(cell, "is not a code (a whole number above 0, at most 9 digits)");
    }
    return static_cast<std::int32_t>(std::stol(cell));
}

Variant ReadText(const Field& field, const std::string& cell) {
    if (field.length > 0 && Utf8Length(cell) > field.length) {
        Refuse(cell, "is longer than " + std::to_string(field.length) + " characters");
    }
    return cell;
}

Variant ReadDate(const std::string& cell) {
    const auto date = DateTime::Parse(cell);
    if (!date || !date->IsValid()) {
        Refuse(cell, "is not a date (dd/mm/yyyy)");
    }
    return *date;
}

/// Digits with one '.' or ',' among them at most, and a sign before them: no exponent, no
/// grouping.
bool IsPlainNumber(std::string_view text) {
    if (text.starts_with('-') || text.starts_with('+')) {
        text.remove_prefix(1);
    }
    const auto separators =
        std::count_if(text.begin(), text.end(), [](char c) { return c == '.' || c == ','; });
    const auto digits = std::count_if(text.begin(), text.end(), IsDecimalDigit);
    return digits > 0 && separators <= 1 &&
           static_cast<std::size_t>(digits + separators) == text.size();
}

Variant ReadNumber(const std::string& cell) {
    if (!IsPlainNumber(cell)) {
        Refuse(cell, "is not a number (digits, with . or , before the decimals)");
    }
    std::string text = cell;
    std::replace(text.begin(), text.end(), ',', '.');
    const auto digits =
        static_cast<std::size_t>(std::count_if(text.begin(), text.end(), IsDecimalDigit));
    std::optional<Decimal> number;
    try {
        number = Decimal::Parse(text);
    } catch (const Error&) {
        // Beyond what a Decimal holds: told below with the number of digits allowed.
    }
    if (!number || digits > kDecimalDigits) {
        Refuse(cell,
               "has more digits than a number can hold (" + std::to_string(kDecimalDigits) + ")");
    }
    return *number;
}

Variant ReadFlag(const std::string& cell) {
    if (cell != "0" && cell != "1") {
        Refuse(cell, "is not 0 or 1");
    }
    return static_cast<std::int16_t>(cell == "1" ? 1 : 0);
}

Variant ReadVat(const std::string& cell) {
    std::string digits = AsciiUpper(cell);
    if (digits.starts_with("IT")) {
        digits.erase(0, 2);
    }
    if (!identifiers::IsVatNumber(digits)) {
        Refuse(cell, "is not a VAT number (11 digits with a valid check digit)");
    }
    return digits;
}

Variant ReadFiscalCode(const std::string& cell) {
    const std::string code = AsciiUpper(cell);
    if (!identifiers::IsFiscalCode(code)) {
        Refuse(cell, "is not a fiscal code (16 characters with a valid check letter, or 11 "
                     "digits)");
    }
    return code;
}

Variant ReadCurrency(const std::string& cell) {
    const std::string code = AsciiUpper(cell);
    if (code.size() != 3 ||
        !std::all_of(code.begin(), code.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
        Refuse(cell, "is not an ISO currency code (3 letters)");
    }
    return code;
}

} // namespace

bool Mandatory(const Field& field) noexcept {
    return field.required || (field.key && field.form != Form::Option);
}

Variant ReadCell(const Field& field, const std::string& cell) {
    if (cell.empty()) {
        return ReadEmpty(field);
    }
    switch (field.form) {
    case Form::Code:
        return ReadCode(cell);
    case Form::Text:
    case Form::Option:
        return ReadText(field, cell);
    case Form::Date:
        return ReadDate(cell);
    case Form::Number:
        return ReadNumber(cell);
    case Form::Flag:
        return ReadFlag(cell);
    case Form::Vat:
        return ReadVat(cell);
    case Form::FiscalCode:
        return ReadFiscalCode(cell);
    case Form::Currency:
        return ReadCurrency(cell);
    }
    return cell;
}

std::string QuotedCell(const std::string& cell) {
    std::string shown;
    for (const char c : Utf8Left(cell, kQuotedCharacters)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte < 0x20 || byte == 0x7F ? ByteName(byte) : std::string(1, c);
    }
    if (Utf8Length(cell) > kQuotedCharacters) {
        shown += "...";
    }
    return "'" + shown + "'";
}

} // namespace kvad::host
