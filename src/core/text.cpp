#include "kvad_nso/text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace kvad {
namespace {

bool IsContinuation(unsigned char c) noexcept {
    return (c & 0xC0U) == 0x80U;
}

/// Where the run of ASCII bytes from `i` ends: the bulk of an order, checked eight bytes at a
/// time.
std::size_t AsciiRunEnd(const unsigned char* p, std::size_t i, std::size_t n) noexcept {
    while (i + 8 <= n) {
        std::uint64_t word = 0;
        std::memcpy(&word, p + i, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0) {
            break;
        }
        i += 8;
    }
    while (i < n && p[i] < 0x80) {
        ++i;
    }
    return i;
}

/// The length of the valid UTF-8 sequence that starts at `i` with a byte of 0x80 or above; 0
/// when it is not one.
std::size_t Utf8SequenceAt(const unsigned char* p, std::size_t i, std::size_t n) noexcept {
    const unsigned char c = p[i];
    std::size_t len = 0;
    // The range of the second byte, narrower after the leads of overlong forms, surrogates and
    // code points above U+10FFFF.
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + len > n || p[i + 1] < lo || p[i + 1] > hi) {
        return 0;
    }
    for (std::size_t k = 2; k < len; ++k) {
        if (p[i + k] < 0x80 || p[i + k] > 0xBF) {
            return 0;
        }
    }
    return len;
}

} // namespace

std::size_t Utf8Length(std::string_view text) noexcept {
    // The bytes less the continuation bytes (10xxxxxx), eight at a time: a document's whole text
    // is measured this way.
    constexpr std::uint64_t kTopBits = 0x8080808080808080ULL;
    constexpr std::uint64_t kByteSum = 0x0101010101010101ULL;
    std::size_t continuations = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, sizeof word);
        // Each byte's bit 6 moves to its bit 7: a continuation byte keeps bit 7 set and clear.
        const std::uint64_t marks = (word & ~(word << 1) & kTopBits) >> 7;
        continuations += static_cast<std::size_t>((marks * kByteSum) >> 56);
    }
    for (; i < text.size(); ++i) {
        continuations +=
            static_cast<std::size_t>(IsContinuation(static_cast<unsigned char>(text[i])));
    }
    return text.size() - continuations;
}

std::string Utf8Left(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[i]))) {
            if (seen == count) {
                return std::string(text.substr(0, i));
            }
            ++seen;
        }
    }
    return std::string(text);
}

std::string Utf8Right(std::string_view text, std::size_t count) {
    const std::size_t length = Utf8Length(text);
    if (count >= length) {
        return std::string(text);
    }
    std::size_t skip = length - count;
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsContinuation(static_cast<unsigned char>(text[i]))) {
            if (seen == skip) {
                return std::string(text.substr(i));
            }
            ++seen;
        }
    }
    return {};
}

std::string EscapeMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (true) {
        const std::size_t hit = from.empty() ? std::string_view::npos : text.find(from, pos);
        if (hit == std::string_view::npos) {
            out.append(text.substr(pos));
            return out;
        }
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = AsciiLower(c);
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

int CompareNoCase(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

std::string TextOfSqlLiteral(std::string_view literal) {
    if (EqualsNoCase(literal, "null")) {
        return {};
    }
    std::string_view body = literal;
    if (body.starts_with("N'") || body.starts_with("n'")) {
        body.remove_prefix(1);
    }
    if (!body.starts_with('\'')) {
        return std::string(literal);
    }
    body.remove_prefix(1);
    // Inside the literal apostrophes come in pairs: an odd run at the end holds the closing one.
    const std::size_t lastOther = body.find_last_not_of('\'');
    const std::size_t closing =
        body.size() - (lastOther == std::string_view::npos ? 0 : lastOther + 1);
    if (closing % 2 == 1) {
        body.remove_suffix(1);
    }
    return ReplaceAll(body, "''", "'");
}

std::size_t FirstInvalidUtf8(std::string_view text) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = AsciiRunEnd(p, 0, n);
    while (i < n) {
        const std::size_t len = Utf8SequenceAt(p, i, n);
        if (len == 0) {
            return i;
        }
        i = AsciiRunEnd(p, i + len, n);
    }
    return std::string_view::npos;
}

} // namespace kvad
