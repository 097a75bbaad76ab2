#include "sql_scan.h"

namespace kvad::db {

bool IsWordStart(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool IsWordChar(char c) noexcept {
    return IsWordStart(c) || IsDigit(c) || c == '$';
}

bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

bool IsSqlBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool StartsNumber(std::string_view text, std::size_t i) noexcept {
    return i < text.size() &&
           (IsDigit(text[i]) || (text[i] == '.' && i + 1 < text.size() && IsDigit(text[i + 1])));
}

std::size_t NumberEnd(std::string_view text, std::size_t i) noexcept {
    const auto exponentSign = [&](std::size_t at) {
        return (text[at] == '+' || text[at] == '-') && at > 0 &&
               (text[at - 1] == 'e' || text[at - 1] == 'E');
    };
    while (i < text.size() && (IsWordChar(text[i]) || text[i] == '.' || exponentSign(i))) {
        ++i;
    }
    return i;
}

std::size_t WordEnd(std::string_view text, std::size_t i) noexcept {
    while (i < text.size() && IsWordChar(text[i])) {
        ++i;
    }
    return i;
}

bool StartsComment(std::string_view text, std::size_t i) noexcept {
    return i + 1 < text.size() &&
           ((text[i] == '-' && text[i + 1] == '-') || (text[i] == '/' && text[i + 1] == '*'));
}

std::size_t CommentEnd(std::string_view text, std::size_t i) noexcept {
    if (text[i] == '-') {
        const std::size_t eol = text.find('\n', i);
        return eol == std::string_view::npos ? text.size() : eol + 1;
    }
    const std::size_t close = text.find("*/", i + 2);
    return close == std::string_view::npos ? text.size() : close + 2;
}

} // namespace kvad::db
