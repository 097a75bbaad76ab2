#include "kvad_nso/text.h"

#include <algorithm>
#include <cctype>

namespace kvad {
namespace {

bool IsContinuation(unsigned char c) noexcept {
    return (c & 0xC0U) == 0x80U;
}

} // namespace

std::size_t Utf8Length(std::string_view text) noexcept {
    std::size_t count = 0;
    for (unsigned char c : text) {
        if (!IsContinuation(c)) {
            ++count;
        }
    }
    return count;
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

} // namespace kvad
