#include "tsql_dates.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "kvad_nso/text.h"

namespace kvad::db::tsql {

namespace {

constexpr int kMinYear = 1753;
constexpr int kMaxYear = 9999;
constexpr std::int64_t kSecondsPerDay = 86400;

[[nodiscard]] constexpr bool IsLeap(int year) noexcept {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

[[nodiscard]] constexpr int DaysInMonth(int year, int month) noexcept {
    constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// Reads exactly `width` digits at `pos`.
[[nodiscard]] bool ReadDigits(std::string_view text, std::size_t& pos, std::size_t width,
                              int& value) {
    if (pos + width > text.size()) {
        return false;
    }
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    const auto [end, ec] = std::from_chars(text.data() + pos, text.data() + pos + width, value);
    if (ec != std::errc()) {
        return false;
    }
    pos += width;
    return true;
}

[[nodiscard]] std::string Pad(int value, int width) {
    std::array<char, 16> buffer{};
    const int n = std::snprintf(buffer.data(), buffer.size(), "%0*d", width, value);
    return std::string(buffer.data(), static_cast<std::size_t>(n));
}

[[nodiscard]] std::optional<CivilDateTime> FromSeconds(std::int64_t total) {
    std::int64_t days = total / kSecondsPerDay;
    std::int64_t rest = total % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    // Far outside the years kMinYear to kMaxYear: the year would not fit the calendar type.
    constexpr std::int64_t kDayLimit = 4'000'000;
    if (days < -kDayLimit || days > kDayLimit) {
        return std::nullopt;
    }
    CivilDateTime out = CivilDateTime::FromDaysSinceEpoch(days);
    if (out.year < kMinYear || out.year > kMaxYear) {
        return std::nullopt;
    }
    out.hour = static_cast<int>(rest / 3600);
    out.minute = static_cast<int>(rest / 60 % 60);
    out.second = static_cast<int>(rest % 60);
    return out;
}

[[nodiscard]] std::int64_t ToSeconds(const CivilDateTime& v) {
    return v.DaysSinceEpoch() * kSecondsPerDay + v.hour * 3600LL + v.minute * 60LL + v.second;
}

} // namespace

std::optional<DatePart> ParseDatePart(std::string_view name) {
    struct Entry {
        std::string_view name;
        DatePart part;
    };
    static constexpr std::array<Entry, 27> kParts = {{
        {"YEAR", DatePart::Year},       {"YY", DatePart::Year},
        {"YYYY", DatePart::Year},       {"QUARTER", DatePart::Quarter},
        {"QQ", DatePart::Quarter},      {"Q", DatePart::Quarter},
        {"MONTH", DatePart::Month},     {"MM", DatePart::Month},
        {"M", DatePart::Month},         {"DAYOFYEAR", DatePart::DayOfYear},
        {"DY", DatePart::DayOfYear},    {"Y", DatePart::DayOfYear},
        {"DAY", DatePart::Day},         {"DD", DatePart::Day},
        {"D", DatePart::Day},           {"WEEK", DatePart::Week},
        {"WK", DatePart::Week},         {"WW", DatePart::Week},
        {"WEEKDAY", DatePart::Weekday}, {"DW", DatePart::Weekday},
        {"W", DatePart::Weekday},       {"HOUR", DatePart::Hour},
        {"HH", DatePart::Hour},         {"MINUTE", DatePart::Minute},
        {"MI", DatePart::Minute},       {"SECOND", DatePart::Second},
        {"SS", DatePart::Second},
    }};
    for (const Entry& entry : kParts) {
        if (EqualsNoCase(entry.name, name)) {
            return entry.part;
        }
    }
    if (EqualsNoCase(name, "N")) {
        return DatePart::Minute;
    }
    if (EqualsNoCase(name, "S")) {
        return DatePart::Second;
    }
    return std::nullopt;
}

std::string_view DatePartName(DatePart part) noexcept {
    switch (part) {
    case DatePart::Year:
        return "year";
    case DatePart::Quarter:
        return "quarter";
    case DatePart::Month:
        return "month";
    case DatePart::DayOfYear:
        return "dayofyear";
    case DatePart::Day:
        return "day";
    case DatePart::Week:
        return "week";
    case DatePart::Weekday:
        return "weekday";
    case DatePart::Hour:
        return "hour";
    case DatePart::Minute:
        return "minute";
    case DatePart::Second:
        return "second";
    }
    return "day";
}

namespace {

/// Moves `pos` past `c` when it is there.
[[nodiscard]] bool Skip(std::string_view text, std::size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

/// Reads "yyyy-mm-dd" or "yyyymmdd".
[[nodiscard]] bool ReadDate(std::string_view text, std::size_t& pos, CivilDateTime& v) {
    if (!ReadDigits(text, pos, 4, v.year)) {
        return false;
    }
    if (!Skip(text, pos, '-')) {
        return ReadDigits(text, pos, 2, v.month) && ReadDigits(text, pos, 2, v.day);
    }
    return ReadDigits(text, pos, 2, v.month) && Skip(text, pos, '-') &&
           ReadDigits(text, pos, 2, v.day);
}

/// Reads "hh:mm", "hh:mm:ss" or "hh:mm:ss.fff" (the fraction is read and left out).
[[nodiscard]] bool ReadTime(std::string_view text, std::size_t& pos, CivilDateTime& v) {
    if (!ReadDigits(text, pos, 2, v.hour) || !Skip(text, pos, ':') ||
        !ReadDigits(text, pos, 2, v.minute)) {
        return false;
    }
    if (!Skip(text, pos, ':')) {
        return true;
    }
    if (!ReadDigits(text, pos, 2, v.second)) {
        return false;
    }
    if (Skip(text, pos, '.')) {
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            ++pos;
        }
    }
    return true;
}

} // namespace

std::optional<CivilDateTime> ParseDateTime(std::string_view text) {
    CivilDateTime v;
    std::size_t pos = 0;
    if (!ReadDate(text, pos, v)) {
        return std::nullopt;
    }
    if ((Skip(text, pos, ' ') || Skip(text, pos, 'T')) && !ReadTime(text, pos, v)) {
        return std::nullopt;
    }
    if (pos != text.size() || v.year < kMinYear || !v.IsValid()) {
        return std::nullopt;
    }
    return v;
}

bool IsKnownDateStyle(int style) noexcept {
    switch (style) {
    case 3:
    case 20:
    case 23:
    case 101:
    case 102:
    case 103:
    case 104:
    case 105:
    case 108:
    case 111:
    case 112:
    case 120:
    case 126:
        return true;
    default:
        return false;
    }
}

std::optional<std::string> FormatDateStyle(const CivilDateTime& v, int style) {
    const std::string y = Pad(v.year, 4);
    const std::string m = Pad(v.month, 2);
    const std::string d = Pad(v.day, 2);
    const std::string time = Pad(v.hour, 2) + ":" + Pad(v.minute, 2) + ":" + Pad(v.second, 2);
    switch (style) {
    case 3:
        return d + "/" + m + "/" + y.substr(2);
    case 23:
        return y + "-" + m + "-" + d;
    case 20:
    case 120:
        return y + "-" + m + "-" + d + " " + time;
    case 101:
        return m + "/" + d + "/" + y;
    case 102:
        return y + "." + m + "." + d;
    case 103:
        return d + "/" + m + "/" + y;
    case 104:
        return d + "." + m + "." + y;
    case 105:
        return d + "-" + m + "-" + y;
    case 108:
        return time;
    case 111:
        return y + "/" + m + "/" + d;
    case 112:
        return y + m + d;
    case 126:
        return y + "-" + m + "-" + d + "T" + time;
    default:
        return std::nullopt;
    }
}

std::optional<CivilDateTime> AddToDate(const CivilDateTime& value, DatePart part,
                                       std::int64_t amount) {
    // Keeps the arithmetic below far from overflow; such amounts leave the range anyway.
    constexpr std::int64_t kLimit = 1'000'000'000'000LL;
    if (amount > kLimit || amount < -kLimit) {
        return std::nullopt;
    }
    std::int64_t months = 0;
    std::int64_t seconds = 0;
    switch (part) {
    case DatePart::Year:
        months = amount * 12;
        break;
    case DatePart::Quarter:
        months = amount * 3;
        break;
    case DatePart::Month:
        months = amount;
        break;
    case DatePart::DayOfYear:
    case DatePart::Day:
    case DatePart::Weekday:
        seconds = amount * kSecondsPerDay;
        break;
    case DatePart::Week:
        seconds = amount * 7 * kSecondsPerDay;
        break;
    case DatePart::Hour:
        seconds = amount * 3600;
        break;
    case DatePart::Minute:
        seconds = amount * 60;
        break;
    case DatePart::Second:
        seconds = amount;
        break;
    }
    if (months != 0) {
        const std::int64_t index =
            static_cast<std::int64_t>(value.year) * 12 + value.month - 1 + months;
        const std::int64_t year = index >= 0 ? index / 12 : (index - 11) / 12;
        if (year < kMinYear || year > kMaxYear) {
            return std::nullopt;
        }
        CivilDateTime out = value;
        out.year = static_cast<int>(year);
        out.month = static_cast<int>(index - year * 12) + 1;
        out.day = std::min(value.day, DaysInMonth(out.year, out.month));
        return out;
    }
    return FromSeconds(ToSeconds(value) + seconds);
}

} // namespace kvad::db::tsql
