// Fuzzes the reading of numbers and dates from text: Decimal and DateTime parsing and the
// Variant conversions of a text value. A value that is read must write back to the same value,
// and the conversions must agree on what is a number: ToDouble, ToBool and ToDecimal refuse the
// same texts with "Type mismatch".

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "kvad_nso/date_time.h"
#include "kvad_nso/decimal.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"
#include "kvad_nso/variant.h"

namespace {

[[noreturn]] void Fail() {
    std::abort();
}

/// Runs a conversion: the error number it raised (0: none). Only Overflow and Type mismatch
/// are expected of a text.
template <class Conversion> std::int32_t ErrorOf(Conversion&& conversion) {
    try {
        conversion();
        return 0;
    } catch (const kvad::VbError& error) {
        if (error.Number() != kvad::vberr::kOverflow &&
            error.Number() != kvad::vberr::kTypeMismatch) {
            Fail();
        }
        return error.Number();
    }
}

void CheckDecimal(const std::string& text) {
    std::optional<kvad::Decimal> value;
    if (ErrorOf([&] { value = kvad::Decimal::Parse(text); }) != 0 || !value) {
        return;
    }
    if (kvad::Decimal::Parse(value->ToString()) != value) {
        Fail();
    }
    // A plain number is read on a short path; with an exponent of zero it takes the general
    // one, which must give the same mantissa and scale.
    if (!text.empty() && ((text.back() >= '0' && text.back() <= '9') || text.back() == '.') &&
        text.find_first_of("eE") == std::string::npos) {
        std::optional<kvad::Decimal> general;
        if (ErrorOf([&] { general = kvad::Decimal::Parse(text + "e0"); }) != 0 || !general ||
            *general != *value || general->Scale() != value->Scale()) {
            Fail();
        }
    }
    // Arithmetic and rounding on what was read: exact or rounded, never a fault.
    (void)ErrorOf([&] { (void)(*value + *value); });
    (void)ErrorOf([&] { (void)(*value * *value); });
    if (!value->IsZero()) {
        (void)ErrorOf([&] { (void)(kvad::Decimal(1) / *value); });
    }
    const int places = static_cast<int>(text.size() % (kvad::Decimal::kMaxScale + 1));
    (void)ErrorOf([&] { (void)value->Round(places); });
}

void CheckDate(const std::string& text) {
    const std::optional<kvad::DateTime> date = kvad::DateTime::Parse(text);
    if (!date) {
        return;
    }
    if (!date->IsValid() || kvad::DateTime::ParseIso(date->ToIso()) != date ||
        kvad::DateTime::ParseItalian(date->ToText()) != date) {
        Fail();
    }
}

void CheckConversions(const std::string& text) {
    const kvad::Variant value(text);
    const std::int32_t asDecimal = ErrorOf([&] { (void)value.ToDecimal(); });
    const std::int32_t asDouble = ErrorOf([&] { (void)value.ToDouble(); });
    const std::int32_t asBool = ErrorOf([&] { (void)value.ToBool(); });
    (void)ErrorOf([&] { (void)value.ToLong(); });
    (void)ErrorOf([&] { (void)value.ToInteger(); });
    const std::int32_t asDate = ErrorOf([&] { (void)value.ToDate(); });

    const bool notDecimal = asDecimal == kvad::vberr::kTypeMismatch;
    if (notDecimal != (asDouble == kvad::vberr::kTypeMismatch)) {
        Fail();
    }
    const std::string word = kvad::Trim(text);
    const bool isWord = kvad::EqualsNoCase(word, "True") || kvad::EqualsNoCase(word, "False");
    if (!isWord && notDecimal != (asBool == kvad::vberr::kTypeMismatch)) {
        Fail();
    }
    if ((asDate == 0) != kvad::DateTime::Parse(text).has_value()) {
        Fail();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckDecimal(text);
    CheckDate(text);
    CheckConversions(text);
    return 0;
}
