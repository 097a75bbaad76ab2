#pragma once
/// Character-level helpers for UTF-8 text: lengths and cuts count characters, not bytes, as
/// the ERP's column sizes do.

#include <cstddef>
#include <string>
#include <string_view>

namespace kvad {

/// Offset of the first byte that does not start a well-formed UTF-8 sequence (overlong forms,
/// surrogates and code points above U+10FFFF are not), or npos.
[[nodiscard]] std::size_t FirstInvalidUtf8(std::string_view text) noexcept;
/// Number of characters (code points) in UTF-8 text.
[[nodiscard]] std::size_t Utf8Length(std::string_view text) noexcept;
/// The first `count` characters of UTF-8 text (never cuts inside a character).
[[nodiscard]] std::string Utf8Left(std::string_view text, std::size_t count);
/// The last `count` characters of UTF-8 text.
[[nodiscard]] std::string Utf8Right(std::string_view text, std::size_t count);
/// The text with &, <, >, " and ' written as character references, fit for XML and HTML text
/// and attribute values.
[[nodiscard]] std::string EscapeMarkup(std::string_view text);
/// Replaces every occurrence of `from` (non-empty) by `to`.
[[nodiscard]] std::string ReplaceAll(std::string_view text, std::string_view from,
                                     std::string_view to);
/// The lower-case form of an ASCII letter; any other byte unchanged.
[[nodiscard]] constexpr char AsciiLower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
/// Upper-cases ASCII letters.
[[nodiscard]] std::string AsciiUpper(std::string_view text);
/// Lower-cases ASCII letters.
[[nodiscard]] std::string AsciiLower(std::string_view text);
/// Compares ignoring the case of ASCII letters, as SQL Server's default collation compares names
/// and text (other bytes compare as they are).
[[nodiscard]] bool EqualsNoCase(std::string_view a, std::string_view b) noexcept;
/// -1, 0 or 1 as a sorts before, equal to or after b, ignoring the case of ASCII letters.
[[nodiscard]] int CompareNoCase(std::string_view a, std::string_view b) noexcept;
/// The text a SQL text literal stands for: N'...' or '...' without its quotes and with its
/// doubled apostrophes made single (a literal cut before its closing apostrophe too); "" for
/// the literal null. Anything else is not a literal and comes back unchanged.
[[nodiscard]] std::string TextOfSqlLiteral(std::string_view literal);

} // namespace kvad
