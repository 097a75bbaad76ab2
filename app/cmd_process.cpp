// "nso process": the clerk's review before import. Processes the chosen chains (or all that can
// be selected) and shows per order the decoded header, the lines and the messages, with the
// status of each order and line. A chain holding a document that cannot be processed is passed
// over and named with its reason; the others are processed all the same.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/failure.h"
#include "app/json_output.h"
#include "app/order_ref.h"
#include "app/review.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "app/work_lock.h"
#include "kvad_nso/read_model/chain_processing.h"

namespace nsoapp {
namespace {

using kvad::read_model::ChainProcessing;

/// What processing stopping at a document that could not be passed over is told as.
constexpr const char* kStopped = "the processing stopped at a document that failed; the documents "
                                 "after it were not processed";

/// One plain line per chain that had nothing to process.
void PrintNothingToDo(const std::vector<Chain>& chains) {
    for (const Chain& chain : chains) {
        const Order& latest = chain.documents.front();
        std::cout << "Nothing to do: " << kvad::read_model::Title(latest);
        if (latest.erpOrder) {
            std::cout << " was imported as ERP order " << latest.erpOrder->document << " of "
                      << kvad::read_model::DateText(latest.erpOrder->date) << " (`nso show "
                      << latest.id << "` shows it)";
        } else {
            std::cout << ": " << latest.plan;
        }
        std::cout << ".\n";
    }
}

/// Processing goes on without the configuration: it is told, the component's text beneath.
void WarnIncompleteConfiguration(Session& session, bool verbose, std::ostream& out) {
    out << "warning: the company's import configuration is incomplete (`nso config` shows it, "
           "`nso config set` writes it)\n";
    if (verbose) {
        PrintBeneath(out, session.nso->Errore().Text(), "  ");
    }
}

/// Each chain processed for review, the tally and the chains passed over.
void PrintProcessed(const std::vector<Chain>& chains, const VerdictCounts& tally,
                    const ChainProcessing& processing, bool verbose) {
    for (std::size_t i = 0; i < chains.size(); ++i) {
        std::cout << (i == 0 ? "" : "\n") << std::string(100, '=') << "\n";
        PrintChain(std::cout, chains[i]);
    }
    if (!chains.empty()) {
        std::cout << "\n";
        PrintTally(std::cout, tally);
    }
    PrintPassedOver(std::cout, processing.passedOver, verbose);
}

} // namespace

void RunProcess(const Settings& settings, const ProcessOptions& options) {
    if (options.chains.empty() && !options.all) {
        throw std::runtime_error("name the chains to process (register id or order number of "
                                 "any of their documents, see `nso list`) or give --all");
    }
    Session session = OpenSession(settings);
    // Held while it processes: another processing, an edit or an import waits for it.
    const WorkLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Clerk,
                    "nso process", options.waitSeconds);
    session.nso->Inizializza();
    if (session.nso->Stato() != kvad::kaOK) {
        WarnIncompleteConfiguration(session, settings.verbose,
                                    options.json ? std::cerr : std::cout);
    }
    SelectChains(session, settings, options.chains, options.all, options.latestOnly);

    const ChainProcessing processing = kvad::read_model::ProcessSelectedChains(*session.nso);
    if (processing.nothingSelected) {
        throw std::runtime_error("nothing to process: every chain still to process is blocked, "
                                 "or there is none (`nso list --all` shows the chains and their "
                                 "state)");
    }
    // GetRstElaborazione leaves Stato as it finds it: cleared first, it tells its own outcome.
    session.nso->SetStato(kvad::kaOK);
    session.nso->SetErrore(std::string());
    kvad::kaEnumContesto every = kvad::Contesto_Tutti;
    (void)session.nso->GetRstElaborazione(every);
    RequireOk(session, "reading the results");

    const std::vector<Chain> chains = kvad::read_model::ReadSelectedChains(*session.nso);
    const VerdictCounts tally = kvad::read_model::CountVerdicts(chains);
    const std::string stopped = processing.stopped.empty()
                                    ? std::string()
                                    : std::string(kStopped) + ":\n" + processing.stopped;
    const int status = !stopped.empty()                 ? kExitFailed
                       : !processing.passedOver.empty() ? kExitNotLoaded
                                                        : kExitOk;
    if (options.json) {
        Json document = ProcessJson(chains, tally, stopped);
        document["passed_over"] = PassedOverJson(processing.passedOver);
        document["failure"] = stopped.empty() ? Json(nullptr) : Json(kStopped);
        document["exit_status"] = status;
        PrintJson(document);
    } else if (processing.nothingToProcess && processing.passedOver.empty()) {
        PrintNothingToDo(chains);
        return;
    } else {
        PrintProcessed(chains, tally, processing, settings.verbose);
    }
    if (!stopped.empty()) {
        throw Failure(kStopped, processing.stopped);
    }
    if (!options.json) {
        std::cout << "`nso edit ORDER FIELD=VALUE` corrects a decoded value, `nso show ORDER` "
                     "shows an order again.\n";
    }
    if (status != kExitOk) {
        throw ExitStatus(status);
    }
}

} // namespace nsoapp
