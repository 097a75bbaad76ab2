#include "kvad_nso/date_time.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

namespace kvad {
namespace {

constexpr int kMinYear = 100; // the runtime's Date range
constexpr int kMaxYear = 9999;

bool IsLeapYear(int year) noexcept {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) noexcept {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

/// A cursor over text with the small reads both date forms need.
class Reader {
  public:
    explicit Reader(std::string_view text) noexcept : text_(text) {}

    [[nodiscard]] bool AtEnd() const noexcept { return pos_ == text_.size(); }
    [[nodiscard]] char Peek() const noexcept { return AtEnd() ? '\0' : text_[pos_]; }
    [[nodiscard]] std::string_view Rest() const noexcept { return text_.substr(pos_); }

    bool Accept(char c) noexcept {
        if (Peek() != c) {
            return false;
        }
        ++pos_;
        return true;
    }

    /// Reads between `min_digits` and `max_digits` decimal digits.
    bool Number(int min_digits, int max_digits, int& value) noexcept {
        int count = 0;
        value = 0;
        while (count < max_digits && Peek() >= '0' && Peek() <= '9') {
            value = value * 10 + (Peek() - '0');
            ++pos_;
            ++count;
        }
        return count >= min_digits && !(Peek() >= '0' && Peek() <= '9');
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string_view TrimSpaces(std::string_view text) noexcept {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

/// Reads "hh:mm[:ss]"; the hour may have one digit when `short_hour` is set.
bool ReadTime(Reader& reader, bool short_hour, DateTime& value) noexcept {
    if (!reader.Number(short_hour ? 1 : 2, 2, value.hour) || !reader.Accept(':') ||
        !reader.Number(2, 2, value.minute)) {
        return false;
    }
    if (reader.Accept(':')) {
        return reader.Number(2, 2, value.second);
    }
    return true;
}

/// Accepts the end of an ISO text: nothing, "Z", or an offset "+hh:mm", "-hhmm", "+hh".
bool ReadZone(Reader& reader) noexcept {
    if (reader.AtEnd()) {
        return true;
    }
    if (reader.Accept('Z') || reader.Accept('z')) {
        return reader.AtEnd();
    }
    if (!reader.Accept('+') && !reader.Accept('-')) {
        return false;
    }
    int hours = 0;
    int minutes = 0;
    if (!reader.Number(2, 2, hours)) {
        return false;
    }
    if (reader.AtEnd()) {
        return hours <= 14;
    }
    reader.Accept(':');
    return reader.Number(2, 2, minutes) && reader.AtEnd() && hours <= 14 && minutes < 60;
}

std::optional<DateTime> IfValid(const DateTime& value) {
    if (!value.IsValid()) {
        return std::nullopt;
    }
    return value;
}

/// Three numbers in a printf format of at most two separators: room for any three ints, so the
/// text is never cut even for fields that name no date.
std::string Format(const char* format, int a, int b, int c) {
    std::array<char, 48> buffer{};
    const int length = std::snprintf(buffer.data(), buffer.size(), format, a, b, c);
    return {buffer.data(), static_cast<std::size_t>(std::clamp(length, 0, 47))};
}

} // namespace

bool DateTime::IsValid() const noexcept {
    return year >= kMinYear && year <= kMaxYear && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month) && hour >= 0 && hour < 24 && minute >= 0 &&
           minute < 60 && second >= 0 && second < 60;
}

std::optional<DateTime> DateTime::ParseIso(std::string_view text) {
    Reader reader(TrimSpaces(text));
    DateTime value{};
    if (!reader.Number(4, 4, value.year) || !reader.Accept('-') ||
        !reader.Number(2, 2, value.month) || !reader.Accept('-') ||
        !reader.Number(2, 2, value.day)) {
        return std::nullopt;
    }
    if (reader.Accept('T') || reader.Accept(' ')) {
        if (!ReadTime(reader, false, value)) {
            return std::nullopt;
        }
        if (reader.Accept('.')) {
            int fraction = 0; // fractions of a second are dropped: the ERP keeps whole seconds
            if (!reader.Number(1, 9, fraction)) {
                return std::nullopt;
            }
        }
    }
    if (!ReadZone(reader)) {
        return std::nullopt;
    }
    return IfValid(value);
}

std::optional<DateTime> DateTime::ParseItalian(std::string_view text) {
    Reader reader(TrimSpaces(text));
    DateTime value{};
    if (!reader.Number(1, 2, value.day)) {
        return std::nullopt;
    }
    const char separator = reader.Peek();
    if ((separator != '/' && separator != '-' && separator != '.') || !reader.Accept(separator) ||
        !reader.Number(1, 2, value.month) || !reader.Accept(separator) ||
        !reader.Number(4, 4, value.year)) {
        return std::nullopt;
    }
    if (reader.Accept(' ')) {
        while (reader.Accept(' ')) {
        }
        if (!ReadTime(reader, true, value)) {
            return std::nullopt;
        }
    }
    if (!reader.AtEnd()) {
        return std::nullopt;
    }
    return IfValid(value);
}

std::optional<DateTime> DateTime::Parse(std::string_view text) {
    const std::string_view trimmed = TrimSpaces(text);
    const bool year_first = trimmed.size() > 4 && trimmed.substr(0, 4).find_first_not_of(
                                                      "0123456789") == std::string_view::npos;
    return year_first ? ParseIso(trimmed) : ParseItalian(trimmed);
}

DateTime DateTime::Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     std::min(local.tm_sec, 59)};
}

std::string DateTime::ToIso() const {
    return ToIsoDate() + " " + Format("%02d:%02d:%02d", hour, minute, second);
}

std::string DateTime::ToIsoDate() const {
    return Format("%04d-%02d-%02d", year, month, day);
}

std::string DateTime::ToText() const {
    std::string text = Format("%02d/%02d/%04d", day, month, year);
    if (hour != 0 || minute != 0 || second != 0) {
        // Appended piece by piece: a temporary " " + time string is what GCC's Release
        // optimizer wrongly reports as an overlapping copy (-Wrestrict).
        text += ' ';
        text += Format("%02d:%02d:%02d", hour, minute, second);
    }
    return text;
}

// Days from civil and civil from days: the proleptic Gregorian algorithms of H. Hinnant.
std::int64_t DateTime::DaysSinceEpoch() const noexcept {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t year_of_era = y - era * 400;
    const std::int64_t m = month;
    const std::int64_t day_of_year = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + day - 1;
    const std::int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

DateTime DateTime::FromDaysSinceEpoch(std::int64_t days) noexcept {
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t day_of_era = z - era * 146097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t mp = (5 * day_of_year + 2) / 153;
    const std::int64_t d = day_of_year - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = year_of_era + era * 400 + (m <= 2 ? 1 : 0);
    return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d), 0, 0, 0};
}

DateTime DateTime::AddDays(std::int64_t days) const noexcept {
    DateTime result = FromDaysSinceEpoch(DaysSinceEpoch() + days);
    result.hour = hour;
    result.minute = minute;
    result.second = second;
    return result;
}

DateTime DateTime::AddYears(int years) const noexcept {
    DateTime result = *this;
    result.year += years;
    if (result.month == 2 && result.day == 29 && !IsLeapYear(result.year)) {
        result.day = 28;
    }
    return result;
}

} // namespace kvad
