// "nso process": the clerk's review before import. Processes the chosen chains (or all that can
// be selected) and shows per order the decoded header, the lines and the messages, with the
// status of each order and line.
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/failure.h"
#include "app/json_output.h"
#include "app/order_ref.h"
#include "app/review.h"
#include "app/session.h"
#include "app/work_lock.h"

namespace nsoapp {
namespace {

/// The first document processing took in list order and did not decode, with why, when the
/// document itself says so: the one that most likely stopped the processing.
std::string FailedDocument(Session& session, const std::vector<Chain>& chains) {
    const std::optional<Order> order = kvad::read_model::FirstNotDecoded(*session.nso, chains);
    if (!order) {
        return "";
    }
    const std::string reason = session.nso->ExplainDocument(order->id);
    return " (" + kvad::read_model::Title(*order) + (reason.empty() ? "" : ": " + reason) + ")";
}

} // namespace

void RunProcess(const Settings& settings, const ProcessOptions& options) {
    if (options.chains.empty() && !options.all) {
        throw std::runtime_error("name the chains to process (register id or order number of "
                                 "any of their documents, see `nso list`) or give --all");
    }
    Session session = OpenSession(settings);
    // Held while it processes: another processing, an edit or an import waits for it.
    const kvad::db::CompanyLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Clerk,
                    "nso process", options.waitSeconds);
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

    const std::vector<Chain> chains = kvad::read_model::ReadSelectedChains(*session.nso);
    const std::string stopped =
        outcome == kvad::kaOK ? std::string()
                              : "the processing stopped at a document that failed; the documents "
                                "after it were not processed" +
                                    FailedDocument(session, chains) + ":\n" + failure;
    if (options.json) {
        PrintJson(ProcessJson(chains, kvad::read_model::CountVerdicts(chains), stopped));
    } else {
        for (std::size_t i = 0; i < chains.size(); ++i) {
            std::cout << (i == 0 ? "" : "\n") << std::string(100, '=') << "\n";
            PrintChain(std::cout, chains[i]);
        }
        std::cout << "\n";
        PrintTally(std::cout, kvad::read_model::CountVerdicts(chains));
    }
    if (!stopped.empty()) {
        throw ComponentFailure(session.nso->LastDatabaseCondition(), session.database, stopped);
    }
    if (!options.json) {
        std::cout << "`nso edit ORDER FIELD=VALUE` corrects a decoded value, `nso show ORDER` "
                     "shows an order again.\n";
    }
}

} // namespace nsoapp
