#include "tsql/tsql_functions.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"
#include "tsql_dates.h"
#include "tsql_types.h"

namespace kvad::db {

namespace {

using tsql::CivilDateTime;

[[nodiscard]] std::string_view TextOf(sqlite3_value* value) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    if (text == nullptr) {
        return {};
    }
    return {text, static_cast<std::size_t>(sqlite3_value_bytes(value))};
}

void ResultText(sqlite3_context* ctx, std::string_view text) {
    sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void ResultError(sqlite3_context* ctx, const std::string& message) {
    sqlite3_result_error(ctx, message.c_str(), static_cast<int>(message.size()));
}

/// Fails with SQL Server's message for a value refused, the kind of refusal in the result code.
void ResultRefusal(sqlite3_context* ctx, FunctionRefusal refusal, const std::string& message) {
    ResultError(ctx, message);
    sqlite3_result_error_code(ctx, FunctionRefusalCode(refusal));
}

[[nodiscard]] std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// A whole number as SQL Server reads one from text: blanks around, an optional sign, digits.
// The empty text reads as 0.
[[nodiscard]] std::optional<std::int64_t> ParseInteger(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty()) {
        return 0;
    }
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size() ||
        magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    const auto value = static_cast<std::int64_t>(magnitude);
    return negative ? -value : value;
}

[[nodiscard]] std::optional<double> ParseReal(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty()) {
        return 0.0;
    }
    if (text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

[[nodiscard]] std::string TextForMessage(sqlite3_value* value) {
    return std::string(TextOf(value));
}

// The sum of two operands of which one is a real number: text is read as a number.
void AddReals(sqlite3_context* ctx, sqlite3_value** argv) {
    std::array<double, 2> operands{};
    for (int i = 0; i < 2; ++i) {
        if (sqlite3_value_type(argv[i]) != SQLITE_TEXT) {
            operands[static_cast<std::size_t>(i)] = sqlite3_value_double(argv[i]);
            continue;
        }
        const auto parsed = ParseReal(TextOf(argv[i]));
        if (!parsed) {
            ResultRefusal(ctx, FunctionRefusal::ValueConversion,
                          "Error converting data type varchar to numeric.");
            return;
        }
        operands[static_cast<std::size_t>(i)] = *parsed;
    }
    sqlite3_result_double(ctx, operands[0] + operands[1]);
}

// The sum of two whole numbers: text is read as an int, the sum must fit a bigint.
void AddIntegers(sqlite3_context* ctx, sqlite3_value** argv) {
    std::array<std::int64_t, 2> operands{};
    for (int i = 0; i < 2; ++i) {
        if (sqlite3_value_type(argv[i]) != SQLITE_TEXT) {
            operands[static_cast<std::size_t>(i)] = sqlite3_value_int64(argv[i]);
            continue;
        }
        const auto parsed = ParseInteger(TextOf(argv[i]));
        if (!parsed) {
            ResultRefusal(ctx, FunctionRefusal::ValueConversion,
                          "Conversion failed when converting the varchar value '" +
                              TextForMessage(argv[i]) + "' to data type int.");
            return;
        }
        operands[static_cast<std::size_t>(i)] = *parsed;
    }
    std::int64_t sum = 0;
    if (__builtin_add_overflow(operands[0], operands[1], &sum)) {
        ResultRefusal(ctx, FunctionRefusal::Overflow,
                      "Arithmetic overflow error converting expression to data type bigint.");
        return;
    }
    sqlite3_result_int64(ctx, sum);
}

// tsql_add(a, b): the '+' of SQL Server when the operand types are only known at run time:
// text + text joins, numbers add, NULL on either side gives NULL, and text meeting a number is
// read as that number (failing as SQL Server does when it is not one).
void AddFunction(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
    const int ta = sqlite3_value_type(argv[0]);
    const int tb = sqlite3_value_type(argv[1]);
    if (ta == SQLITE_NULL || tb == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    if (ta == SQLITE_BLOB || tb == SQLITE_BLOB) {
        ResultError(ctx, "Operand type clash: varbinary is incompatible with the operator add");
        return;
    }
    if (ta == SQLITE_TEXT && tb == SQLITE_TEXT) {
        std::string joined(TextOf(argv[0]));
        joined += TextOf(argv[1]);
        ResultText(ctx, joined);
        return;
    }
    if (ta == SQLITE_FLOAT || tb == SQLITE_FLOAT) {
        AddReals(ctx, argv);
        return;
    }
    AddIntegers(ctx, argv);
}

// tsql_convert_int(x, 'tinyint' | 'smallint' | 'int' | 'bigint'): CONVERT to an integer type.
// Decimals are truncated toward zero; values out of the type's range and text that is not a
// whole number are refused with SQL Server's messages.
void ConvertIntFunction(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
    const std::string_view typeName = TextOf(argv[1]);
    const auto range = tsql::IntegerTypeRange(typeName);
    if (!range) {
        ResultError(ctx, "tsql_convert_int: unknown integer type " + std::string(typeName));
        return;
    }
    const auto overflow = [&](const std::string& valueText) {
        ResultRefusal(ctx, FunctionRefusal::Overflow,
                      "Arithmetic overflow error for data type " + std::string(typeName) +
                          ", value = " + valueText + ".");
    };
    std::int64_t value = 0;
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
        sqlite3_result_null(ctx);
        return;
    case SQLITE_INTEGER:
        value = sqlite3_value_int64(argv[0]);
        break;
    case SQLITE_FLOAT: {
        const double real = std::trunc(sqlite3_value_double(argv[0]));
        // INT64_MAX is not a double: its nearest one, 2^63, is already out of range.
        if (!(real >= static_cast<double>(range->first) &&
              real < static_cast<double>(range->second) + 1.0)) {
            overflow(std::string(TextOf(argv[0])));
            return;
        }
        value = static_cast<std::int64_t>(real);
        break;
    }
    case SQLITE_TEXT: {
        const auto parsed = ParseInteger(TextOf(argv[0]));
        if (!parsed) {
            ResultRefusal(ctx, FunctionRefusal::ValueConversion,
                          "Conversion failed when converting the varchar value '" +
                              TextForMessage(argv[0]) + "' to data type " + std::string(typeName) +
                              ".");
            return;
        }
        value = *parsed;
        break;
    }
    default:
        ResultError(ctx, "Explicit conversion from data type varbinary to " +
                             std::string(typeName) + " is not allowed.");
        return;
    }
    if (value < range->first || value > range->second) {
        overflow(std::to_string(value));
        return;
    }
    sqlite3_result_int64(ctx, value);
}

// tsql_getdate(): the local date and time, as dates are stored.
void GetDateFunction(sqlite3_context* ctx, int /*argc*/, sqlite3_value** /*argv*/) {
    ResultText(ctx, tsql::FormatDateTime(tsql::LocalNow()));
}

// The range of SQL Server's int, as doubles.
constexpr double kIntMin = -2147483648.0;
constexpr double kIntMax = 2147483647.0;

// tsql_dateadd(part, number, date): DATEADD with the part already checked by the translator.
void DateAddFunction(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto part = tsql::ParseDatePart(TextOf(argv[0]));
    if (!part) {
        ResultError(ctx,
                    "'" + std::string(TextOf(argv[0])) + "' is not a recognized dateadd option.");
        return;
    }
    // The number of DATEADD is an int.
    const auto overflow = [ctx] {
        ResultRefusal(ctx, FunctionRefusal::Overflow,
                      "Arithmetic overflow error converting expression to data type int.");
    };
    std::int64_t amount = 0;
    if (sqlite3_value_type(argv[1]) == SQLITE_FLOAT) {
        const double real = std::trunc(sqlite3_value_double(argv[1]));
        if (!(real >= kIntMin && real <= kIntMax)) {
            overflow();
            return;
        }
        amount = static_cast<std::int64_t>(real);
    } else if (sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        const auto parsed = ParseInteger(TextOf(argv[1]));
        if (!parsed) {
            ResultRefusal(ctx, FunctionRefusal::ValueConversion,
                          "Conversion failed when converting the varchar value '" +
                              TextForMessage(argv[1]) + "' to data type int.");
            return;
        }
        amount = *parsed;
    } else {
        amount = sqlite3_value_int64(argv[1]);
    }
    if (amount < static_cast<std::int64_t>(kIntMin) ||
        amount > static_cast<std::int64_t>(kIntMax)) {
        overflow();
        return;
    }
    const auto date = tsql::ParseDateTime(TextOf(argv[2]));
    if (!date) {
        ResultRefusal(ctx, FunctionRefusal::DateConversion,
                      "Conversion failed when converting date and/or time from character "
                      "string.");
        return;
    }
    const auto moved = tsql::AddToDate(*date, *part, amount);
    if (!moved) {
        ResultError(ctx, "Adding a value to a 'datetime' column caused an overflow.");
        return;
    }
    ResultText(ctx, tsql::FormatDateTime(*moved));
}

// tsql_convert_datetime(x, keep_time): CONVERT(DATETIME, x) (keep_time 1) or CONVERT(DATE, x)
// (keep_time 0) of a stored date or a text; the result has the stored form.
void ConvertDateTimeFunction(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) {
        ResultError(ctx, "Explicit conversion from a number to datetime is not supported.");
        return;
    }
    const std::string_view text = TrimBlanks(TextOf(argv[0]));
    if (text.empty()) {
        ResultText(ctx, "1900-01-01 00:00:00");
        return;
    }
    auto date = tsql::ParseDateTime(text);
    if (!date) {
        ResultRefusal(ctx, FunctionRefusal::DateConversion,
                      "Conversion failed when converting date and/or time from character "
                      "string.");
        return;
    }
    if (sqlite3_value_int(argv[1]) == 0) {
        date->hour = 0;
        date->minute = 0;
        date->second = 0;
    }
    ResultText(ctx, tsql::FormatDateTime(*date));
}

// A number with `scale` decimals ("%.*f"), however many digits it has.
[[nodiscard]] std::string FixedDecimals(double value, int scale) {
    std::array<char, 64> buffer{};
    const int n = std::snprintf(buffer.data(), buffer.size(), "%.*f", scale, value);
    if (n < 0) {
        return {};
    }
    if (static_cast<std::size_t>(n) < buffer.size()) {
        return {buffer.data(), static_cast<std::size_t>(n)};
    }
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    (void)std::snprintf(text.data(), text.size(), "%.*f", scale, value);
    text.resize(static_cast<std::size_t>(n));
    return text;
}

// tsql_to_text(x, length, style, scale): CONVERT(VARCHAR(length), x[, style]) when the type
// of x is only known at run time. length -1 is max; style NULL is none; scale >= 0 writes a
// number with that many decimals (a decimal column). A date-style applies to text holding a
// date; other text passes unchanged (SQL Server ignores the style for text). An integer too
// long for the length gives "*", as SQL Server does.
void ToTextFunction(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const int length = sqlite3_value_int(argv[1]);
    const bool hasStyle = sqlite3_value_type(argv[2]) != SQLITE_NULL;
    const int style = sqlite3_value_int(argv[2]);
    const int scale = sqlite3_value_int(argv[3]);
    const auto limit = [length](const std::string& text) {
        return length < 0 ? text : Utf8Left(text, static_cast<std::size_t>(length));
    };
    if (type == SQLITE_TEXT) {
        std::string text(TextOf(argv[0]));
        if (hasStyle && style != 0) {
            if (const auto date = tsql::ParseDateTime(text)) {
                const auto formatted = tsql::FormatDateStyle(*date, style);
                if (!formatted) {
                    ResultError(ctx, std::to_string(style) +
                                         " is not a valid style number when converting from "
                                         "datetime to a character string.");
                    return;
                }
                text = *formatted;
            }
        }
        ResultText(ctx, limit(text));
        return;
    }
    if (type == SQLITE_BLOB) {
        ResultError(ctx, "Conversion of varbinary to text is not supported.");
        return;
    }
    std::string text;
    if (type == SQLITE_INTEGER && scale <= 0) {
        text = std::to_string(sqlite3_value_int64(argv[0]));
    } else if (scale >= 0) {
        text = FixedDecimals(sqlite3_value_double(argv[0]), scale);
    } else {
        text = std::string(TextOf(argv[0]));
    }
    if (length >= 0 && text.size() > static_cast<std::size_t>(length)) {
        if (type == SQLITE_INTEGER) {
            ResultText(ctx, "*");
            return;
        }
        ResultRefusal(ctx, FunctionRefusal::Overflow,
                      "Arithmetic overflow error converting numeric to data type varchar.");
        return;
    }
    ResultText(ctx, text);
}

// tsql_convert_decimal(x, precision, scale): CONVERT(DECIMAL(p, s), x), rounded to the scale;
// a value with more integer digits than p - s, or text that is no number, is refused.
void ConvertDecimalFunction(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const int precision = sqlite3_value_int(argv[1]);
    const int scale = sqlite3_value_int(argv[2]);
    double value = 0;
    if (type == SQLITE_TEXT) {
        const std::string_view text = TrimBlanks(TextOf(argv[0]));
        const auto parsed = text.empty() ? std::nullopt : ParseReal(text);
        if (!parsed) {
            ResultRefusal(ctx, FunctionRefusal::ValueConversion,
                          "Error converting data type varchar to numeric.");
            return;
        }
        value = *parsed;
    } else if (type == SQLITE_BLOB) {
        ResultError(ctx, "Explicit conversion from data type varbinary to numeric is not "
                         "allowed.");
        return;
    } else {
        value = sqlite3_value_double(argv[0]);
    }
    const double factor = std::pow(10.0, scale);
    const double rounded = std::round(value * factor) / factor;
    if (std::fabs(rounded) >= std::pow(10.0, precision - scale)) {
        ResultRefusal(ctx, FunctionRefusal::Overflow,
                      "Arithmetic overflow error converting numeric to data type numeric.");
        return;
    }
    if (scale == 0 && std::fabs(rounded) < 9.0e15) {
        sqlite3_result_int64(ctx, static_cast<std::int64_t>(rounded));
        return;
    }
    sqlite3_result_double(ctx, rounded);
}

// tsql_xtype(declared type) and tsql_type_name(declared type): the SQL Server type number and
// name of a SQLite declared column type, for the catalogue views.
void XtypeFunction(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
    sqlite3_result_int(ctx, tsql::SqlServerTypeOf(TextOf(argv[0])).xtype);
}

void TypeNameFunction(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
    ResultText(ctx, tsql::SqlServerTypeOf(TextOf(argv[0])).name);
}

struct FunctionDef {
    const char* name;
    int argc;
    bool deterministic;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

constexpr std::array<FunctionDef, 9> kFunctions = {{
    {"tsql_add", 2, true, AddFunction},
    {"tsql_convert_int", 2, true, ConvertIntFunction},
    {"tsql_getdate", 0, false, GetDateFunction},
    {"tsql_dateadd", 3, true, DateAddFunction},
    {"tsql_convert_datetime", 2, true, ConvertDateTimeFunction},
    {"tsql_to_text", 4, true, ToTextFunction},
    {"tsql_convert_decimal", 3, true, ConvertDecimalFunction},
    {"tsql_xtype", 1, true, XtypeFunction},
    {"tsql_type_name", 1, true, TypeNameFunction},
}};

/// Refusals sit above SQLite's own extended codes of SQLITE_ERROR (1 to 3 in the high byte).
constexpr int kFirstRefusalCode = 0x40;

} // namespace

int FunctionRefusalCode(FunctionRefusal refusal) noexcept {
    return SQLITE_ERROR | ((kFirstRefusalCode + static_cast<int>(refusal)) << 8);
}

std::optional<FunctionRefusal> FunctionRefusalOf(int resultCode) noexcept {
    for (const FunctionRefusal refusal :
         {FunctionRefusal::DateConversion, FunctionRefusal::Overflow,
          FunctionRefusal::ValueConversion}) {
        if (resultCode == FunctionRefusalCode(refusal)) {
            return refusal;
        }
    }
    return std::nullopt;
}

void RegisterTsqlFunctions(sqlite3* db) {
    for (const FunctionDef& def : kFunctions) {
        const int flags = SQLITE_UTF8 | (def.deterministic ? SQLITE_DETERMINISTIC : 0);
        const int rc = sqlite3_create_function_v2(db, def.name, def.argc, flags, nullptr, def.fn,
                                                  nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            throw DbError(std::string("cannot register SQL function ") + def.name + ": " +
                              sqlite3_errmsg(db),
                          "HY000", "");
        }
    }
}

} // namespace kvad::db
