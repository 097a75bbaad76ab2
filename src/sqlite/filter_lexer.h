#pragma once
// The tokens of an ADO filter text: field names (bare or in brackets), 'text' literals with
// doubled quotes, #date# literals, numbers, comparison symbols and parentheses.

#include <string>
#include <string_view>
#include <vector>

namespace kvad::db {

/// A token of a filter text; the last one of a text is End.
struct FilterToken {
    enum class Kind { Name, String, Date, Number, Symbol, End };
    Kind kind = Kind::End;
    std::string text; ///< a name, a literal's content, a number as written, a symbol
};

/// The tokens of the text, ending with an End token. Throws VbError 3001 for a literal or a
/// bracketed name that is not closed and for a character no token begins with.
[[nodiscard]] std::vector<FilterToken> LexFilter(std::string_view text);

} // namespace kvad::db
