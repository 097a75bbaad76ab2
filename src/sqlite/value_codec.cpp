#include "value_codec.h"

#include <sqlite3.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "kvad_nso/errors.h"
#include "quote_identifier.h"
#include "sqlite_error.h"

namespace kvad::db {

namespace {

std::string BaseTypeName(std::string_view declType) {
    std::string lowered = AsciiLower(declType);
    const auto cut = lowered.find_first_of("( ");
    if (cut != std::string::npos) {
        lowered.resize(cut);
    }
    return lowered;
}

bool Has(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

/// The value as text, as SQLite renders it: an INTEGER in decimal digits, a REAL with 15
/// significant digits ("%!.15g", what sqlite3_column_text gives), a TEXT or BLOB as stored.
std::string_view AsText(const StoredValue& value, std::array<char, 40>& buffer) {
    if (value.storage == SQLITE_INTEGER) {
        const auto end =
            std::to_chars(buffer.data(), buffer.data() + buffer.size(), value.integer).ptr;
        return {buffer.data(), static_cast<std::size_t>(end - buffer.data())};
    }
    if (value.storage == SQLITE_FLOAT) {
        sqlite3_snprintf(static_cast<int>(buffer.size()), buffer.data(), "%!.15g", value.real);
        return {buffer.data()};
    }
    return value.bytes;
}

Variant FromInteger(std::int64_t value) {
    if (value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max()) {
        return Variant(static_cast<std::int32_t>(value));
    }
    return Variant(Decimal(value));
}

/// sqlite3_column_double's reading of an INTEGER or a REAL.
double AsDouble(const StoredValue& value) {
    return value.storage == SQLITE_INTEGER ? static_cast<double>(value.integer) : value.real;
}

Variant ByStorageClass(const StoredValue& value) {
    switch (value.storage) {
    case SQLITE_INTEGER:
        return FromInteger(value.integer);
    case SQLITE_FLOAT:
        return Variant(value.real);
    case SQLITE_BLOB: {
        const auto* data = reinterpret_cast<const std::uint8_t*>(value.bytes.data());
        return Variant(Variant::Bytes(data, data + value.bytes.size()));
    }
    default:
        return Variant(std::string(value.bytes));
    }
}

/// A REAL's text as SQLite renders it (15 significant digits), without SQLite's own formatting:
/// when the shortest text that reads back as the same double has a point, no exponent and at
/// most 15 digits, rounding the double to 15 digits gives that text again. Nothing otherwise.
std::optional<std::string_view> FifteenDigitText(double value, std::array<char, 32>& buffer) {
    if (!std::isfinite(value) || std::fabs(value) < 1e-4 || std::fabs(value) >= 1e15) {
        return std::nullopt;
    }
    const auto [end, failure] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (failure != std::errc()) {
        return std::nullopt;
    }
    const std::string_view text(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    if (text.find('e') != std::string_view::npos || text.find('.') == std::string_view::npos) {
        return std::nullopt;
    }
    int digits = 0;
    bool leading = true;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            leading = leading && c == '0';
            digits += leading ? 0 : 1;
        }
    }
    if (digits > 15) {
        return std::nullopt;
    }
    return text;
}

/// The decimal of one to six places and at most 15 digits that reads back as exactly `value`,
/// found without rendering text: the fewest places that give it, so it is the one the shortest
/// round-trip text (and SQLite's 15-digit text) writes. Nullopt for any other value.
std::optional<Decimal> ShortDecimal(double value) {
    constexpr std::array<double, 7> kPowers = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
    constexpr double kDigits15 = 1e15;
    if (!(std::fabs(value) >= 1e-4 && std::fabs(value) < kDigits15)) {
        return std::nullopt; // the bounds of FifteenDigitText; NaN fails them too
    }
    if (std::nearbyint(value) == value) {
        return std::nullopt; // a whole number is left to the text, as before
    }
    for (std::size_t places = 1; places < kPowers.size(); ++places) {
        const double scaled = value * kPowers[places];
        if (std::fabs(scaled) >= kDigits15) {
            return std::nullopt;
        }
        // m / 10^k rounds once, as reading the text "m e-k" does: equal to `value`, the decimal
        // reads back as it. No other integer lies close enough to `scaled` to do so.
        const double mantissa = std::nearbyint(scaled);
        if (mantissa / kPowers[places] == value) {
            return Decimal::FromScaled(static_cast<std::int64_t>(mantissa),
                                       static_cast<int>(places));
        }
    }
    return std::nullopt;
}

Variant ReadDecimal(const StoredValue& value) {
    if (value.storage == SQLITE_INTEGER) {
        return Variant(Decimal(value.integer));
    }
    if (value.storage == SQLITE_FLOAT) {
        if (const auto exact = ShortDecimal(value.real)) {
            return Variant(*exact);
        }
        // SQLite renders a REAL with 15 significant digits, the precision it keeps for
        // numbers stored in NUMERIC columns, so the text gives back the decimal written.
        std::array<char, 32> buffer{};
        std::array<char, 40> rendered{};
        const std::optional<std::string_view> quick = FifteenDigitText(value.real, buffer);
        if (auto parsed = TryParseDecimal(quick ? *quick : AsText(value, rendered))) {
            return Variant(*parsed);
        }
        return Variant(value.real); // beyond a Decimal's range
    }
    if (value.storage == SQLITE_TEXT) {
        if (auto parsed = TryParseDecimal(value.bytes)) {
            return Variant(*parsed);
        }
        return Variant(std::string(value.bytes));
    }
    return ByStorageClass(value);
}

Variant ReadWhole(const StoredValue& value, bool small) {
    if (value.storage == SQLITE_INTEGER) {
        if (small && value.integer >= std::numeric_limits<std::int16_t>::min() &&
            value.integer <= std::numeric_limits<std::int16_t>::max()) {
            return Variant(static_cast<std::int16_t>(value.integer));
        }
        return FromInteger(value.integer);
    }
    if (value.storage == SQLITE_FLOAT) {
        return ReadDecimal(value);
    }
    return ByStorageClass(value);
}

Variant ReadBoolean(const StoredValue& value) {
    if (value.storage == SQLITE_INTEGER || value.storage == SQLITE_FLOAT) {
        return Variant(AsDouble(value) != 0.0);
    }
    if (EqualsNoCase(value.bytes, "true")) {
        return Variant(true);
    }
    if (EqualsNoCase(value.bytes, "false")) {
        return Variant(false);
    }
    return ByStorageClass(value);
}

[[noreturn]] void ThrowConversion(const std::string& message, const char* state) {
    throw DbError(message, state, std::string(), kProviderSource);
}

[[noreturn]] void ThrowOverflow(const char* type) {
    ThrowConversion(std::string("Arithmetic overflow error converting varchar to data type ") +
                        type + ".",
                    "22003");
}

/// Reads text bound for a numeric column: nullopt when it is not a number, an overflow error
/// when it is one too large for the column.
std::optional<Decimal> ParseForColumn(const std::string& text, const char* type) {
    try {
        return Decimal::Parse(text);
    } catch (const VbError&) {
        ThrowOverflow(type);
    }
}

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

/// Binds a date as DateTime::ToIso writes it ('YYYY-MM-DD HH:MM:SS'), the digits written here
/// when every field fits its width (a four-digit year, two-digit others).
void BindIsoDate(sqlite3_stmt* stmt, int index, const DateTime& date) {
    const auto fits = [](int value, int most) { return value >= 0 && value <= most; };
    constexpr int kTwoDigits = 99;
    constexpr int kFourDigits = 9999;
    if (!fits(date.year, kFourDigits) || !fits(date.month, kTwoDigits) ||
        !fits(date.day, kTwoDigits) || !fits(date.hour, kTwoDigits) ||
        !fits(date.minute, kTwoDigits) || !fits(date.second, kTwoDigits)) {
        BindText(stmt, index, date.ToIso());
        return;
    }
    std::array<char, 19> text{};
    const auto put = [&](std::size_t at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i) {
            text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    put(0, date.year, 4);
    text[4] = '-';
    put(5, date.month, 2);
    text[7] = '-';
    put(8, date.day, 2);
    text[10] = ' ';
    put(11, date.hour, 2);
    text[13] = ':';
    put(14, date.minute, 2);
    text[16] = ':';
    put(17, date.second, 2);
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

/// SQL Server reads a number as a datetime by counting days from 1900-01-01.
std::string DateFromDays(double days) {
    const double whole = std::floor(days);
    const auto seconds = static_cast<std::int64_t>(std::llround((days - whole) * 86400.0));
    DateTime date = DateTime{1900, 1, 1, 0, 0, 0}.AddDays(static_cast<std::int64_t>(whole));
    date.hour = static_cast<int>(seconds / 3600);
    date.minute = static_cast<int>((seconds % 3600) / 60);
    date.second = static_cast<int>(seconds % 60);
    if (seconds >= 86400) {
        date = date.DateOnly().AddDays(1);
    }
    return date.ToIso();
}

void BindTextAsDate(sqlite3_stmt* stmt, int index, const std::string& trimmed) {
    if (trimmed.empty()) {
        BindText(stmt, index, "1900-01-01 00:00:00"); // SQL Server reads '' as day zero
        return;
    }
    const auto date = DateTime::Parse(trimmed);
    if (!date || !date->IsValid()) {
        ThrowConversion("Conversion failed when converting date and/or time from character "
                        "string.",
                        "22007");
    }
    BindIsoDate(stmt, index, *date);
}

void BindTextAsInteger(sqlite3_stmt* stmt, int index, const std::string& text,
                       const std::string& trimmed) {
    if (trimmed.empty()) {
        sqlite3_bind_int64(stmt, index, 0);
        return;
    }
    const auto number = ParseForColumn(trimmed, "int");
    if (!number || *number != number->Round(0) || trimmed.find('.') != std::string::npos) {
        ThrowConversion("Conversion failed when converting the varchar value '" + text +
                            "' to data type int.",
                        "22018");
    }
    std::int64_t whole = 0;
    try {
        whole = number->ToInt64Rounded();
    } catch (const VbError&) {
        ThrowOverflow("int");
    }
    sqlite3_bind_int64(stmt, index, whole);
}

void BindTextAsDecimal(sqlite3_stmt* stmt, int index, const std::string& trimmed) {
    const auto number = ParseForColumn(trimmed, "numeric");
    if (!number) {
        ThrowConversion("Error converting data type varchar to numeric.", "22018");
    }
    BindText(stmt, index, number->ToString());
}

void BindTextAsDouble(sqlite3_stmt* stmt, int index, const std::string& trimmed) {
    if (trimmed.empty()) {
        sqlite3_bind_double(stmt, index, 0.0);
        return;
    }
    const auto number = ParseForColumn(trimmed, "float");
    if (!number) {
        ThrowConversion("Error converting data type varchar to float.", "22018");
    }
    sqlite3_bind_double(stmt, index, number->ToDouble());
}

void BindTextAsBoolean(sqlite3_stmt* stmt, int index, const std::string& text,
                       const std::string& trimmed) {
    if (trimmed.empty()) {
        sqlite3_bind_int(stmt, index, 0);
        return;
    }
    if (EqualsNoCase(trimmed, "true") || EqualsNoCase(trimmed, "false")) {
        sqlite3_bind_int(stmt, index, EqualsNoCase(trimmed, "true") ? 1 : 0);
        return;
    }
    const auto number = TryParseDecimal(trimmed);
    if (!number) {
        ThrowConversion("Conversion failed when converting the varchar value '" + text +
                            "' to data type bit.",
                        "22018");
    }
    sqlite3_bind_int(stmt, index, number->IsZero() ? 0 : 1);
}

void BindTextInto(sqlite3_stmt* stmt, int index, const std::string& text, ValueKind target,
                  TextLife life) {
    if (target == ValueKind::ByStorage || target == ValueKind::Text || target == ValueKind::Bytes) {
        sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                          life == TextLife::OutlivesStatement ? SQLITE_STATIC : SQLITE_TRANSIENT);
        return;
    }
    const std::string trimmed = Trim(text);
    switch (target) {
    case ValueKind::Date:
        BindTextAsDate(stmt, index, trimmed);
        return;
    case ValueKind::Long:
    case ValueKind::Integer:
        BindTextAsInteger(stmt, index, text, trimmed);
        return;
    case ValueKind::Decimal:
        BindTextAsDecimal(stmt, index, trimmed);
        return;
    case ValueKind::Double:
        BindTextAsDouble(stmt, index, trimmed);
        return;
    case ValueKind::Boolean:
        BindTextAsBoolean(stmt, index, text, trimmed);
        return;
    case ValueKind::ByStorage:
    case ValueKind::Text:
    case ValueKind::Bytes:
        return; // bound above
    }
}

} // namespace

Variant WholeNumber(std::int64_t value) {
    return FromInteger(value);
}

std::optional<Decimal> TryParseDecimal(std::string_view text) {
    try {
        return Decimal::Parse(text);
    } catch (const VbError&) {
        return std::nullopt;
    }
}

ValueKind KindOfDeclType(std::string_view declType) {
    const std::string base = BaseTypeName(declType);
    if (base.empty()) {
        return ValueKind::ByStorage;
    }
    if (base == "datetime" || base == "date" || base == "smalldatetime" || base == "datetime2") {
        return ValueKind::Date;
    }
    if (base == "decimal" || base == "numeric" || base == "money" || base == "smallmoney") {
        return ValueKind::Decimal;
    }
    if (base == "int" || base == "integer" || base == "bigint") {
        return ValueKind::Long;
    }
    if (base == "smallint" || base == "tinyint") {
        return ValueKind::Integer;
    }
    if (base == "bit" || base == "boolean") {
        return ValueKind::Boolean;
    }
    if (base == "float" || base == "real" || base == "double") {
        return ValueKind::Double;
    }
    if (base == "uniqueidentifier" || base == "xml" || base == "sysname" || base == "time") {
        return ValueKind::Text;
    }
    if (base == "binary" || base == "varbinary" || base == "image" || base == "blob") {
        return ValueKind::Bytes;
    }
    // Anything else follows SQLite's own affinity rules.
    if (Has(base, "int")) {
        return ValueKind::Long;
    }
    if (Has(base, "char") || Has(base, "clob") || Has(base, "text")) {
        return ValueKind::Text;
    }
    if (Has(base, "real") || Has(base, "floa") || Has(base, "doub")) {
        return ValueKind::Double;
    }
    return ValueKind::ByStorage;
}

bool IsTextDeclType(std::string_view declType) {
    const std::string base = BaseTypeName(declType);
    return KindOfDeclType(declType) == ValueKind::Text && base != "uniqueidentifier";
}

StoredValue ReadStored(sqlite3_stmt* stmt, int index) {
    // Read through the cell's value object: one column look-up, not one per call (in
    // multi-thread mode an unprotected value reads like any other).
    sqlite3_value* cell = sqlite3_column_value(stmt, index);
    StoredValue value;
    value.storage = sqlite3_value_type(cell);
    switch (value.storage) {
    case SQLITE_INTEGER:
        value.integer = sqlite3_value_int64(cell);
        break;
    case SQLITE_FLOAT:
        value.real = sqlite3_value_double(cell);
        break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        const void* data = value.storage == SQLITE_TEXT
                               ? static_cast<const void*>(sqlite3_value_text(cell))
                               : sqlite3_value_blob(cell);
        const int size = sqlite3_value_bytes(cell);
        if (data != nullptr) {
            value.bytes =
                std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size));
        }
        break;
    }
    default:
        break;
    }
    return value;
}

Variant DecodeValue(const StoredValue& value, ValueKind kind) {
    if (value.storage == SQLITE_NULL) {
        return Variant::Null();
    }
    switch (kind) {
    case ValueKind::Date:
        if (value.storage == SQLITE_TEXT) {
            if (auto date = DateTime::ParseIso(value.bytes)) {
                return Variant(*date);
            }
            return Variant(std::string(value.bytes));
        }
        return ByStorageClass(value);
    case ValueKind::Decimal:
        return ReadDecimal(value);
    case ValueKind::Long:
        return ReadWhole(value, false);
    case ValueKind::Integer:
        return ReadWhole(value, true);
    case ValueKind::Boolean:
        return ReadBoolean(value);
    case ValueKind::Double:
        if (value.storage == SQLITE_INTEGER || value.storage == SQLITE_FLOAT) {
            return Variant(AsDouble(value));
        }
        return ByStorageClass(value);
    case ValueKind::Text: {
        if (value.storage == SQLITE_BLOB) {
            return ByStorageClass(value);
        }
        std::array<char, 40> rendered{};
        return Variant(std::string(AsText(value, rendered)));
    }
    case ValueKind::Bytes:
    case ValueKind::ByStorage:
        return ByStorageClass(value);
    }
    return ByStorageClass(value);
}

bool KeepsWholeNumbers(std::string_view declType) {
    // SQLite's affinity rules, in their order: INTEGER, TEXT, none (BLOB or no type), REAL,
    // NUMERIC.
    const std::string type = AsciiLower(declType);
    if (Has(type, "int")) {
        return true;
    }
    if (Has(type, "char") || Has(type, "clob") || Has(type, "text")) {
        return false;
    }
    return Has(type, "blob") || !(Has(type, "real") || Has(type, "floa") || Has(type, "doub"));
}

std::optional<StoredValue> StoredAsBound(const Variant& value, ValueKind kind,
                                         bool keepsWholeNumbers) {
    StoredValue stored;
    switch (value.Type()) {
    case VarType::Empty:
    case VarType::Null:
        return stored;
    case VarType::Boolean:
        stored.integer = value.ToBool() ? 1 : 0;
        break;
    case VarType::Integer:
    case VarType::Long:
        if (kind == ValueKind::Date) {
            return std::nullopt; // bound as a date's text
        }
        stored.integer = value.ToLong();
        break;
    default:
        return std::nullopt;
    }
    if (!keepsWholeNumbers) {
        return std::nullopt;
    }
    stored.storage = SQLITE_INTEGER;
    return stored;
}

Variant ReadColumn(sqlite3_stmt* stmt, int index, ValueKind kind) {
    return DecodeValue(ReadStored(stmt, index), kind);
}

namespace {

/// Binds a decimal for a decimal column as the number SQLite stores for its text there (the
/// column's NUMERIC affinity turns a number's text into the number), without the text: a whole
/// number as an integer; else its digits over its power of ten, divided in long double and
/// rounded to a double, as SQLite's own reading of the text computes it. False for a decimal of
/// more than 15 digits or 18 places, which is bound as text.
bool BindDecimalNumber(sqlite3_stmt* stmt, int index, const Decimal& value) {
    constexpr std::int64_t kDigits15 = 1'000'000'000'000'000;
    constexpr int kMostPlaces = 18;
    const std::optional<std::int64_t> mantissa = value.Mantissa64();
    const int places = value.Scale();
    if (!mantissa || *mantissa <= -kDigits15 || *mantissa >= kDigits15 || places > kMostPlaces) {
        return false;
    }
    std::int64_t power = 1;
    for (int i = 0; i < places; ++i) {
        power *= 10;
    }
    if (*mantissa % power == 0) {
        sqlite3_bind_int64(stmt, index, *mantissa / power);
        return true;
    }
    // Both operands are exact in long double (10^18 and 15 digits are), so the quotient is
    // rounded once there and once to double, whatever trailing zeros the digits have.
    sqlite3_bind_double(
        stmt, index,
        static_cast<double>(static_cast<long double>(*mantissa) / static_cast<long double>(power)));
    return true;
}

} // namespace

void BindValue(sqlite3_stmt* stmt, int index, const Variant& value, ValueKind target,
               TextLife life) {
    switch (value.Type()) {
    case VarType::Empty:
    case VarType::Null:
        sqlite3_bind_null(stmt, index);
        return;
    case VarType::Boolean:
        // A bit column stores 1 for True, whatever the runtime's -1.
        sqlite3_bind_int(stmt, index, value.ToBool() ? 1 : 0);
        return;
    case VarType::Integer:
    case VarType::Long:
        if (target == ValueKind::Date) {
            BindText(stmt, index, DateFromDays(static_cast<double>(value.ToLong())));
            return;
        }
        sqlite3_bind_int64(stmt, index, value.ToLong());
        return;
    case VarType::Decimal:
        if (target == ValueKind::Date) {
            BindText(stmt, index, DateFromDays(value.ToDouble()));
            return;
        }
        if (target == ValueKind::Double) {
            sqlite3_bind_double(stmt, index, value.ToDouble());
            return;
        }
        if (target == ValueKind::Decimal && BindDecimalNumber(stmt, index, value.ToDecimal())) {
            return;
        }
        // As text: a NUMERIC column stores it as a number, a text column keeps it exact.
        BindText(stmt, index, value.ToDecimal().ToString());
        return;
    case VarType::Double:
        if (target == ValueKind::Date) {
            BindText(stmt, index, DateFromDays(value.ToDouble()));
            return;
        }
        sqlite3_bind_double(stmt, index, value.ToDouble());
        return;
    case VarType::String:
        BindTextInto(stmt, index, *value.AsString(), target, life);
        return;
    case VarType::Date:
        if (target == ValueKind::Long || target == ValueKind::Integer ||
            target == ValueKind::Decimal || target == ValueKind::Double ||
            target == ValueKind::Boolean) {
            ThrowConversion("Implicit conversion from data type datetime to a number is not "
                            "allowed.",
                            "22018");
        }
        BindIsoDate(stmt, index, value.ToDate());
        return;
    case VarType::Bytes: {
        const auto& bytes = *value.AsBytes();
        sqlite3_bind_blob(stmt, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        return;
    }
    }
}

} // namespace kvad::db
