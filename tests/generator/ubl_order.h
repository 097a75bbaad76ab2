#pragma once
// Generated UBL "Order" documents: a header with buyer, seller, delivery, one charge and totals,
// and lines each with one allowance and a delivery date, so that an order whose buyer and items
// are in the master data decodes and verifies without a message. A revision refers to the
// document it replaces; a cancellation has the one "NA" line of quantity 0 the platform gives it.

#include <string>
#include <vector>

namespace kvad::generator {

/// One order line: item `item` is sold as "ART-<item>" with the standard id ItemStandardId(item).
struct LineShape {
    int item = 1;
    int quantity = 1;
    long priceCents = 250;
};

/// What varies between generated documents.
struct OrderShape {
    std::string number = "B-1";
    std::string issueDate = "2024-03-05";
    std::string endpoint = "UFABCD";      ///< the buyer's office (IPA code)
    std::string buyerVat = "01234567890"; ///< the buyer's VAT number, without "IT"
    std::string deliveryLocation = "8012345000009";
    /// The requested delivery period, of the order and of each line (the line's start date).
    std::string deliveryStart = "2024-03-20";
    std::string deliveryEnd = "2024-03-30";
    /// OrderDocumentReference ID ("number#date#endpoint#Revised" or "...#Cancelled"); "" none.
    std::string reference;
    bool cancellation = false; ///< the one "NA" line, no delivery, totals 0
    std::vector<LineShape> lines;
};

/// The item code and the standard id of item `item`, as the generated master data holds them.
[[nodiscard]] std::string ItemCode(int item);
[[nodiscard]] std::string ItemStandardId(int item);

/// The document `shape` describes, as UTF-8 XML.
[[nodiscard]] std::string OrderXml(const OrderShape& shape);

/// An order of `lines` lines as the benchmarks have always made them (line n sells item n,
/// n % 7 + 1 pieces at 2.50), number `number`, buyer office `endpoint`.
[[nodiscard]] std::string OrderXml(int lines, const std::string& number = "B-1",
                                   const std::string& endpoint = "UFABCD");

} // namespace kvad::generator
