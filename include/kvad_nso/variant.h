#pragma once
/// The dynamically typed value that properties, fields and routine arguments carry.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kvad_nso/date_time.h"
#include "kvad_nso/decimal.h"

namespace kvad {

enum class VarType { Empty, Null, Boolean, Integer, Long, Decimal, Double, String, Date, Bytes };

/// A value of one of the kinds the component works with: Empty (never assigned), Null (no
/// value, as from the database), Boolean, Integer (16-bit), Long (32-bit), exact Decimal,
/// Double, String (UTF-8), Date and byte array.
class Variant {
  public:
    struct EmptyTag {
        friend bool operator==(EmptyTag, EmptyTag) = default;
    };
    struct NullTag {
        friend bool operator==(NullTag, NullTag) = default;
    };
    using Bytes = std::vector<std::uint8_t>;

    Variant() noexcept = default;
    Variant(bool v) : value_(v) {}                          // NOLINT(google-explicit-constructor)
    Variant(std::int16_t v) : value_(v) {}                  // NOLINT(google-explicit-constructor)
    Variant(std::int32_t v) : value_(v) {}                  // NOLINT(google-explicit-constructor)
    Variant(const Decimal& v) : value_(v) {}                // NOLINT(google-explicit-constructor)
    Variant(double v) : value_(v) {}                        // NOLINT(google-explicit-constructor)
    Variant(std::string v) : value_(std::move(v)) {}        // NOLINT(google-explicit-constructor)
    Variant(std::string_view v) : value_(std::string(v)) {} // NOLINT(google-explicit-constructor)
    Variant(const char* v) : value_(std::string(v)) {}      // NOLINT(google-explicit-constructor)
    Variant(const DateTime& v) : value_(v) {}               // NOLINT(google-explicit-constructor)
    Variant(Bytes v) : value_(std::move(v)) {}              // NOLINT(google-explicit-constructor)

    [[nodiscard]] static Variant Null() {
        Variant v;
        v.value_ = NullTag{};
        return v;
    }

    [[nodiscard]] VarType Type() const noexcept { return static_cast<VarType>(value_.index()); }
    [[nodiscard]] bool IsEmpty() const noexcept { return Type() == VarType::Empty; }
    [[nodiscard]] bool IsNull() const noexcept { return Type() == VarType::Null; }
    /// True for Integer, Long, Decimal and Double.
    [[nodiscard]] bool IsNumber() const noexcept;

    /// The text form, as the value concatenated with "" gives it: Empty and Null give "",
    /// Boolean "True"/"False", numbers in invariant form ("." separator, no grouping), dates
    /// in the Italian form (see DateTime::ToText), byte arrays their bytes.
    [[nodiscard]] std::string Text() const;
    /// True when the text form, with trailing blanks removed, is empty ("blank").
    [[nodiscard]] bool IsBlank() const;
    /// True only for the Boolean True (or the numeric -1 that True converts to); any other
    /// non-zero value is not "exactly True".
    [[nodiscard]] bool IsExactlyTrue() const noexcept;

    /// Conversions with the runtime's rules. They throw VbError: 94 "Invalid use of Null" for
    /// Null, 13 "Type mismatch" for text that is not of the kind, 6 "Overflow".
    [[nodiscard]] Decimal ToDecimal() const;
    [[nodiscard]] double ToDouble() const;
    /// Rounds half-even like the runtime's integer conversions.
    [[nodiscard]] std::int32_t ToLong() const;
    [[nodiscard]] std::int16_t ToInteger() const;
    [[nodiscard]] bool ToBool() const;
    /// Dates from text follow the regional (Italian day/month/year) order; ISO text is also read.
    [[nodiscard]] DateTime ToDate() const;

    [[nodiscard]] const std::string* AsString() const noexcept {
        return std::get_if<std::string>(&value_);
    }
    [[nodiscard]] const Bytes* AsBytes() const noexcept { return std::get_if<Bytes>(&value_); }

    /// Same kind and same value (Decimal compared by value, 1.50 == 1.5).
    friend bool operator==(const Variant& a, const Variant& b);

  private:
    std::variant<EmptyTag, NullTag, bool, std::int16_t, std::int32_t, Decimal, double, std::string,
                 DateTime, Bytes>
        value_;
};

/// An array argument (ScriviErrorLog's placeholders, TestoMessaggio's parameters).
using VariantArray = std::vector<Variant>;

/// Removes trailing blanks (spaces) from text.
[[nodiscard]] std::string RightTrim(std::string_view text);
/// Removes leading and trailing blanks (spaces) from text.
[[nodiscard]] std::string Trim(std::string_view text);
/// True when the text is empty or only blanks (spaces); read where it is, without a copy.
[[nodiscard]] bool IsBlankText(std::string_view text) noexcept;

} // namespace kvad
