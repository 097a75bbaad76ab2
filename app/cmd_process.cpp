// "nso process": the clerk's review before import. Processes the chosen chains (or all that can
// be selected) and shows per order the decoded header, the lines and the messages, with the
// status of each order and line. A chain holding a document that cannot be processed is passed
// over and named with its reason; the others are processed all the same.
#include <iostream>
#include <iterator>
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

/// After the chains processed for review: the tally and the chains passed over.
void PrintTotals(const VerdictCounts& tally, const ChainProcessing& processing, bool anyPrinted,
                 bool verbose) {
    if (anyPrinted) {
        std::cout << "\n";
        PrintTally(std::cout, tally);
    }
    PrintPassedOver(std::cout, processing.passedOver, verbose);
}

/// What processing for review gathered over the batches.
struct ReviewRun {
    ChainProcessing processing;
    std::vector<Chain> kept; ///< the chains for the JSON document
    VerdictCounts tally;
    std::size_t printed = 0; ///< chains printed so far
};

/// Processes the batch selected and prints its chains (keeps them, for JSON); false when the
/// processing stopped at a document.
bool ProcessForReview(Session& session, const ProcessOptions& options, ReviewRun& run) {
    ChainProcessing batch = kvad::read_model::ProcessSelectedChains(*session.nso);
    if (batch.nothingSelected) {
        return true;
    }
    ChainProcessing& processing = run.processing;
    processing.nothingSelected = false;
    // GetRstElaborazione leaves Stato as it finds it: cleared first, it tells its own outcome.
    session.nso->SetStato(kvad::kaOK);
    session.nso->SetErrore(std::string());
    kvad::kaEnumContesto every = kvad::Contesto_Tutti;
    (void)session.nso->GetRstElaborazione(every);
    RequireOk(session, "reading the results");
    std::vector<Chain> chains = kvad::read_model::ReadSelectedChains(*session.nso);
    const VerdictCounts counts = kvad::read_model::CountVerdicts(chains);
    run.tally.ready += counts.ready;
    run.tally.warning += counts.warning;
    run.tally.error += counts.error;
    run.tally.unverified += counts.unverified;
    run.tally.other += counts.other;
    processing.chains += batch.chains;
    processing.nothingToProcess = processing.nothingToProcess && batch.nothingToProcess;
    std::move(batch.passedOver.begin(), batch.passedOver.end(),
              std::back_inserter(processing.passedOver));
    processing.stopped = std::move(batch.stopped);
    if (options.json) {
        std::move(chains.begin(), chains.end(), std::back_inserter(run.kept));
    } else if (batch.nothingToProcess && batch.passedOver.empty()) {
        PrintNothingToDo(chains);
    } else {
        for (const Chain& chain : chains) {
            std::cout << (run.printed++ == 0 ? "" : "\n") << std::string(100, '=') << "\n";
            PrintChain(std::cout, chain);
        }
    }
    return processing.stopped.empty();
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
    const ChainSelection selection =
        SelectChains(session, settings, options.chains, options.all, options.latestOnly);

    // Batch by batch, so that the recordsets hold one batch's orders, not the backlog's; each
    // batch is printed as it is processed (the JSON document is printed at the end).
    ReviewRun run;
    run.processing.nothingSelected = true;
    run.processing.nothingToProcess = true;
    ForEachBatch(session, selection, options.batchChains,
                 [&](std::size_t, std::size_t) { return ProcessForReview(session, options, run); });
    const ChainProcessing& processing = run.processing;
    const VerdictCounts& tally = run.tally;
    if (processing.nothingSelected) {
        throw std::runtime_error("nothing to process: every chain still to process is blocked, "
                                 "or there is none (`nso list --all` shows the chains and their "
                                 "state)");
    }
    const std::string stopped = processing.stopped.empty()
                                    ? std::string()
                                    : std::string(kStopped) + ":\n" + processing.stopped;
    const int status = !stopped.empty()                 ? kExitFailed
                       : !processing.passedOver.empty() ? kExitNotLoaded
                                                        : kExitOk;
    if (options.json) {
        Json document = ProcessJson(run.kept, tally, stopped);
        document["passed_over"] = PassedOverJson(processing.passedOver);
        document["failure"] = stopped.empty() ? Json(nullptr) : Json(kStopped);
        document["exit_status"] = status;
        PrintJson(document);
    } else if (processing.nothingToProcess && processing.passedOver.empty()) {
        return;
    } else {
        PrintTotals(tally, processing, run.printed > 0, settings.verbose);
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
