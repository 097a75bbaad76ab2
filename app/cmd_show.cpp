// "nso show": one processed order as `nso process` shows it: decoded header, lines, messages and
// the status of each.
#include <iostream>
#include <memory>
#include <string>

#include "app/commands.h"
#include "app/json_output.h"
#include "app/order_ref.h"
#include "app/review.h"
#include "app/session.h"

namespace nsoapp {
namespace {

struct ShowOptions {
    std::string order;
    bool json = false;
};

void Show(const Settings& settings, const ShowOptions& options) {
    Session session = OpenSession(settings);
    const std::int32_t id = ResolveDocument(*session.db, settings.company, options.order);
    OpenReview(session, id);
    const OrderView order = ReviewedOrder(session, id);
    if (options.json) {
        PrintJson(Json{{"order", OrderJson(order)}});
    } else {
        PrintOrder(std::cout, order);
    }
}

} // namespace

void AddShowCommand(CLI::App& app, Settings& settings) {
    CLI::App* show = app.add_subcommand("show", "Show a processed order for review");
    auto options = std::make_shared<ShowOptions>();
    show->add_option("ORDER", options->order, "Register id of the document, or its order number")
        ->required();
    show->add_flag("--json", options->json, "Print the order as one JSON document");
    show->callback([&settings, options] { Show(settings, *options); });
}

} // namespace nsoapp
