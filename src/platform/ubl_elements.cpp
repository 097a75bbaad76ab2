#include "ubl_elements.h"

namespace kvad::platform {

xml::Node Child(const xml::Node& parent, std::string_view name) {
    if (parent.IsNull()) {
        return {};
    }
    for (const auto& child : parent.ChildNodes()) {
        if (child.IsElement() && child.LocalName() == name) {
            return child;
        }
    }
    return {};
}

std::vector<xml::Node> Children(const xml::Node& parent, std::string_view name) {
    std::vector<xml::Node> found;
    if (parent.IsNull()) {
        return found;
    }
    for (const auto& child : parent.ChildNodes()) {
        if (child.IsElement() && child.LocalName() == name) {
            found.push_back(child);
        }
    }
    return found;
}

xml::Node Path(xml::Node node, std::initializer_list<std::string_view> path) {
    for (const auto name : path) {
        node = Child(node, name);
    }
    return node;
}

xml::Node BusinessElement(const xml::Document& document) {
    xml::Node top;
    for (const auto& child : document.Root().ChildNodes()) {
        if (child.IsElement()) {
            top = child;
            break;
        }
    }
    if (top.IsNull() || top.LocalName() != "StandardBusinessDocument") {
        return top;
    }
    for (const auto& child : top.ChildNodes()) {
        if (child.IsElement() && child.LocalName() != "StandardBusinessDocumentHeader") {
            return child;
        }
    }
    return top;
}

std::string_view WithoutUtf8Mark(std::string_view text) noexcept {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    return text.starts_with(kMark) ? text.substr(kMark.size()) : text;
}

} // namespace kvad::platform
