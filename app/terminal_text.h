#pragma once
// Text as nso prints it: values that came from outside (a document, a file name, a platform)
// made harmless for a terminal or a settings file, and the cells of its tables.

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace nsoapp {

/// The text with its control characters written as escapes (\r, \n, \t, \xHH for the other C0
/// characters and DEL, \u00HH for C1), so that a value can neither break a line of output nor
/// drive the terminal.
[[nodiscard]] std::string Printable(std::string_view text);

/// The text as a TOML basic string, between double quotes, so that it can be pasted into a
/// settings file: quotes, backslashes and control characters escaped.
[[nodiscard]] std::string TomlString(std::string_view text);

/// The text cut to `width` characters and padded with spaces to that width.
[[nodiscard]] std::string Padded(const std::string& text, std::size_t width);

/// A table cell: the text cut and padded to `width` characters, then one space.
[[nodiscard]] std::string Cell(const std::string& text, std::size_t width);

/// A cell aligned right (numbers): cut, padded on the left to `width`, then one space.
[[nodiscard]] std::string RightCell(const std::string& text, std::size_t width);

/// The texts one after the other with `separator` between them.
[[nodiscard]] std::string Joined(const std::vector<std::string>& texts,
                                 const std::string& separator);

/// A reason in two parts: the plain words nso says, and the component's, the catalogue's or a
/// library's own text that came with them, which nso prints on a line of its own.
struct SplitReason {
    std::string plain;
    std::string detail; ///< "" when there is none
};

/// Splits "it could not be staged: <the component's text>" (and the reference's like it) into
/// the plain words and the text they quote; a reason of another form is all plain.
[[nodiscard]] SplitReason SplitDetail(const std::string& reason);

/// Prints each line of `text` (lines end with CR LF, LF or a lone CR, as the component writes
/// them) after `indent`, escaped as Printable does; nothing for an empty text.
void PrintBeneath(std::ostream& out, const std::string& text, const std::string& indent);

} // namespace nsoapp
