#pragma once
// Parsing outside text into a libxml2 tree within limits: no DOCTYPE, no entity from outside,
// no more nodes or deeper nesting than allowed. Counting SAX callbacks wrap libxml2's own tree
// builders, so that the parser stops as soon as a limit is passed.

#include <string>
#include <string_view>

#include "libxml_handles.h"
#include "xml/xml_document.h"
#include "xml/xml_scan.h"

namespace kvad::xml {

/// The tree of the text, which has passed CheckRawText; null, with the reason in `failure`, for
/// text that is not well-formed or passes a limit.
[[nodiscard]] DocPtr ParseHardened(std::string_view text, const Limits& limits,
                                   ParseFailure& failure);

/// The parse of ParseHardened without the tree: the events go to `handler`; false, with the
/// reason in `failure`, for text ParseHardened refuses.
[[nodiscard]] bool ScanHardened(std::string_view text, const Limits& limits, ScanHandler& handler,
                                ParseFailure& failure);

} // namespace kvad::xml
