#pragma once
/// The ERP orders of the component's company: header, customer, the NSO order each came from,
/// state and lines.

#include <cstdint>
#include <string>
#include <vector>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/variant.h"

namespace kvad::read_model {

/// One line of an ERP order.
struct ErpOrderLine {
    std::int32_t line = 0;
    std::string item;
    std::string option;
    std::string description;
    Variant quantity;
    Variant price;
    std::vector<std::string> discounts; ///< the percentages that are not 0, in order
    std::string vatCode;
    Variant delivery;    ///< requested delivery date
    bool closed = false; ///< no longer to be fulfilled
};

/// One ERP order (DO11_DOCTESTATA) with its lines.
struct ErpOrder {
    std::int32_t registration = 0;
    std::string document; ///< "OCL A/7"
    Variant date;
    std::int32_t customer = 0;
    std::string customerName;
    std::string destination;
    std::string nsoOrder;    ///< number of the NSO order it was made from, "" when none
    Variant nsoDate;         ///< its issue date
    std::int32_t source = 0; ///< register id of that order, 0 when it is not registered
    bool closed = false;     ///< no longer to be fulfilled
    std::vector<ErpOrderLine> lines;
};

/// The company's ERP orders, newest registration first, with their lines; only those where the
/// document, customer, NSO order or a line's item or description contains `search` (ignoring
/// case) when it is not empty.
[[nodiscard]] std::vector<ErpOrder> ReadErpOrders(CLSIE_NSO& nso, const std::string& search = {});

/// The ERP order made from registered document `source`; registration 0 when there is none.
[[nodiscard]] ErpOrder ReadErpOrderOf(CLSIE_NSO& nso, std::int32_t source);

} // namespace kvad::read_model
