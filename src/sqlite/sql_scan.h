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

/// A letter, '_' or a byte of a multi-byte UTF-8 character.
[[nodiscard]] bool IsWordStart(char c) noexcept;
/// What goes on a word: IsWordStart, a digit or '$'.
[[nodiscard]] bool IsWordChar(char c) noexcept;
[[nodiscard]] bool IsDigit(char c) noexcept;
/// Blank, tab, CR, LF, form feed or vertical tab.
[[nodiscard]] bool IsSqlBlank(char c) noexcept;

/// True when a number starts at `i`: a digit, or a '.' before one.
[[nodiscard]] bool StartsNumber(std::string_view text, std::size_t i) noexcept;
/// Where the number starting at `i` ends: it runs over word characters, '.' and the sign of an
/// exponent ("1.5e-3"), so that a number glued to a word is one token.
[[nodiscard]] std::size_t NumberEnd(std::string_view text, std::size_t i) noexcept;
/// Where the run of word characters from `i` ends.
[[nodiscard]] std::size_t WordEnd(std::string_view text, std::size_t i) noexcept;

/// True when a comment starts at `i` ("--" or "/*").
[[nodiscard]] bool StartsComment(std::string_view text, std::size_t i) noexcept;
/// Where the comment starting at `i` ends: after its line, or after "*/"; the end of the text
/// when it is not closed.
[[nodiscard]] std::size_t CommentEnd(std::string_view text, std::size_t i) noexcept;

} // namespace kvad::db
