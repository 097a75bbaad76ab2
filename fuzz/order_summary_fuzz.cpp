// Fuzzes the inbox listing's summary reader: any bytes are read by ReadOrderSummary, which scans
// the text without building its tree, and by the same reads made on the loaded tree (the reader
// it replaced). Both must take or refuse the same texts and find the same number, date and buyer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "kvad_nso/date_time.h"
#include "order_summary.h"
#include "ubl_elements.h"
#include "xml/xml_document.h"

namespace {

using kvad::platform::OrderSummary;
using kvad::xml::Node;

std::string TrimmedText(const Node& node) {
    return node.IsNull() ? std::string() : kvad::xml::TrimXmlSpace(node.Text());
}

/// The summary as the loaded tree gives it.
std::optional<OrderSummary> SummaryFromTree(std::string_view text) {
    text = kvad::platform::WithoutUtf8Mark(text);
    std::string error;
    const auto document = kvad::xml::Document::Load(text, error);
    if (!document) {
        return std::nullopt;
    }
    const Node order = kvad::platform::BusinessElement(*document);
    if (order.IsNull() || order.LocalName() != "Order") {
        return std::nullopt;
    }
    OrderSummary summary;
    summary.number = TrimmedText(kvad::platform::Child(order, "ID"));
    const auto date =
        kvad::DateTime::ParseIso(TrimmedText(kvad::platform::Child(order, "IssueDate")));
    if (date && date->IsValid()) {
        summary.issueDate = date->ToIsoDate();
    }
    summary.endpointId =
        TrimmedText(kvad::platform::Path(order, {"BuyerCustomerParty", "Party", "EndpointID"}));
    return summary;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto scanned = kvad::platform::ReadOrderSummary(text);
    const auto fromTree = SummaryFromTree(text);
    if (scanned.has_value() != fromTree.has_value() ||
        (scanned &&
         (scanned->number != fromTree->number || scanned->issueDate != fromTree->issueDate ||
          scanned->endpointId != fromTree->endpointId))) {
        std::abort(); // the listing would say something else of this text than the tree does
    }
    return 0;
}
