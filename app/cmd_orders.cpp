// "nso orders": the ERP orders the imports made, with the NSO order each came from and, on
// request, their lines, so a clerk sees what an import produced without opening the database.
#include <iostream>
#include <string>

#include "app/commands.h"
#include "app/json_output.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "kvad_nso/read_model/erp_orders.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

using kvad::read_model::DateText;
using kvad::read_model::ErpOrder;
using kvad::read_model::ErpOrderLine;

void PrintErpLines(const ErpOrder& order) {
    std::cout << "    " << Cell("LINE", 4) << Cell("ITEM", 22) << Cell("QUANTITY", 10)
              << Cell("PRICE", 10) << Cell("DISCOUNT%", 9) << Cell("VAT", 4) << Cell("DELIVERY", 10)
              << Cell("STATE", 6) << "DESCRIPTION\n";
    for (const ErpOrderLine& line : order.lines) {
        const std::string item = line.item + (line.option.empty() ? "" : " (" + line.option + ")");
        std::cout << kvad::RightTrim("    " + Cell(std::to_string(line.line), 4) + Cell(item, 22) +
                                     Cell(line.quantity.Text(), 10) + Cell(line.price.Text(), 10) +
                                     Cell(Joined(line.discounts, "+"), 9) + Cell(line.vatCode, 4) +
                                     Cell(DateText(line.delivery), 10) +
                                     Cell(line.closed ? "closed" : "open", 6) + line.description)
                  << "\n";
    }
}

void PrintErpOrders(const std::vector<ErpOrder>& orders, bool withLines) {
    std::cout << Cell("REG", 4) << Cell("ORDER", 11) << Cell("DATE", 10) << Cell("STATE", 6)
              << Cell("CUSTOMER", 30) << Cell("DEST", 4) << Cell("LINES", 5) << "NSO ORDER\n";
    for (const ErpOrder& order : orders) {
        const std::string nso =
            order.nsoOrder.empty()
                ? "-"
                : order.nsoOrder + " of " + DateText(order.nsoDate) +
                      (order.source == 0 ? "" : " (id " + std::to_string(order.source) + ")");
        std::cout << Cell(std::to_string(order.registration), 4) << Cell(order.document, 11)
                  << Cell(DateText(order.date), 10) << Cell(order.closed ? "closed" : "open", 6)
                  << Cell(std::to_string(order.customer) + " " + order.customerName, 30)
                  << Cell(order.destination, 4) << Cell(std::to_string(order.lines.size()), 5)
                  << nso << "\n";
        if (withLines) {
            PrintErpLines(order);
        }
    }
}

} // namespace

void RunOrders(const Settings& settings, const OrdersOptions& options) {
    Session session = OpenSession(settings);
    const std::string& search = options.search;
    const std::vector<ErpOrder> orders = kvad::read_model::ReadErpOrders(*session.nso, search);
    if (options.json) {
        PrintJson(OrdersJson(orders, settings.company, search, options.lines));
        return;
    }
    if (orders.empty()) {
        std::cout << "No ERP orders for company " << settings.company
                  << (search.empty() ? ": `nso import` makes them from processed chains."
                                     : " containing '" + search + "'.")
                  << "\n";
        return;
    }
    PrintErpOrders(orders, options.lines);
    std::cout << orders.size() << " ERP order(s) of company " << settings.company
              << (search.empty() ? "" : " containing '" + search + "'")
              << "; closed: no longer to be fulfilled (a later document of its NSO order "
                 "replaced it)\n";
}

} // namespace nsoapp
