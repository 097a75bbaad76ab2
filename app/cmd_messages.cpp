// "nso messages": the error log of the company's orders, or of one, with the catalogue texts and
// the current values of the fields they are about.
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/json_output.h"
#include "app/order_ref.h"
#include "app/review.h"
#include "app/session.h"
#include "kvad_nso/read_model/documents.h"

namespace nsoapp {
namespace {

kvad::kaEnumContesto PhaseContext(const std::string& phase) {
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

/// "Order 87/2024 of 05/03/2024 (id 2)" for a registered document.
std::string DocumentTitle(Session& session, std::int32_t id) {
    const auto document = kvad::read_model::ReadDocument(*session.nso, id);
    return document ? kvad::read_model::Title(*document) : "Document " + std::to_string(id);
}

} // namespace

void RunMessages(const Settings& settings, const MessagesOptions& options) {
    Session session = OpenSession(settings);
    std::optional<std::int32_t> id;
    if (!options.order.empty()) {
        id = ResolveDocument(*session.db, settings.company, options.order);
    }
    kvad::kaenumTipoOrdiniProcessati every = kvad::kaOrdiniTutti;
    session.nso->LeggiOrdini(every);
    RequireOk(session, "reading the chains");
    kvad::kaEnumContesto context = PhaseContext(options.phase);
    (void)session.nso->GetRstElaborazione(context);
    RequireOk(session, "reading the messages");

    const std::vector<Message> messages = kvad::read_model::ReadMessages(*session.nso, id);
    if (options.json) {
        PrintJson(MessagesJson(messages, id, options.phase));
        return;
    }
    const std::string of = options.phase == "all" ? "" : " of the " + options.phase + " phase";
    if (messages.empty()) {
        std::cout << (id ? DocumentTitle(session, *id) + ": no messages" : "No messages") << of
                  << "\n";
        return;
    }
    std::map<std::string, int> bySeverity;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (i == 0 || messages[i].order != messages[i - 1].order) {
            std::cout << (i == 0 ? "" : "\n") << DocumentTitle(session, messages[i].order) << "\n";
        }
        PrintMessages(std::cout, {messages[i]}, "  ");
        ++bySeverity[std::string(messages[i].SeverityName())];
    }
    std::cout << "\n"
              << messages.size() << " message(s)" << of << ": " << bySeverity["error"]
              << " error(s), " << bySeverity["warning"] << " warning(s), " << bySeverity["info"]
              << " information\n";
}

} // namespace nsoapp
