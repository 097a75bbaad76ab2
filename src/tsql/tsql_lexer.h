#pragma once
// Tokenizer for the T-SQL statements the component sends. Blanks, line breaks and comments
// separate tokens and are dropped; every token keeps its offset for error messages.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kvad::db::tsql {

/// What a token is.
enum class TokenKind {
    Word,   ///< identifier or keyword, also #temp names and @variables ("SELECT", "#TEMP_ORD")
    Quoted, ///< delimited identifier, [name] or "name"
    Number, ///< numeric literal ("12", "1.5", "2E3")
    String, ///< string literal, text unescaped; `national` tells N'...'
    Symbol, ///< operator or punctuation ("(", "<>", ".", ...)
    End,    ///< end of the statement text
};

/// One token of a statement.
struct Token {
    TokenKind kind = TokenKind::End;
    /// Words and symbols as written; quoted identifiers without delimiters; string literals
    /// unescaped and without quotes.
    std::string text;
    /// String literal written N'...'.
    bool national = false;
    /// Offset of the token's first character in the statement.
    std::size_t offset = 0;

    /// True for a Word equal to `keyword` regardless of case.
    [[nodiscard]] bool IsWord(std::string_view keyword) const noexcept;
    /// True for a Symbol equal to `symbol`.
    [[nodiscard]] bool IsSymbol(std::string_view symbol) const noexcept;
};

/// Splits a statement into tokens, ending with one End token. Throws DbError (42000) for an
/// unterminated string, identifier or comment, or a character T-SQL does not know.
[[nodiscard]] std::vector<Token> Tokenize(std::string_view text);

} // namespace kvad::db::tsql
