// "nso messages": the error log of the company's orders, or of one, with the catalogue texts and
// the current values of the fields they are about.
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/json_output.h"
#include "app/order_ref.h"
#include "app/review.h"
#include "app/session.h"

namespace nsoapp {
namespace {

struct MessagesOptions {
    std::string order;
    std::string phase = "all";
    bool json = false;
};

kvad::kaEnumContesto Phase(const std::string& phase) {
    if (phase == "verification") {
        return kvad::Contesto_VerificaDati;
    }
    if (phase == "import") {
        return kvad::Contesto_ImportDati;
    }
    if (phase == "decoding") {
        return kvad::Contesto_DecodificaDati;
    }
    return kvad::Contesto_Tutti;
}

void Messages(const Settings& settings, const MessagesOptions& options) {
    Session session = OpenSession(settings);
    std::optional<std::int32_t> id;
    if (!options.order.empty()) {
        id = ResolveDocument(*session.db, settings.company, options.order);
    }
    kvad::kaenumTipoOrdiniProcessati every = kvad::kaOrdiniTutti;
    session.nso->LeggiOrdini(every);
    RequireOk(session, "reading the chains");
    kvad::kaEnumContesto context = Phase(options.phase);
    (void)session.nso->GetRstElaborazione(context);
    RequireOk(session, "reading the messages");

    const std::vector<MessageView> messages = GatherMessages(session, id);
    if (options.json) {
        PrintJson(MessagesJson(messages, id, options.phase));
        return;
    }
    const std::string of = options.phase == "all" ? "" : " of the " + options.phase + " phase";
    if (messages.empty()) {
        std::cout << (id ? TitleOf(session, *id) + ": no messages" : "No messages") << of << "\n";
        return;
    }
    std::map<std::string, int> bySeverity;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (i == 0 || messages[i].order != messages[i - 1].order) {
            std::cout << (i == 0 ? "" : "\n") << TitleOf(session, messages[i].order) << "\n";
        }
        PrintMessages(std::cout, {messages[i]}, "  ");
        ++bySeverity[messages[i].severity];
    }
    std::cout << "\n"
              << messages.size() << " message(s)" << of << ": " << bySeverity["error"]
              << " error(s), " << bySeverity["warning"] << " warning(s), " << bySeverity["info"]
              << " information\n";
}

} // namespace

void AddMessagesCommand(CLI::App& app, Settings& settings) {
    CLI::App* messages =
        app.add_subcommand("messages", "List the messages of the orders' error log");
    auto options = std::make_shared<MessagesOptions>();
    messages->add_option("ORDER", options->order,
                         "Register id or order number of one document (default: every order)");
    messages->add_option("--phase", options->phase, "Only the messages of one phase")
        ->check(CLI::IsMember({"all", "verification", "decoding", "import"}))
        ->default_str("all");
    messages->add_flag("--json", options->json, "Print the messages as one JSON document");
    messages->callback([&settings, options] { Messages(settings, *options); });
}

} // namespace nsoapp
