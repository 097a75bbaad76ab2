#pragma once
// HTML text for the web host's pages: every value from an order, the master data or a clerk goes
// through Escape before it is written into a page.

#include <string>
#include <string_view>

namespace nsoweb {

/// `text` with &, <, >, " and ' written as character references, safe in element content and in
/// quoted attribute values.
[[nodiscard]] std::string Escape(std::string_view text);

/// `text` made safe for a URL's query value (percent-encoding of all but unreserved characters).
[[nodiscard]] std::string UrlEncode(std::string_view text);

} // namespace nsoweb
