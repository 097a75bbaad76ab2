#include "order_summary.h"

#include <initializer_list>

#include "kvad_nso/date_time.h"
#include "ubl_elements.h"
#include "xml/xml_document.h"

namespace kvad::platform {
namespace {

std::string TrimmedText(const xml::Node& node) {
    return node.IsNull() ? std::string() : xml::TrimXmlSpace(node.Text());
}

/// The Order element: the document element itself, or the payload of an SBDH envelope.
xml::Node OrderElement(const xml::Document& document) {
    const xml::Node order = BusinessElement(document);
    return !order.IsNull() && order.LocalName() == "Order" ? order : xml::Node();
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
    text = WithoutUtf8Mark(text);
    std::string error;
    const auto document = xml::Document::Load(text, error);
    if (!document) {
        return std::nullopt;
    }
    const xml::Node order = OrderElement(*document);
    if (order.IsNull()) {
        return std::nullopt;
    }
    OrderSummary summary;
    summary.number = TrimmedText(Child(order, "ID"));
    summary.issueDate = IsoDate(TrimmedText(Child(order, "IssueDate")));
    summary.endpointId = TrimmedText(Path(order, {"BuyerCustomerParty", "Party", "EndpointID"}));
    return summary;
}

} // namespace kvad::platform
