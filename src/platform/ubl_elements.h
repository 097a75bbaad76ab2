#pragma once
// UBL elements found by local name, whatever prefix the sender chose, and the Order element of a
// document that may come in a standard business document envelope.

#include <initializer_list>
#include <string_view>
#include <vector>

#include "xml/xml_document.h"

namespace kvad::platform {

/// The first child element of `parent` with this local name; a null node when there is none or
/// `parent` is null.
[[nodiscard]] xml::Node Child(const xml::Node& parent, std::string_view name);

/// Every child element of `parent` with this local name, in document order.
[[nodiscard]] std::vector<xml::Node> Children(const xml::Node& parent, std::string_view name);

/// The element reached by following child elements by local name; a null node when a step is
/// missing.
[[nodiscard]] xml::Node Path(xml::Node node, std::initializer_list<std::string_view> path);

/// The document's business element: its document element, or the payload of a standard
/// business document envelope (the first element after the envelope's header). A null node for
/// a document without elements.
[[nodiscard]] xml::Node BusinessElement(const xml::Document& document);

/// The text without a leading UTF-8 byte-order mark.
[[nodiscard]] std::string_view WithoutUtf8Mark(std::string_view text) noexcept;

} // namespace kvad::platform
