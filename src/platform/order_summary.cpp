#include "order_summary.h"

#include <initializer_list>

#include "kvad_nso/date_time.h"
#include "xml/xml_document.h"

namespace kvad::platform {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

/// The first child element with this local name, whatever its prefix, or a null node.
xml::Node ChildElement(const xml::Node& parent, std::string_view localName) {
    for (const auto& child : parent.ChildNodes()) {
        if (child.IsElement() && child.LocalName() == localName) {
            return child;
        }
    }
    return {};
}

/// The element reached by following child elements by local name, or a null node.
xml::Node Descend(xml::Node node, std::initializer_list<std::string_view> path) {
    for (const auto name : path) {
        if (node.IsNull()) {
            break;
        }
        node = ChildElement(node, name);
    }
    return node;
}

std::string TrimmedText(const xml::Node& node) {
    return node.IsNull() ? std::string() : xml::TrimXmlSpace(node.Text());
}

/// The Order element: the document element itself, or the payload of an SBDH envelope.
xml::Node FindOrder(const xml::Document& document) {
    xml::Node top;
    for (const auto& child : document.Root().ChildNodes()) {
        if (child.IsElement()) {
            top = child;
            break;
        }
    }
    if (top.IsNull()) {
        return {};
    }
    const std::string name = top.LocalName();
    if (name == "Order") {
        return top;
    }
    if (name == "StandardBusinessDocument") {
        return ChildElement(top, "Order");
    }
    return {};
}

/// xs:date text (a time zone suffix is allowed) as "yyyy-mm-dd"; empty when it is not a date.
std::string IsoDate(const std::string& text) {
    const auto date = DateTime::ParseIso(text);
    if (!date || !date->IsValid()) {
        return {};
    }
    return date->ToIsoDate();
}

} // namespace

std::optional<OrderSummary> ReadOrderSummary(std::string_view text) {
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        text.remove_prefix(kUtf8Bom.size());
    }
    std::string error;
    const auto document = xml::Document::Load(text, error);
    if (!document) {
        return std::nullopt;
    }
    const xml::Node order = FindOrder(*document);
    if (order.IsNull()) {
        return std::nullopt;
    }
    OrderSummary summary;
    summary.number = TrimmedText(ChildElement(order, "ID"));
    summary.issueDate = IsoDate(TrimmedText(ChildElement(order, "IssueDate")));
    summary.endpointId = TrimmedText(Descend(order, {"BuyerCustomerParty", "Party", "EndpointID"}));
    return summary;
}

} // namespace kvad::platform
