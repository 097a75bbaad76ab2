#include "kvad_nso/variant.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <system_error>

#include "kvad_nso/errors.h"

namespace kvad {
namespace {

// The runtime's date serial counts days from 1899-12-30.
constexpr std::int64_t kSerialEpochOffset = -25569; // 1899-12-30 in days since 1970-01-01
constexpr double kSecondsPerDay = 86400.0;
// Serials of 0100-01-01 and 9999-12-31, the runtime's Date range.
constexpr double kMinSerial = -657434.0;
constexpr double kMaxSerial = 2958466.0;

std::string DoubleText(double value) {
    if (value == 0.0) {
        return "0"; // also for -0
    }
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return {buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data())};
}

bool IsBlankChar(char c) noexcept {
    return c == ' ' || c == '\t';
}

/// Number text as the conversions read it: blanks around it dropped and, when the text has a
/// comma and no point, the comma read as the decimal separator (the Italian form).
std::string NumberText(std::string_view text) {
    while (!text.empty() && IsBlankChar(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlankChar(text.back())) {
        text.remove_suffix(1);
    }
    std::string result(text);
    if (result.find('.') == std::string::npos) {
        const auto comma = result.find(',');
        if (comma != std::string::npos) {
            result[comma] = '.';
        }
    }
    return result;
}

Decimal DecimalFromText(std::string_view text) {
    const std::optional<Decimal> value = Decimal::Parse(NumberText(text));
    if (!value) {
        ThrowTypeMismatch();
    }
    return *value;
}

/// The power of ten of a well-formed number's leading digit, roughly: positive when the number
/// is at least 1. Tells an overflow from an underflow.
long DecimalExponent(const std::string& number) {
    const auto mark = number.find_first_of("eE");
    long exponent = 0;
    if (mark != std::string::npos) {
        const char* first = number.data() + mark + 1;
        first += *first == '+' ? 1 : 0;
        std::from_chars(first, number.data() + number.size(), exponent);
        if (exponent == 0 && number.find_first_not_of("0+-", mark + 1) != std::string::npos) {
            // an exponent too long for a long: its sign decides
            exponent = number[mark + 1] == '-' ? -1000000 : 1000000;
        }
    }
    const std::string mantissa = number.substr(0, mark);
    const auto point = std::min(mantissa.find('.'), mantissa.size());
    const auto first_digit = mantissa.find_first_of("123456789");
    if (first_digit == std::string::npos) {
        return std::numeric_limits<long>::min();
    }
    const long position = first_digit < point ? static_cast<long>(point - first_digit)
                                              : -static_cast<long>(first_digit - point - 1);
    return position + std::clamp(exponent, -1000000L, 1000000L);
}

double DoubleFromText(std::string_view text) {
    std::string number = NumberText(text);
    // from_chars would also read "inf" and "nan", which are not numbers here.
    if (number.empty() || number.find_first_not_of("0123456789.eE+-") != std::string::npos) {
        ThrowTypeMismatch();
    }
    // from_chars reads no '+' of its own: one leading '+' is dropped here, and a second sign
    // after it ("+-5", "++5") is not a number.
    const std::size_t start = number[0] == '+' ? 1 : 0;
    if (start == 1 && (number[1] == '+' || number[1] == '-')) {
        ThrowTypeMismatch();
    }
    double value = 0.0;
    const auto result =
        std::from_chars(number.data() + start, number.data() + number.size(), value);
    if (result.ptr != number.data() + number.size() || result.ec == std::errc::invalid_argument) {
        ThrowTypeMismatch();
    }
    if (result.ec == std::errc::result_out_of_range) {
        if (DecimalExponent(number) > 0) {
            ThrowOverflow();
        }
        return 0.0; // too small to tell from zero
    }
    return value;
}

double DateToSerial(const DateTime& date) {
    const auto days = static_cast<double>(date.DaysSinceEpoch() - kSerialEpochOffset);
    const double time = (date.hour * 3600.0 + date.minute * 60.0 + date.second) / kSecondsPerDay;
    // Before the epoch the fraction still counts forward from that day's midnight.
    return days < 0 ? days - time : days + time;
}

DateTime SerialToDate(double serial) {
    if (!(serial > kMinSerial - 1.0 && serial < kMaxSerial)) {
        ThrowOverflow();
    }
    const double whole = std::trunc(serial);
    auto seconds = static_cast<std::int64_t>(std::round(std::abs(serial - whole) * kSecondsPerDay));
    DateTime date =
        DateTime::FromDaysSinceEpoch(static_cast<std::int64_t>(whole) + kSerialEpochOffset);
    if (seconds >= 86400) {
        date = date.AddDays(1);
        seconds = 0;
    }
    date.hour = static_cast<int>(seconds / 3600);
    date.minute = static_cast<int>(seconds / 60 % 60);
    date.second = static_cast<int>(seconds % 60);
    if (!date.IsValid()) {
        ThrowOverflow();
    }
    return date;
}

/// Rounds half to even, as the runtime's integer conversions do.
double RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(floor, 2.0) != 0.0)) {
        return floor + 1.0;
    }
    return floor;
}

template <typename Int> Int IntegerFrom(const Variant& value) {
    std::int64_t rounded = 0;
    if (value.Type() == VarType::Double || value.Type() == VarType::Date) {
        const double real = RoundHalfEven(value.ToDouble());
        if (!(real >= static_cast<double>(std::numeric_limits<Int>::min()) &&
              real <= static_cast<double>(std::numeric_limits<Int>::max()))) {
            ThrowOverflow();
        }
        rounded = static_cast<std::int64_t>(real);
    } else {
        rounded = value.ToDecimal().ToInt64Rounded();
    }
    if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max()) {
        ThrowOverflow();
    }
    return static_cast<Int>(rounded);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

bool Variant::IsNumber() const noexcept {
    switch (Type()) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
    case VarType::Double:
        return true;
    case VarType::Empty:
    case VarType::Null:
    case VarType::Boolean:
    case VarType::String:
    case VarType::Date:
    case VarType::Bytes:
        return false;
    }
    return false;
}

std::string Variant::Text() const {
    switch (Type()) {
    case VarType::Empty:
    case VarType::Null:
        return {};
    case VarType::Boolean:
        return std::get<bool>(value_) ? "True" : "False";
    case VarType::Integer:
        return std::to_string(std::get<std::int16_t>(value_));
    case VarType::Long:
        return std::to_string(std::get<std::int32_t>(value_));
    case VarType::Decimal:
        return std::get<Decimal>(value_).ToString();
    case VarType::Double:
        return DoubleText(std::get<double>(value_));
    case VarType::String:
        return std::get<std::string>(value_);
    case VarType::Date:
        return std::get<DateTime>(value_).ToText();
    case VarType::Bytes: {
        const Bytes& bytes = std::get<Bytes>(value_);
        return {bytes.begin(), bytes.end()};
    }
    }
    return {};
}

bool Variant::IsBlank() const {
    // A text is read where it is: a document's whole XML is asked this.
    if (const std::string* text = AsString()) {
        return IsBlankText(*text);
    }
    return RightTrim(Text()).empty();
}

bool Variant::IsExactlyTrue() const noexcept {
    if (const auto* value = std::get_if<bool>(&value_)) {
        return *value;
    }
    if (const auto* value = std::get_if<std::int16_t>(&value_)) {
        return *value == -1;
    }
    if (const auto* value = std::get_if<std::int32_t>(&value_)) {
        return *value == -1;
    }
    if (const auto* value = std::get_if<Decimal>(&value_)) {
        return *value == Decimal(-1);
    }
    if (const auto* value = std::get_if<double>(&value_)) {
        return *value == -1.0;
    }
    return false;
}

// Empty counts as 0 and Boolean as -1/0 in every numeric conversion, like the runtime.
Decimal Variant::ToDecimal() const {
    switch (Type()) {
    case VarType::Empty:
        return Decimal{};
    case VarType::Null:
        ThrowInvalidUseOfNull();
    case VarType::Boolean:
        return Decimal(std::get<bool>(value_) ? -1 : 0);
    case VarType::Integer:
        return Decimal(std::int64_t{std::get<std::int16_t>(value_)});
    case VarType::Long:
        return Decimal(std::int64_t{std::get<std::int32_t>(value_)});
    case VarType::Decimal:
        return std::get<Decimal>(value_);
    case VarType::Double: {
        const std::optional<Decimal> value = Decimal::FromDouble(std::get<double>(value_));
        if (!value) {
            ThrowOverflow();
        }
        return *value;
    }
    case VarType::String:
        return DecimalFromText(std::get<std::string>(value_));
    case VarType::Date: {
        const DateTime& date = std::get<DateTime>(value_);
        const Decimal days(date.DaysSinceEpoch() - kSerialEpochOffset);
        const Decimal seconds(std::int64_t{date.hour} * 3600 + std::int64_t{date.minute} * 60 +
                              date.second);
        const Decimal time = seconds / Decimal(86400);
        return days.Sign() < 0 ? days - time : days + time;
    }
    case VarType::Bytes:
        ThrowTypeMismatch();
    }
    ThrowTypeMismatch();
}

double Variant::ToDouble() const {
    switch (Type()) {
    case VarType::Double:
        return std::get<double>(value_);
    case VarType::String:
        return DoubleFromText(std::get<std::string>(value_));
    case VarType::Date:
        return DateToSerial(std::get<DateTime>(value_));
    case VarType::Empty:
    case VarType::Null:
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
    case VarType::Bytes:
        return ToDecimal().ToDouble();
    }
    ThrowTypeMismatch();
}

std::int32_t Variant::ToLong() const {
    return IntegerFrom<std::int32_t>(*this);
}

std::int16_t Variant::ToInteger() const {
    return IntegerFrom<std::int16_t>(*this);
}

bool Variant::ToBool() const {
    switch (Type()) {
    case VarType::Boolean:
        return std::get<bool>(value_);
    case VarType::Double:
        return std::get<double>(value_) != 0.0;
    case VarType::Date:
        return DateToSerial(std::get<DateTime>(value_)) != 0.0;
    case VarType::String: {
        const std::string& text = std::get<std::string>(value_);
        const std::string trimmed = Trim(text);
        if (EqualsIgnoringCase(trimmed, "True")) {
            return true;
        }
        if (EqualsIgnoringCase(trimmed, "False")) {
            return false;
        }
        return DoubleFromText(text) != 0.0;
    }
    case VarType::Empty:
    case VarType::Null:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
    case VarType::Bytes:
        return !ToDecimal().IsZero();
    }
    ThrowTypeMismatch();
}

DateTime Variant::ToDate() const {
    switch (Type()) {
    case VarType::Date:
        return std::get<DateTime>(value_);
    case VarType::Null:
        ThrowInvalidUseOfNull();
    case VarType::String: {
        const std::optional<DateTime> date = DateTime::Parse(std::get<std::string>(value_));
        if (!date) {
            ThrowTypeMismatch();
        }
        return *date;
    }
    case VarType::Bytes:
        ThrowTypeMismatch();
    case VarType::Empty:
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
    case VarType::Double:
        return SerialToDate(ToDouble());
    }
    ThrowTypeMismatch();
}

bool operator==(const Variant& a, const Variant& b) {
    return a.value_ == b.value_;
}

std::string RightTrim(std::string_view text) {
    const auto end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

bool IsBlankText(std::string_view text) noexcept {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

std::string Trim(std::string_view text) {
    const auto begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(begin, text.find_last_not_of(' ') - begin + 1));
}

} // namespace kvad
