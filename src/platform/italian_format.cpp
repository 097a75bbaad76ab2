#include "italian_format.h"

#include <algorithm>

#include "kvad_nso/date_time.h"
#include "xml/xml_document.h"

namespace kvad::platform {
namespace {

/// 10^-places as a Decimal.
Decimal Unit(int places) {
    Decimal unit(1);
    const Decimal ten(10);
    for (int i = 0; i < places; ++i) {
        unit = unit / ten;
    }
    return unit;
}

std::string TwoDigits(int value) {
    return std::string(1, static_cast<char>('0' + value / 10)) +
           static_cast<char>('0' + value % 10);
}

} // namespace

Decimal RoundHalfUp(const Decimal& value, int places) {
    const Decimal rounded = value.Round(places);
    // Round goes half to even: where it went toward zero from an exact half, go one unit on.
    const Decimal rest = value - rounded;
    const Decimal half = Unit(places) / Decimal(2);
    if (value.Sign() > 0 && rest == half) {
        return rounded + Unit(places);
    }
    if (value.Sign() < 0 && rest == half.Negated()) {
        return rounded - Unit(places);
    }
    return rounded;
}

std::string FormatNumber(const Decimal& value, int minDecimals, int maxDecimals) {
    const std::string text = RoundHalfUp(value, maxDecimals).ToString();
    const bool negative = !text.empty() && text.front() == '-';
    const std::string digits = negative ? text.substr(1) : text;
    const std::size_t point = digits.find('.');
    const std::string whole = digits.substr(0, point);
    std::string fraction = point == std::string::npos ? std::string() : digits.substr(point + 1);
    if (fraction.size() < static_cast<std::size_t>(minDecimals)) {
        fraction.append(static_cast<std::size_t>(minDecimals) - fraction.size(), '0');
    }

    std::string grouped;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) {
            grouped += '.';
        }
        grouped += whole[i];
    }
    const bool zero =
        std::all_of(digits.begin(), digits.end(), [](char c) { return c == '0' || c == '.'; });
    return (negative && !zero ? "-" : "") + grouped + (fraction.empty() ? "" : "," + fraction);
}

std::string FormatAmount(const Decimal& value) {
    return FormatNumber(value, 2, 2);
}

std::string FormatPrice(const Decimal& value) {
    return FormatNumber(value, 2, 8);
}

std::string FormatQuantity(const Decimal& value) {
    return FormatNumber(value, 0, 8);
}

std::string FormatDate(std::string_view text) {
    std::string trimmed = xml::TrimXmlSpace(text);
    const auto date = DateTime::ParseIso(trimmed);
    if (!date || !date->IsValid() || trimmed.size() < 10 || trimmed[4] != '-') {
        return trimmed;
    }
    return TwoDigits(date->day) + "/" + TwoDigits(date->month) + "/" + std::to_string(date->year);
}

} // namespace kvad::platform
