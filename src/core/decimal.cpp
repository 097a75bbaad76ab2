#include "kvad_nso/decimal.h"

#include <gmp.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "kvad_nso/errors.h"

namespace kvad {
namespace {

__extension__ typedef __int128 I128;
__extension__ typedef unsigned __int128 U128;

constexpr int kMaxDigits = 28;
// The largest mantissa: 2^96 - 1 = 79228162514264337593543950335 (29 digits).
constexpr U128 kMaxMantissa = (static_cast<U128>(1) << 96) - 1;
constexpr int kMaxMantissaDigits = 29;

constexpr std::array<U128, 39> MakePowersOfTen() {
    std::array<U128, 39> powers{};
    powers[0] = 1;
    for (std::size_t i = 1; i < powers.size(); ++i) {
        powers[i] = powers[i - 1] * 10;
    }
    return powers;
}
constexpr std::array<U128, 39> kPow10 = MakePowersOfTen();

[[noreturn]] void ThrowDivisionByZero() {
    throw VbError(vberr::kDivisionByZero, "Division by zero");
}

U128 Magnitude(I128 value) noexcept {
    return value < 0 ? static_cast<U128>(0) - static_cast<U128>(value) : static_cast<U128>(value);
}

int DigitCount(U128 value) noexcept {
    int count = 1;
    while (count < 39 && value >= kPow10[static_cast<std::size_t>(count)]) {
        ++count;
    }
    return count;
}

std::string ToDigits(U128 value) {
    if (value == 0) {
        return "0";
    }
    std::string digits;
    while (value != 0) {
        digits.push_back(static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    }
    std::reverse(digits.begin(), digits.end());
    return digits;
}

bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) noexcept {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

/// An owned GMP integer, for the intermediates that do not fit in 128 bits.
class BigInt {
  public:
    BigInt() { mpz_init(value_); }
    explicit BigInt(U128 magnitude) {
        mpz_init(value_);
        const std::array<unsigned long long, 2> words = {
            static_cast<unsigned long long>(magnitude),
            static_cast<unsigned long long>(magnitude >> 64)};
        mpz_import(value_, words.size(), -1, sizeof(unsigned long long), 0, 0, words.data());
    }
    BigInt(const BigInt&) = delete;
    BigInt& operator=(const BigInt&) = delete;
    BigInt(BigInt&&) = delete;
    BigInt& operator=(BigInt&&) = delete;
    ~BigInt() { mpz_clear(value_); }

    void MultiplyByPowerOfTen(int exponent) {
        if (exponent <= 0) {
            return;
        }
        BigInt power;
        mpz_ui_pow_ui(power.value_, 10, static_cast<unsigned long>(exponent));
        mpz_mul(value_, value_, power.value_);
    }

    [[nodiscard]] std::string Digits() const {
        std::string text(mpz_sizeinbase(value_, 10) + 2, '\0');
        mpz_get_str(text.data(), 10, value_);
        text.resize(text.find('\0'));
        if (!text.empty() && text.front() == '-') {
            text.erase(0, 1);
        }
        return text;
    }

    [[nodiscard]] int Sign() const noexcept { return mpz_sgn(value_); }

    mpz_t value_;
};

/// Signed value of a mantissa as a GMP integer.
void SetSigned(BigInt& target, I128 value) {
    BigInt magnitude(Magnitude(value));
    if (value < 0) {
        mpz_neg(target.value_, magnitude.value_);
    } else {
        mpz_set(target.value_, magnitude.value_);
    }
}

/// Adds one unit to the last digit of a decimal digit string.
void Increment(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

/// Drops the last `count` digits, rounding the half to the even neighbour.
void DropDigitsHalfEven(std::string& digits, std::size_t count) {
    if (count > digits.size()) {
        digits.clear(); // every kept digit is a leading zero: less than half
        return;
    }
    const std::string dropped = digits.substr(digits.size() - count);
    digits.resize(digits.size() - count);
    bool up = false;
    if (dropped[0] > '5') {
        up = true;
    } else if (dropped[0] == '5') {
        const bool above_half = dropped.find_first_not_of('0', 1) != std::string::npos;
        const bool last_odd = !digits.empty() && ((digits.back() - '0') % 2 == 1);
        up = above_half || last_odd;
    }
    if (up) {
        Increment(digits);
    }
}

std::optional<U128> ParseMagnitude(const std::string& digits) {
    if (static_cast<int>(digits.size()) > kMaxMantissaDigits) {
        return std::nullopt;
    }
    U128 value = 0;
    for (const char c : digits) {
        value = value * 10 + static_cast<U128>(c - '0');
    }
    if (value > kMaxMantissa) {
        return std::nullopt;
    }
    return value;
}

} // namespace

Decimal::Decimal(std::int64_t value) noexcept : mantissa_(value), scale_(0) {}

Decimal Decimal::FromScaled(std::int64_t mantissa, int scale) noexcept {
    return {mantissa, std::clamp(scale, 0, kMaxScale)};
}

std::optional<std::int64_t> Decimal::Mantissa64() const noexcept {
    if (mantissa_ < std::numeric_limits<std::int64_t>::min() ||
        mantissa_ > std::numeric_limits<std::int64_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(mantissa_);
}

// Brings any digit string and scale within the limits: at most 28 decimals, at most 28
// significant digits when there is a fraction, a mantissa below 2^96. Fraction digits are
// dropped with half-even rounding; an integer part that does not fit is an overflow.
Decimal Decimal::Normalize(const std::string& digits, bool negative, int scale) {
    std::string d = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
    if (scale < 0) {
        if (d.empty()) {
            scale = 0;
        } else if (static_cast<int>(d.size()) - scale > kMaxMantissaDigits) {
            ThrowOverflow();
        } else {
            d.append(static_cast<std::size_t>(-scale), '0');
            scale = 0;
        }
    }
    for (;;) {
        const int length = static_cast<int>(d.size());
        int drop = std::max(0, scale - kMaxScale);
        if (scale > 0 && length - drop > kMaxDigits) {
            drop = std::min(scale, length - kMaxDigits);
        }
        std::optional<U128> magnitude;
        if (drop == 0) {
            magnitude = ParseMagnitude(d);
            if (!magnitude) {
                if (scale == 0) {
                    ThrowOverflow();
                }
                drop = 1;
            }
        }
        if (drop == 0) {
            const I128 value = static_cast<I128>(*magnitude);
            return {negative ? -value : value, scale};
        }
        DropDigitsHalfEven(d, static_cast<std::size_t>(drop));
        d.erase(0, std::min(d.find_first_not_of('0'), d.size()));
        scale -= drop;
    }
}

namespace {

/// Whether (mantissa, scale) is already within limits, so no rounding is needed.
bool WithinLimits(I128 mantissa, int scale) noexcept {
    const U128 magnitude = Magnitude(mantissa);
    return scale >= 0 && scale <= Decimal::kMaxScale && magnitude <= kMaxMantissa &&
           (scale == 0 || DigitCount(magnitude) <= kMaxDigits);
}

bool ScaleUp(I128 value, int exponent, I128& result) noexcept {
    return !__builtin_mul_overflow(
        value, static_cast<I128>(kPow10[static_cast<std::size_t>(exponent)]), &result);
}

} // namespace

namespace {

/// Reads the digits of a mantissa with at most one decimal point into `digits` and `scale`;
/// returns where they end.
std::size_t ReadMantissa(std::string_view text, std::string& digits, int& scale) {
    bool seenPoint = false;
    std::size_t pos = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
            scale += seenPoint ? 1 : 0;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    return pos;
}

/// A number of at most 18 digits without an exponent, read straight into its mantissa: the
/// common case (a quantity, a price, a stored REAL's text) needs no digit string and no
/// normalizing, which would keep the same mantissa and scale.
struct PlainNumber {
    std::int64_t mantissa = 0;
    int scale = 0;
};
std::optional<PlainNumber> ParsePlain(std::string_view text) {
    constexpr int kPlainDigits = 18;
    PlainNumber number;
    int digits = 0;
    bool seenPoint = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (++digits > kPlainDigits) {
                return std::nullopt;
            }
            number.mantissa = number.mantissa * 10 + (c - '0');
            number.scale += seenPoint ? 1 : 0;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return number;
}

/// The exponent written after the 'e' of a number: an optional sign and digits, nothing else.
std::optional<long> ParseExponent(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    long exponent = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        // Past a few hundred the value is either zero or an overflow anyway.
        exponent = std::min(exponent * 10 + (c - '0'), 100000L);
    }
    return negative ? -exponent : exponent;
}

} // namespace

std::optional<Decimal> Decimal::Parse(std::string_view text) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (auto plain = ParsePlain(text)) {
        return Decimal(negative ? -plain->mantissa : plain->mantissa, plain->scale);
    }
    std::string digits;
    int scale = 0;
    const std::size_t pos = ReadMantissa(text, digits, scale);
    if (digits.empty()) {
        return std::nullopt;
    }
    if (pos < text.size()) {
        if (text[pos] != 'e' && text[pos] != 'E') {
            return std::nullopt;
        }
        const auto exponent = ParseExponent(text.substr(pos + 1));
        if (!exponent) {
            return std::nullopt;
        }
        const long shifted = scale - *exponent;
        scale = static_cast<int>(std::clamp(shifted, -200000L, 200000L));
    }
    return Normalize(digits, negative, scale);
}

std::optional<Decimal> Decimal::FromDouble(double value) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return Parse(
        std::string_view(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data())));
}

std::string Decimal::ToString() const {
    std::string digits = ToDigits(Magnitude(mantissa_));
    int scale = scale_;
    while (scale > 0 && digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
        --scale;
    }
    if (mantissa_ == 0) {
        return "0";
    }
    if (scale > 0) {
        if (static_cast<int>(digits.size()) <= scale) {
            digits.insert(0, static_cast<std::size_t>(scale) - digits.size() + 1, '0');
        }
        digits.insert(digits.size() - static_cast<std::size_t>(scale), 1, '.');
    }
    return mantissa_ < 0 ? "-" + digits : digits;
}

double Decimal::ToDouble() const noexcept {
    const std::string text = ToString();
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::int64_t Decimal::ToInt64Rounded() const {
    const I128 integer = Round(0).mantissa_;
    if (integer < std::numeric_limits<std::int64_t>::min() ||
        integer > std::numeric_limits<std::int64_t>::max()) {
        ThrowOverflow();
    }
    return static_cast<std::int64_t>(integer);
}

Decimal Decimal::Round(int places) const {
    if (places < 0) {
        throw VbError(vberr::kInvalidArgument, "Invalid procedure call or argument");
    }
    if (places >= scale_) {
        return *this;
    }
    const U128 divisor = kPow10[static_cast<std::size_t>(scale_ - places)];
    const U128 magnitude = Magnitude(mantissa_);
    U128 quotient = magnitude / divisor;
    const U128 twice_remainder = (magnitude % divisor) * 2;
    if (twice_remainder > divisor || (twice_remainder == divisor && quotient % 2 == 1)) {
        ++quotient;
    }
    const I128 value = static_cast<I128>(quotient);
    return {mantissa_ < 0 ? -value : value, places};
}

int Decimal::Sign() const noexcept {
    return mantissa_ < 0 ? -1 : (mantissa_ > 0 ? 1 : 0);
}

Decimal Decimal::Negated() const noexcept {
    return {-mantissa_, scale_};
}

Decimal operator+(const Decimal& a, const Decimal& b) {
    const int scale = std::max(a.scale_, b.scale_);
    I128 left = 0;
    I128 right = 0;
    I128 sum = 0;
    if (ScaleUp(a.mantissa_, scale - a.scale_, left) &&
        ScaleUp(b.mantissa_, scale - b.scale_, right) &&
        !__builtin_add_overflow(left, right, &sum)) {
        if (WithinLimits(sum, scale)) {
            return {sum, scale};
        }
        return Decimal::Normalize(ToDigits(Magnitude(sum)), sum < 0, scale);
    }
    BigInt x;
    BigInt y;
    SetSigned(x, a.mantissa_);
    SetSigned(y, b.mantissa_);
    x.MultiplyByPowerOfTen(scale - a.scale_);
    y.MultiplyByPowerOfTen(scale - b.scale_);
    mpz_add(x.value_, x.value_, y.value_);
    return Decimal::Normalize(x.Digits(), x.Sign() < 0, scale);
}

Decimal operator-(const Decimal& a, const Decimal& b) {
    return a + b.Negated();
}

Decimal operator*(const Decimal& a, const Decimal& b) {
    const int scale = a.scale_ + b.scale_;
    I128 product = 0;
    if (!__builtin_mul_overflow(a.mantissa_, b.mantissa_, &product)) {
        if (WithinLimits(product, scale)) {
            return {product, scale};
        }
        return Decimal::Normalize(ToDigits(Magnitude(product)), product < 0, scale);
    }
    BigInt x(Magnitude(a.mantissa_));
    BigInt y(Magnitude(b.mantissa_));
    mpz_mul(x.value_, x.value_, y.value_);
    return Decimal::Normalize(x.Digits(), (a.mantissa_ < 0) != (b.mantissa_ < 0), scale);
}

// The quotient is computed to 29 decimals, one more than can be kept, plus a sticky digit
// when the division is inexact, so that the one rounding in Normalize is correct.
Decimal operator/(const Decimal& a, const Decimal& b) {
    if (b.mantissa_ == 0) {
        ThrowDivisionByZero();
    }
    if (a.mantissa_ == 0) {
        return Decimal{};
    }
    constexpr int kWorkScale = Decimal::kMaxScale + 1;
    BigInt numerator(Magnitude(a.mantissa_));
    numerator.MultiplyByPowerOfTen(kWorkScale + b.scale_ - a.scale_);
    BigInt denominator(Magnitude(b.mantissa_));
    BigInt quotient;
    BigInt remainder;
    mpz_tdiv_qr(quotient.value_, remainder.value_, numerator.value_, denominator.value_);
    std::string digits = quotient.Digits();
    int scale = kWorkScale;
    if (remainder.Sign() != 0) {
        digits.push_back('1');
        ++scale;
    }
    Decimal result = Decimal::Normalize(digits, (a.mantissa_ < 0) != (b.mantissa_ < 0), scale);
    while (result.scale_ > 0 && result.mantissa_ % 10 == 0) {
        result.mantissa_ /= 10;
        --result.scale_;
    }
    return result;
}

std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) noexcept {
    const int sign_a = a.Sign();
    const int sign_b = b.Sign();
    if (sign_a != sign_b) {
        return sign_a <=> sign_b;
    }
    const int scale = std::max(a.scale_, b.scale_);
    I128 left = 0;
    I128 right = 0;
    const bool left_fits = ScaleUp(a.mantissa_, scale - a.scale_, left);
    const bool right_fits = ScaleUp(b.mantissa_, scale - b.scale_, right);
    if (left_fits && right_fits) {
        return left <=> right;
    }
    // The one that does not fit in 128 bits once aligned is the larger in magnitude.
    const bool a_larger = !left_fits;
    if (sign_a > 0) {
        return a_larger ? std::strong_ordering::greater : std::strong_ordering::less;
    }
    return a_larger ? std::strong_ordering::less : std::strong_ordering::greater;
}

} // namespace kvad
