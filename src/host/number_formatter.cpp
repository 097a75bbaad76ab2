#include "host/number_formatter.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

#include "kvad_nso/errors.h"

namespace kvad::host {
namespace {

std::string DoubleText(double value) {
    if (!std::isfinite(value)) {
        ThrowTypeMismatch();
    }
    if (value == 0.0) {
        return "0"; // also for -0.0, which SQL has no use for
    }
    // Fixed notation with the fewest digits that read back as the same double; 1e308 needs
    // 309 digits, so the buffer is sized for the widest case.
    std::array<char, 400> buffer{};
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                std::chars_format::fixed);
    if (result.ec != std::errc()) {
        ThrowTypeMismatch();
    }
    return {buffer.data(), result.ptr};
}

bool AllDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

/// "1.234.567" -> "1234567": one to three digits, then groups of three after each '.'.
std::optional<std::string> UngroupedInteger(std::string_view text) {
    std::string digits;
    std::size_t start = 0;
    bool first = true;
    while (true) {
        std::size_t dot = text.find('.', start);
        std::string_view group = text.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        bool sized = first ? (group.size() >= 1 && group.size() <= 3) : group.size() == 3;
        if (!sized || !AllDigits(group)) {
            return std::nullopt;
        }
        digits += group;
        if (dot == std::string_view::npos) {
            return digits;
        }
        start = dot + 1;
        first = false;
    }
}

/// Italian form: optional sign, integer part with or without '.' grouping, optional ','
/// and decimals. Returns the invariant text.
std::optional<std::string> FromItalian(std::string_view text) {
    std::string sign;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        sign = std::string(1, text.front());
        text.remove_prefix(1);
    }
    std::size_t comma = text.find(',');
    std::string_view integer = text.substr(0, comma);
    std::string out = sign;
    if (integer.find('.') != std::string_view::npos) {
        auto ungrouped = UngroupedInteger(integer);
        if (!ungrouped) {
            return std::nullopt;
        }
        out += *ungrouped;
    } else if (integer.empty() || AllDigits(integer)) {
        out += integer.empty() ? "0" : std::string(integer);
    } else {
        return std::nullopt;
    }
    if (comma != std::string_view::npos) {
        std::string_view decimals = text.substr(comma + 1);
        if (!AllDigits(decimals) || (integer.empty() && decimals.empty())) {
            return std::nullopt;
        }
        out += '.';
        out += decimals;
    } else if (integer.empty()) {
        return std::nullopt;
    }
    return out;
}

std::string TextNumber(const std::string& raw) {
    std::string text = Trim(raw);
    if (text.empty()) {
        ThrowTypeMismatch();
    }
    if (auto exact = Decimal::Parse(text)) {
        return exact->ToString();
    }
    if (auto italian = FromItalian(text)) {
        if (auto exact = Decimal::Parse(*italian)) {
            return exact->ToString();
        }
        text = *italian;
    }
    // Beyond the decimal range (1e40, 1e-40): read as a double when the whole text is one.
    double value = 0.0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (*first == '+') {
        ++first;
    }
    auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last || !std::isfinite(value)) {
        ThrowTypeMismatch();
    }
    return DoubleText(value);
}

} // namespace

std::string SqlNumberText(const Variant& value) {
    switch (value.Type()) {
    case VarType::Boolean:
        return value.IsExactlyTrue() ? "-1" : "0";
    case VarType::Integer:
    case VarType::Long:
        return std::to_string(value.ToLong());
    case VarType::Decimal:
        return value.ToDecimal().ToString();
    case VarType::Double:
        return DoubleText(value.ToDouble());
    case VarType::String:
        return TextNumber(*value.AsString());
    case VarType::Empty:
    case VarType::Null:
    case VarType::Date:
    case VarType::Bytes:
        break;
    }
    ThrowTypeMismatch();
}

} // namespace kvad::host
