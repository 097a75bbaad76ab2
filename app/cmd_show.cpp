// "nso show": one processed order as `nso process` shows it: decoded header, lines, messages and
// the status of each.
#include <iostream>
#include <string>

#include "app/commands.h"
#include "app/json_output.h"
#include "app/order_ref.h"
#include "app/review.h"
#include "app/session.h"

namespace nsoapp {

void RunShow(const Settings& settings, const ShowOptions& options) {
    Session session = OpenSession(settings);
    const std::int32_t id = ResolveDocument(*session.db, settings.company, options.order);
    const Order order = ReviewedOrder(session, id);
    if (options.json) {
        PrintJson(Json{{"order", OrderJson(order)}});
    } else {
        PrintOrder(std::cout, order);
    }
}

} // namespace nsoapp
