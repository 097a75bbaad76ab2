// "nso show": one processed order as `nso process` shows it: decoded header, lines, messages and
// the status of each.
#include <iostream>
#include <memory>
#include <string>

#include "app/commands.h"
#include "app/order_ref.h"
#include "app/review.h"
#include "app/session.h"

namespace nsoapp {
namespace {

void Show(const Settings& settings, const std::string& text) {
    Session session = OpenSession(settings);
    const std::int32_t id = ResolveDocument(*session.db, settings.company, text);
    OpenReview(session, id);
    PrintOrder(std::cout, ReviewedOrder(session, id));
}

} // namespace

void AddShowCommand(CLI::App& app, Settings& settings) {
    CLI::App* show = app.add_subcommand("show", "Show a processed order for review");
    auto order = std::make_shared<std::string>();
    show->add_option("ORDER", *order, "Register id of the document, or its order number")
        ->required();
    show->callback([&settings, order] { Show(settings, *order); });
}

} // namespace nsoapp
