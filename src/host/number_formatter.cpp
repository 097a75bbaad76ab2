#include "number_formatter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

#include "kvad_nso/errors.h"

namespace kvad::host {
namespace {

/// SQL Server reads at most 38 digits as an exact numeric literal.
constexpr std::size_t kMaxLiteralDigits = 38;

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
    auto fixed = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                               std::chars_format::fixed);
    if (fixed.ec != std::errc()) {
        ThrowTypeMismatch();
    }
    std::string text(buffer.data(), fixed.ptr);
    auto digits = static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }));
    if (digits <= kMaxLiteralDigits) {
        return text;
    }
    // Too long for an exact literal (1e300, 5e-324): the float form, read back exactly.
    auto scientific = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::scientific);
    return {buffer.data(), scientific.ptr};
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
    }
    ThrowTypeMismatch();
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
