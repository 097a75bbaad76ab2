#pragma once
// The identifying data of a received order, read from its UBL text: order number, issue date
// and buyer endpoint.

#include <optional>
#include <string>
#include <string_view>

namespace kvad::platform {

/// What a listing shows of an Order; a field that the document lacks (or has in an unusable
/// form) is empty.
struct OrderSummary {
    std::string number;     ///< cbc:ID of the Order, trimmed
    std::string issueDate;  ///< cbc:IssueDate as "yyyy-mm-dd"
    std::string endpointId; ///< cac:BuyerCustomerParty/cac:Party/cbc:EndpointID, trimmed
};

/// Reads the summary of a UBL Order, bare or inside a StandardBusinessDocument envelope, with
/// any namespace prefixes. A leading UTF-8 byte-order mark is allowed. Returns nullopt when the
/// text is not well-formed XML or its document is not an Order.
[[nodiscard]] std::optional<OrderSummary> ReadOrderSummary(std::string_view text);

} // namespace kvad::platform
