#pragma once
/// Exact decimal numbers with up to 28 significant digits, as the ERP's amounts need them.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvad {

/// A signed decimal: a 96-bit integer mantissa scaled by 10^-scale (scale 0..28).
/// Arithmetic is exact where the result fits; otherwise it is rounded half-even to 28
/// significant digits. Overflow throws VbError 6 ("Overflow"), division by zero VbError 11.
class Decimal {
  public:
    static constexpr int kMaxScale = 28;

    constexpr Decimal() noexcept = default;
    /// Builds from an integer (exact).
    explicit Decimal(std::int64_t value) noexcept;

    /// Reads "-12.50", "+3", ".5", "1e3" (invariant form: '.' as separator, no grouping).
    /// Leading and trailing blanks are allowed. Returns nullopt for anything else; a number too
    /// large for a Decimal throws VbError 6.
    [[nodiscard]] static std::optional<Decimal> Parse(std::string_view text);
    /// `mantissa` times ten to the power of minus `scale` (0 to kMaxScale), exactly.
    [[nodiscard]] static Decimal FromScaled(std::int64_t mantissa, int scale) noexcept;
    /// Converts a double through its shortest round-trip text, never through binary arithmetic.
    /// Returns nullopt for infinities and NaN; throws VbError 6 when the value is too large.
    [[nodiscard]] static std::optional<Decimal> FromDouble(double value);

    /// Invariant text: '.' separator, no grouping, no trailing zeros ("12.5", "-0.002", "0").
    [[nodiscard]] std::string ToString() const;
    [[nodiscard]] double ToDouble() const noexcept;
    /// Integer part rounded half-even; throws VbError 6 when it does not fit.
    [[nodiscard]] std::int64_t ToInt64Rounded() const;

    /// Rounds to `places` decimals (0..28), a half going to the even neighbour.
    [[nodiscard]] Decimal Round(int places) const;
    [[nodiscard]] int Sign() const noexcept;
    [[nodiscard]] int Scale() const noexcept { return scale_; }
    /// The integer this decimal is ten to the power of minus Scale() times, when it fits 64 bits.
    [[nodiscard]] std::optional<std::int64_t> Mantissa64() const noexcept;
    [[nodiscard]] bool IsZero() const noexcept { return mantissa_ == 0; }
    [[nodiscard]] Decimal Negated() const noexcept;

    friend Decimal operator+(const Decimal& a, const Decimal& b);
    friend Decimal operator-(const Decimal& a, const Decimal& b);
    friend Decimal operator*(const Decimal& a, const Decimal& b);
    friend Decimal operator/(const Decimal& a, const Decimal& b);
    friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) noexcept;
    friend bool operator==(const Decimal& a, const Decimal& b) noexcept {
        return (a <=> b) == std::strong_ordering::equal;
    }

  private:
    // The extension keyword keeps -Wpedantic quiet about the 128-bit integer type.
    __extension__ typedef __int128 Int128;

    Decimal(Int128 mantissa, int scale) noexcept : mantissa_(mantissa), scale_(scale) {}
    static Decimal Normalize(const std::string& digits, bool negative, int scale);

    Int128 mantissa_ = 0;
    int scale_ = 0;
};

} // namespace kvad
