#pragma once
// Text that came from outside (a document, a file name, a platform) as a terminal shows it.

#include <string>
#include <string_view>

namespace nsoapp {

/// The text with its control characters written as escapes (\r, \n, \t, \xHH for the other C0
/// characters and DEL, \u00HH for C1), so that a value can neither break a line of output nor
/// drive the terminal.
[[nodiscard]] std::string Printable(std::string_view text);

} // namespace nsoapp
