#pragma once
/// Calendar date and time of day, to the second, as the ERP stores them.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvad {

/// A date and time without time zone (local time, like the ERP's datetime columns).
struct DateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;

    /// True when the fields name a real calendar date and time.
    [[nodiscard]] bool IsValid() const noexcept;

    /// Reads "yyyy-mm-dd", "yyyy-mm-dd hh:mm[:ss[.fff]]", also with 'T' and a trailing 'Z' or
    /// offset (ignored). Returns nullopt for anything else.
    [[nodiscard]] static std::optional<DateTime> ParseIso(std::string_view text);
    /// Reads the Italian day/month/year form "dd/mm/yyyy" (also '-' or '.' between the parts,
    /// one- or two-digit day and month), optionally followed by " hh:mm[:ss]".
    [[nodiscard]] static std::optional<DateTime> ParseItalian(std::string_view text);
    /// What the regional settings accept: ISO year-first text, else Italian day/month/year.
    [[nodiscard]] static std::optional<DateTime> Parse(std::string_view text);
    /// The current local date and time.
    [[nodiscard]] static DateTime Now();

    /// 'YYYY-MM-DD HH:MM:SS', the one form the database stores and compares.
    [[nodiscard]] std::string ToIso() const;
    /// 'YYYY-MM-DD'.
    [[nodiscard]] std::string ToIsoDate() const;
    /// Italian text form: "dd/mm/yyyy", followed by " hh:mm:ss" when the time is not midnight.
    [[nodiscard]] std::string ToText() const;

    /// Days since 1970-01-01 (negative before).
    [[nodiscard]] std::int64_t DaysSinceEpoch() const noexcept;
    [[nodiscard]] static DateTime FromDaysSinceEpoch(std::int64_t days) noexcept;
    [[nodiscard]] DateTime AddDays(std::int64_t days) const noexcept;
    /// Adds whole years; 29 February becomes 28 February in a non-leap year.
    [[nodiscard]] DateTime AddYears(int years) const noexcept;
    [[nodiscard]] DateTime DateOnly() const noexcept { return {year, month, day, 0, 0, 0}; }

    friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

} // namespace kvad
