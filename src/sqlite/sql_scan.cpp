#include "sql_scan.h"

namespace kvad::db {

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

std::size_t CommentEnd(std::string_view text, std::size_t i) noexcept {
    if (text[i] == '-') {
        const std::size_t eol = text.find('\n', i);
        return eol == std::string_view::npos ? text.size() : eol + 1;
    }
    const std::size_t close = text.find("*/", i + 2);
    return close == std::string_view::npos ? text.size() : close + 2;
}

} // namespace kvad::db
