#pragma once
// The ERP orders of a company as nso shows them: header, customer, the NSO order they came from,
// state and, on request, their lines. Gathering is kept apart from printing.

#include <cstdint>
#include <string>
#include <vector>

#include "app/working_table.h"
#include "kvad_nso/connection.h"
#include "kvad_nso/variant.h"

namespace nsoapp {

struct ErpOrderLine {
    std::int32_t line = 0;
    std::string item;
    std::string option;
    std::string description;
    kvad::Variant quantity;
    kvad::Variant price;
    std::vector<std::string> discounts; ///< the percentages that are not 0, in order
    std::string vatCode;
    kvad::Variant delivery; ///< requested delivery date
    bool closed = false;    ///< no longer to be fulfilled
};

struct ErpOrder {
    std::int32_t registration = 0;
    std::string document; ///< "OCL A/7"
    kvad::Variant date;
    std::int32_t customer = 0;
    std::string customerName;
    std::string destination;
    std::string nsoOrder;    ///< number of the NSO order it was made from, "" when none
    kvad::Variant nsoDate;   ///< its issue date
    std::int32_t source = 0; ///< register id of that order, 0 when it is not registered
    bool closed = false;     ///< no longer to be fulfilled
    std::vector<ErpOrderLine> lines;
};

/// The company's ERP orders, newest registration first, with their lines; only those where the
/// document, customer, NSO order or a line's item or description contains `search` (ignoring
/// case) when it is not empty.
[[nodiscard]] std::vector<ErpOrder> ReadErpOrders(kvad::Connection& db, std::int32_t company,
                                                  const std::string& search);

/// The ERP order made from registered document `source`; registration 0 when there is none.
[[nodiscard]] ErpOrder ReadErpOrderOf(kvad::Connection& db, std::int32_t company,
                                      std::int32_t source);

} // namespace nsoapp
