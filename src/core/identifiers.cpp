#include "kvad_nso/identifiers.h"

#include <array>

namespace kvad::identifiers {
namespace {

constexpr std::size_t kVatNumberLength = 11;
constexpr std::size_t kFiscalCodeLength = 16;
constexpr std::size_t kIpaCodeLength = 6;
constexpr std::size_t kGlnLength = 13;

bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) noexcept {
    return c >= 'A' && c <= 'Z';
}
bool IsAlphanumeric(char c) noexcept {
    return IsDigit(c) || IsLetter(c) || (c >= 'a' && c <= 'z');
}
// A digit of the date or place part, or the letter that replaces it in a homonym's code.
bool IsDigitOrReplacement(char c) noexcept {
    return IsDigit(c) || std::string_view("LMNPQRSTUV").find(c) != std::string_view::npos;
}

// Values of the characters in odd places (first, third, ...) for the check letter, A..Z; a
// digit counts as the letter in its place (0 as A, 1 as B, ...).
constexpr std::array<int, 26> kOddValues = {1,  0,  5, 7, 9, 13, 15, 17, 19, 21, 2,  4,  18,
                                            20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23};

int Index(char c) noexcept {
    return IsDigit(c) ? c - '0' : c - 'A';
}

bool AllDigits(std::string_view text) noexcept {
    for (const char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return !text.empty();
}

// The GS1 check: from the right, the digits before the check digit weigh 3, 1, 3, ...
bool HasGs1CheckDigit(std::string_view digits) noexcept {
    if (!AllDigits(digits)) {
        return false;
    }
    int sum = 0;
    int weight = 3;
    for (std::size_t i = digits.size() - 1; i > 0; --i) {
        sum += (digits[i - 1] - '0') * weight;
        weight = 4 - weight;
    }
    return (10 - sum % 10) % 10 == digits.back() - '0';
}

} // namespace

bool IsVatNumber(std::string_view text) noexcept {
    if (text.starts_with("IT")) {
        text.remove_prefix(2);
    }
    if (text.size() != kVatNumberLength || !AllDigits(text)) {
        return false;
    }
    int sum = 0;
    for (std::size_t i = 0; i + 1 < kVatNumberLength; ++i) {
        int digit = text[i] - '0';
        if (i % 2 == 1) {
            digit *= 2;
            digit = digit > 9 ? digit - 9 : digit;
        }
        sum += digit;
    }
    return (10 - sum % 10) % 10 == text[kVatNumberLength - 1] - '0';
}

bool IsFiscalCode(std::string_view text) noexcept {
    if (text.size() == kVatNumberLength) {
        return IsVatNumber(text);
    }
    if (text.size() != kFiscalCodeLength) {
        return false;
    }
    // Surname and name, year, month, day, place, check letter.
    constexpr std::string_view kLayout = "LLLLLLDDMDDLDDDL";
    constexpr std::string_view kMonths = "ABCDEHLMPRST";
    for (std::size_t i = 0; i < kFiscalCodeLength; ++i) {
        const char c = text[i];
        const bool ok = kLayout[i] == 'L'   ? IsLetter(c)
                        : kLayout[i] == 'M' ? kMonths.find(c) != std::string_view::npos
                                            : IsDigitOrReplacement(c);
        if (!ok) {
            return false;
        }
    }
    int sum = 0;
    for (std::size_t i = 0; i + 1 < kFiscalCodeLength; ++i) {
        sum +=
            i % 2 == 0 ? kOddValues.at(static_cast<std::size_t>(Index(text[i]))) : Index(text[i]);
    }
    return text[kFiscalCodeLength - 1] == static_cast<char>('A' + sum % 26);
}

bool IsIpaCode(std::string_view text) noexcept {
    if (text.size() != kIpaCodeLength) {
        return false;
    }
    for (const char c : text) {
        if (!IsAlphanumeric(c)) {
            return false;
        }
    }
    return true;
}

bool IsGtin(std::string_view text) noexcept {
    const std::size_t length = text.size();
    return (length == 8 || length == 12 || length == 13 || length == 14) && HasGs1CheckDigit(text);
}

bool IsGln(std::string_view text) noexcept {
    return text.size() == kGlnLength && HasGs1CheckDigit(text);
}

} // namespace kvad::identifiers
