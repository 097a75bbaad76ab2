// Fuzzes the identifier checks (VAT number, fiscal code, IPA code, GTIN, GLN) with any text and
// with every check digit or letter put after it. Whatever the text, no check faults; a text the
// check accepts has the form of its kind; of the ten digits (26 letters for a fiscal code) that
// can close a number, exactly one is accepted or, when the body is not of the form, none; and a
// single changed digit of an accepted VAT number or GS1 number is refused.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kvad_nso/identifiers.h"

namespace {

namespace id = kvad::identifiers;

[[noreturn]] void Fail() {
    std::abort();
}

bool AllDigits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool AllUpperAlphanumeric(std::string_view text) {
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))) {
            return false;
        }
    }
    return true;
}

bool AllAlphanumeric(std::string_view text) {
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
            return false;
        }
    }
    return true;
}

// How many of the closing characters `from`..`to` make the body an accepted identifier.
template <class Check> int Closings(const std::string& body, char from, char to, Check check) {
    int accepted = 0;
    for (char c = from; c <= to; ++c) {
        accepted += check(body + c) ? 1 : 0;
    }
    return accepted;
}

// An accepted number with one digit changed is refused (both checks catch every single-digit
// error).
template <class Check>
void SingleDigitErrors(const std::string& number, std::size_t from, Check check) {
    for (std::size_t i = from; i < number.size(); ++i) {
        std::string changed = number;
        changed[i] = static_cast<char>('0' + (changed[i] - '0' + 1) % 10);
        if (check(changed)) {
            Fail();
        }
    }
}

void Forms(std::string_view text) {
    const std::string_view vat = text.starts_with("IT") ? text.substr(2) : text;
    if (id::IsVatNumber(text) && (vat.size() != 11 || !AllDigits(vat))) {
        Fail();
    }
    if (id::IsFiscalCode(text) &&
        !(text.size() == 11 ? AllDigits(text) : text.size() == 16 && AllUpperAlphanumeric(text))) {
        Fail();
    }
    if (id::IsIpaCode(text) != (text.size() == 6 && AllAlphanumeric(text))) {
        Fail();
    }
    const std::size_t n = text.size();
    if (id::IsGtin(text) && (!AllDigits(text) || (n != 8 && n != 12 && n != 13 && n != 14))) {
        Fail();
    }
    if (id::IsGln(text) && (n != 13 || !AllDigits(text))) {
        Fail();
    }
}

void Closings(const std::string& body) {
    const auto vat = [](const std::string& t) { return id::IsVatNumber(t); };
    const auto gtin = [](const std::string& t) { return id::IsGtin(t); };
    const auto fiscal = [](const std::string& t) { return id::IsFiscalCode(t); };
    if (body.size() == 10 || (body.size() == 12 && body.starts_with("IT"))) {
        const std::string_view digits = std::string_view(body).substr(body.size() - 10);
        const int accepted = Closings(body, '0', '9', vat);
        if (accepted != (AllDigits(digits) ? 1 : 0)) {
            Fail();
        }
    }
    if (body.size() == 7 || body.size() == 11 || body.size() == 12 || body.size() == 13) {
        if (Closings(body, '0', '9', gtin) != (AllDigits(body) ? 1 : 0)) {
            Fail();
        }
    }
    if (body.size() == 15 && Closings(body, 'A', 'Z', fiscal) > 1) {
        Fail();
    }
    for (char c = '0'; c <= '9'; ++c) {
        const std::string number = body + c;
        if (id::IsVatNumber(number)) {
            SingleDigitErrors(number, number.starts_with("IT") ? 2 : 0, vat);
        }
        if (id::IsGtin(number)) {
            SingleDigitErrors(number, 0, gtin);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Forms(text);
    Closings(text);
    return 0;
}
