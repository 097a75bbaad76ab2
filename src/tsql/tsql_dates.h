#pragma once
// Dates as the translated statements store them ('YYYY-MM-DD HH:MM:SS' text) and the date
// arithmetic of DATEADD and CONVERT styles.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kvad_nso/date_time.h"

namespace kvad::db::tsql {

/// A date and time to the second (the project's one calendar type).
using CivilDateTime = kvad::DateTime;

/// The units DATEADD accepts.
enum class DatePart { Year, Quarter, Month, DayOfYear, Day, Week, Weekday, Hour, Minute, Second };

/// A DATEADD unit from its name or abbreviation ("YEAR", "yy", "mm", ...), case-insensitive.
[[nodiscard]] std::optional<DatePart> ParseDatePart(std::string_view name);

/// The canonical lower-case name of a unit ("year").
[[nodiscard]] std::string_view DatePartName(DatePart part) noexcept;

/// Reads 'YYYY-MM-DD', 'YYYYMMDD' and either followed by ' HH:MM[:SS[.fff]]' or 'THH:MM:SS'.
[[nodiscard]] std::optional<CivilDateTime> ParseDateTime(std::string_view text);

/// 'YYYY-MM-DD HH:MM:SS'.
[[nodiscard]] inline std::string FormatDateTime(const CivilDateTime& value) {
    return value.ToIso();
}

/// The text CONVERT gives a date with a style (23 'yyyy-mm-dd', 120, 112, 103, ...), or nullopt
/// for a style this layer does not know.
[[nodiscard]] std::optional<std::string> FormatDateStyle(const CivilDateTime& value, int style);

/// True for a CONVERT style FormatDateStyle knows.
[[nodiscard]] bool IsKnownDateStyle(int style) noexcept;

/// The current local date and time.
[[nodiscard]] inline CivilDateTime LocalNow() {
    return kvad::DateTime::Now();
}

/// DATEADD: the date moved by amount units; a day past the end of the month after adding
/// years or months becomes the month's last day. nullopt when the result leaves the years
/// 1753 to 9999 of SQL Server's datetime.
[[nodiscard]] std::optional<CivilDateTime> AddToDate(const CivilDateTime& value, DatePart part,
                                                     std::int64_t amount);

} // namespace kvad::db::tsql
