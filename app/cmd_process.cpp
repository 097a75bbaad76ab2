// "nso process": the clerk's review before import. Processes the chosen chains (or all that can
// be selected) and shows per order the decoded header, the lines and the messages, with the
// status of each order and line.
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/failure.h"
#include "app/json_output.h"
#include "app/order_ref.h"
#include "app/review.h"
#include "app/session.h"
#include "kvad_nso/recordset.h"

namespace nsoapp {
namespace {

struct ProcessOptions {
    std::vector<std::string> chains;
    bool all = false;
    bool latestOnly = false;
    bool json = false;
};

/// The first document processing took in list order and did not decode, with why, when the
/// document itself says so: the one that most likely stopped the processing.
std::string FailedDocument(Session& session, const std::vector<ChainView>& chains) {
    auto taken = session.nso->RstOrdini()->Clone();
    taken->SetFilter("TMP_ELABORA = 2 OR TMP_ELABORA = 4 OR TMP_ELABORA = 5 OR TMP_ELABORA = 6");
    for (; !taken->Eof(); taken->MoveNext()) {
        const std::int32_t id = taken->Value("IE91_ID").ToLong();
        for (const ChainView& chain : chains) {
            for (const OrderView& order : chain.documents) {
                if (order.id != id || order.decoded) {
                    continue;
                }
                const std::string reason = session.nso->ExplainDocument(id);
                return " (" + OrderTitle(order) + (reason.empty() ? "" : ": " + reason) + ")";
            }
        }
    }
    return "";
}

void Process(const Settings& settings, const ProcessOptions& options) {
    if (options.chains.empty() && !options.all) {
        throw std::runtime_error("name the chains to process (register id or order number of "
                                 "any of their documents, see `nso list`) or give --all");
    }
    Session session = OpenSession(settings);
    session.nso->Inizializza();
    if (session.nso->Stato() != kvad::kaOK) {
        (options.json ? std::cerr : std::cout) << "warning: " << session.nso->Errore().Text()
                                               << " (`nso config set` writes the configuration)\n";
    }
    SelectChains(session, settings, options.chains, options.all, options.latestOnly);

    session.nso->RecuperaOrdini();
    const kvad::kaEnumNSOErrStato outcome = session.nso->Stato();
    const std::string failure = session.nso->Errore().Text();
    if (outcome == kvad::kaErrNessunDatoDaElaborare) {
        throw std::runtime_error("nothing to process: " + failure +
                                 " (every chain to process is blocked or there is none; `nso "
                                 "list --all` shows them)");
    }
    // GetRstElaborazione leaves Stato as it finds it: cleared first, it tells its own outcome.
    session.nso->SetStato(kvad::kaOK);
    session.nso->SetErrore(std::string());
    kvad::kaEnumContesto every = kvad::Contesto_Tutti;
    (void)session.nso->GetRstElaborazione(every);
    RequireOk(session, "reading the results");

    const std::vector<ChainView> chains = GatherSelectedChains(session);
    const std::string stopped =
        outcome == kvad::kaOK ? std::string()
                              : "the processing stopped at a document that failed; the documents "
                                "after it were not processed" +
                                    FailedDocument(session, chains) + ":\n" + failure;
    if (options.json) {
        PrintJson(ProcessJson(chains, CountVerdicts(chains), stopped));
    } else {
        for (std::size_t i = 0; i < chains.size(); ++i) {
            std::cout << (i == 0 ? "" : "\n") << std::string(100, '=') << "\n";
            PrintChain(std::cout, chains[i]);
        }
        std::cout << "\n";
        PrintTally(std::cout, CountVerdicts(chains));
    }
    if (!stopped.empty()) {
        throw ComponentFailure(session.nso->LastDatabaseCondition(), session.database, stopped);
    }
    if (!options.json) {
        std::cout << "`nso edit ORDER FIELD=VALUE` corrects a decoded value, `nso show ORDER` "
                     "shows an order again.\n";
    }
}

} // namespace

void AddProcessCommand(CLI::App& app, Settings& settings) {
    CLI::App* process = app.add_subcommand(
        "process", "Process chains of received orders and show them for review before import");
    auto options = std::make_shared<ProcessOptions>();
    process->add_option("CHAIN", options->chains,
                        "Register id or order number of a document of the chain");
    CLI::Option* all = process->add_flag("--all", options->all,
                                         "Every chain still to process that can be "
                                         "selected");
    process->add_flag("--latest-only", options->latestOnly,
                      "Import only the latest document of each chain (default: the whole chain)");
    all->excludes(process->get_option("CHAIN"));
    process->add_flag("--json", options->json, "Print the orders as one JSON document");
    process->callback([&settings, options] { Process(settings, *options); });
}

} // namespace nsoapp
