#pragma once
// Pieces for reading SQL text without parsing it: what a word, a number and a comment are, and
// where each ends. The literal finder reads the component's T-SQL with them, the rowid splicer
// the translated SQLite statements.

#include <cstddef>
#include <string_view>

namespace kvad::db {

/// What a token of a statement is.
enum class TokenKind { Word, Name, String, Number, Symbol };

/// A token's kind and where it is in the text: [begin, end).
struct TokenSpan {
    TokenKind kind;
    std::size_t begin;
    std::size_t end;
};

// The character tests are inline: the scans call them for every character of every statement.

/// A letter, '_' or a byte of a multi-byte UTF-8 character.
[[nodiscard]] inline bool IsWordStart(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
[[nodiscard]] inline bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}
/// What goes on a word: IsWordStart, a digit or '$'.
[[nodiscard]] inline bool IsWordChar(char c) noexcept {
    return IsWordStart(c) || IsDigit(c) || c == '$';
}
/// Blank, tab, CR, LF, form feed or vertical tab.
[[nodiscard]] inline bool IsSqlBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

/// True when a number starts at `i`: a digit, or a '.' before one.
[[nodiscard]] inline bool StartsNumber(std::string_view text, std::size_t i) noexcept {
    return i < text.size() &&
           (IsDigit(text[i]) || (text[i] == '.' && i + 1 < text.size() && IsDigit(text[i + 1])));
}
/// Where the number starting at `i` ends: it runs over word characters, '.' and the sign of an
/// exponent ("1.5e-3"), so that a number glued to a word is one token.
[[nodiscard]] std::size_t NumberEnd(std::string_view text, std::size_t i) noexcept;
/// Where the run of word characters from `i` ends.
[[nodiscard]] std::size_t WordEnd(std::string_view text, std::size_t i) noexcept;

/// True when a comment starts at `i` ("--" or "/*").
[[nodiscard]] inline bool StartsComment(std::string_view text, std::size_t i) noexcept {
    return i + 1 < text.size() &&
           ((text[i] == '-' && text[i + 1] == '-') || (text[i] == '/' && text[i + 1] == '*'));
}
/// Where the comment starting at `i` ends: after its line, or after "*/"; the end of the text
/// when it is not closed.
[[nodiscard]] std::size_t CommentEnd(std::string_view text, std::size_t i) noexcept;

} // namespace kvad::db
