#pragma once
// One pass over a document's text that reports its elements and character data as they are read,
// without building its tree, and accepts or refuses the text as Document::Load does.

#include <string_view>

#include "xml/xml_document.h"

namespace kvad::xml {

/// Receives what a scan reads, in document order.
class ScanHandler {
  public:
    ScanHandler() = default;
    ScanHandler(const ScanHandler&) = delete;
    ScanHandler& operator=(const ScanHandler&) = delete;
    ScanHandler(ScanHandler&&) = delete;
    ScanHandler& operator=(ScanHandler&&) = delete;
    virtual ~ScanHandler() = default;

    /// An element opens; its name without prefix.
    virtual void StartElement(std::string_view localName) = 0;
    /// The element opened last closes.
    virtual void EndElement() = 0;
    /// A piece of character data (text, white space or a CDATA section) of the element open last:
    /// the pieces of an element, in order, make what Node::Text reads of it.
    virtual void Characters(std::string_view text) = 0;
};

/// Reads the text once, telling `handler` its elements and character data, and returns whether
/// Document::Load would take it: the same checks of the raw text, the same parser, options and
/// limits, so the same texts are refused for the same reason (in `failure`). The handler may have
/// been told part of a text that is then refused. Where libxml2's tree builder would stop short
/// (a text node of more than 10 MB made of several pieces) the handler is told nothing more, so
/// that it has been told what that tree holds, and the text is parsed again into a tree for the
/// verdict.
[[nodiscard]] bool ScanDocument(std::string_view text, ScanHandler& handler, ParseFailure& failure,
                                const Limits& limits = Limits{});

} // namespace kvad::xml
