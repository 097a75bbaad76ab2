#pragma once
// Checks on a document's raw bytes before the parser sees them: size, UTF-8, a document type
// declaration in the prolog, nothing but white space.

#include <cstddef>
#include <string>
#include <string_view>

#include "xml/xml_document.h"

namespace kvad::xml {

/// Blank, tab, CR or LF: XML's white space.
[[nodiscard]] bool IsXmlSpace(char c) noexcept;

/// True when the prolog (before the first element) holds a document type declaration. Only
/// the prolog can carry one in a well-formed document.
[[nodiscard]] bool PrologHasDoctype(std::string_view text) noexcept;

/// Whether the raw text can be parsed: false with the reason in `failure`. The text is UTF-8
/// whatever its declaration says: a declaration names the encoding of the bytes the text was read
/// from.
[[nodiscard]] bool CheckRawText(std::string_view text, const Limits& limits, ParseFailure& failure);

} // namespace kvad::xml
