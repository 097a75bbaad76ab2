#include "app/main_job.h"

#include <dlfcn.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <iterator>

#include "app/failure.h"
#include "app/grouped_commits.h"

namespace nsoapp {
namespace {

std::size_t CountNotLoaded(const std::vector<kvad::DocumentOutcome>& documents) {
    return static_cast<std::size_t>(std::count_if(documents.begin(), documents.end(),
                                                  [](const auto& d) { return !d.IsLoaded(); }));
}

/// A failure of the component that is a condition of the database (busy, read-only, full) stops
/// the phase with its plain message; any other is the phase's own outcome.
void RequireNoDatabaseTrouble(Session& session, const std::string& what) {
    if (session.nso->LastDatabaseCondition() != kvad::DatabaseCondition::None) {
        RequireOk(session, what);
    }
}

/// Gives the memory a batch freed back to the system, so that the next batch starts from what
/// the job holds, not from the last batch's peak: tcmalloc keeps freed pages for reuse unless
/// asked (it is found by name, as nso may run on glibc's malloc), glibc trims its heap.
void ReleaseFreedMemory() {
    using Release = void (*)();
    static const auto release =
        reinterpret_cast<Release>(dlsym(RTLD_DEFAULT, "MallocExtension_ReleaseFreeMemory"));
    if (release != nullptr) {
        release();
    } else {
        (void)malloc_trim(0);
    }
}

} // namespace

[[noreturn]] void PlatformFailure(Session& session, const Settings& settings) {
    throw Failure("the document platform could not be used, so nothing was fetched: check the "
                  "inbox folder \"" +
                      settings.inbox + "\" and the platform settings (`nso settings` shows them)",
                  session.nso->Errore().Text());
}

std::size_t FetchOutcome::NotLoaded() const {
    return CountNotLoaded(report.registered) + CountNotLoaded(repaired);
}

FetchOutcome FetchDocuments(Session& session, const Settings& settings, ProgressView& view) {
    FetchOutcome outcome;
    GroupedCommits grouped(*session.db);
    view.Follow(*session.nso);
    session.nso->RecuperaOrdiniNSO();
    view.End();
    // Stato tells about the last document only: the account comes from what this run
    // registered.
    outcome.report = session.nso->LastRetrieval();
    if (session.nso->Stato() == kvad::kaErrConnessioneNSO) {
        PlatformFailure(session, settings);
    }
    if (!outcome.report.completed) {
        RequireOk(session, "the retrieval of company " + std::to_string(settings.company));
    }
    outcome.repaired = session.nso->RepairDocuments();
    if (session.nso->Stato() == kvad::kaErrConnessioneNSO) {
        PlatformFailure(session, settings);
    }
    RequireOk(session, "taking in again the documents left incomplete");
    grouped.Finish();
    return outcome;
}

namespace {

using JobClock = std::chrono::steady_clock;

double SecondsSince(JobClock::time_point start) {
    return std::chrono::duration<double>(JobClock::now() - start).count();
}

/// Processes the chains of one batch: selects them alone, runs RecuperaOrdini on them and reads
/// how each document it reviewed stands.
ProcessOutcome ProcessBatch(Session& session, const std::vector<std::int32_t>& batch,
                            ProgressView& view) {
    ProcessOutcome outcome;
    kvad::CLSIE_NSO& nso = *session.nso;
    kvad::read_model::ReadOnlyChains(nso, batch);
    const auto chains = static_cast<std::int32_t>(batch.size());
    view.Show(0, chains, "processing " + std::to_string(chains) + " chain(s)");
    kvad::read_model::ChainProcessing processing;
    try {
        processing = kvad::read_model::ProcessSelectedChains(nso);
    } catch (const kvad::read_model::ComponentFailure& e) {
        view.End();
        throw AsFailure(e, session.database);
    }
    view.Show(chains, chains, "processed " + std::to_string(chains) + " chain(s)");
    view.End();
    outcome.chains = processing.chains;
    outcome.stopped = processing.stopped;
    outcome.passedOver = std::move(processing.passedOver);
    if (processing.nothingSelected || outcome.chains == 0) {
        outcome.chains = 0;
        return outcome;
    }
    // A chain with an order to import that did not pass is held back from the import.
    kvad::read_model::ProcessingSummary summary = kvad::read_model::ReadProcessingSummary(nso);
    outcome.tally = summary.counts;
    outcome.toReview = std::move(summary.toReview);
    outcome.held = std::move(summary.held);
    return outcome;
}

/// Imports the chains of the batch just processed, all but those it holds back.
ImportOutcome ImportBatch(Session& session, const ProcessOutcome& processed, ProgressView& view) {
    ImportOutcome outcome;
    if (processed.chains == 0) {
        return outcome;
    }
    kvad::CLSIE_NSO& nso = *session.nso;
    // The chains held back leave the selection; the others keep it. Then the codes the
    // processing wrote, for the chains still selected.
    kvad::read_model::DeselectChains(nso, processed.held);
    nso.AssignProcessingCodes();
    if (nso.Stato() == kvad::kaErrNessunDatoDaElaborare) {
        return outcome;
    }
    RequireOk(session, "reading the processing codes");
    kvad::kaEnumContesto every = kvad::Contesto_Tutti;
    (void)nso.GetRstElaborazione(every);
    RequireOk(session, "opening the processed orders");

    view.Follow(nso);
    nso.ImportaDocumenti();
    view.End();
    const kvad::kaEnumNSOErrStato state = nso.Stato();
    const std::string failure = nso.Errore().Text();
    if (state != kvad::kaOK) {
        RequireNoDatabaseTrouble(session, "the import");
    }
    kvad::read_model::ImportSummary summary = kvad::read_model::ReadImportSummary(nso);
    outcome.totals = summary.totals;
    outcome.failures = std::move(summary.failures);
    if (state == kvad::kaErrVB && outcome.totals.failed == 0) {
        outcome.stopped = failure;
    }
    return outcome;
}

void AddTo(ProcessOutcome& total, ProcessOutcome&& batch) {
    total.chains += batch.chains;
    total.tally.ready += batch.tally.ready;
    total.tally.warning += batch.tally.warning;
    total.tally.error += batch.tally.error;
    total.tally.unverified += batch.tally.unverified;
    total.tally.other += batch.tally.other;
    std::move(batch.toReview.begin(), batch.toReview.end(), std::back_inserter(total.toReview));
    std::move(batch.passedOver.begin(), batch.passedOver.end(),
              std::back_inserter(total.passedOver));
    total.held.insert(total.held.end(), batch.held.begin(), batch.held.end());
    if (total.stopped.empty()) {
        total.stopped = std::move(batch.stopped);
    }
}

void AddTo(ImportOutcome& total, ImportOutcome&& batch) {
    total.totals.chains += batch.totals.chains;
    total.totals.imported += batch.totals.imported;
    total.totals.failed += batch.totals.failed;
    total.totals.ordersMade += batch.totals.ordersMade;
    total.totals.closed += batch.totals.closed;
    std::move(batch.failures.begin(), batch.failures.end(), std::back_inserter(total.failures));
    if (total.stopped.empty()) {
        total.stopped = std::move(batch.stopped);
    }
}

/// Runs one phase of a batch between the watch's Begin and End, adding its time to `seconds`.
template <class Work>
void InPhase(PhaseWatch* watch, JobPhase phase, double& seconds, Work&& work) {
    if (watch != nullptr) {
        watch->Begin(phase);
    }
    const JobClock::time_point start = JobClock::now();
    work();
    seconds += SecondsSince(start);
    if (watch != nullptr) {
        watch->End(phase);
    }
}

} // namespace

BatchedOutcome ProcessAndImport(Session& session, bool latestOnly, std::size_t batchChains,
                                const JobDisplay& display, PhaseWatch* watch) {
    BatchedOutcome outcome;
    kvad::CLSIE_NSO& nso = *session.nso;
    GroupedCommits grouped(*session.db);
    const auto heading = [&](JobPhase phase, std::size_t batch, std::size_t batches) {
        if (display.heading) {
            display.heading(phase, batch, batches);
        }
    };
    std::vector<std::int32_t> chains;
    InPhase(watch, JobPhase::Process, outcome.processSeconds, [&] {
        heading(JobPhase::Process, 1, 1);
        nso.SetParam_ModalitaImport(latestOnly ? kvad::kaSoloPiuRecente : kvad::kaInteraCatena);
        // The chains to process listed once by their keys only; each batch then reads its own
        // chains only, so that the working table holds one batch, not the backlog.
        auto list = nso.ListChainKeys(kvad::kaOrdiniDaProcessare);
        RequireOk(session, "reading the chains");
        chains = kvad::read_model::SelectableChains(*list);
        list.reset();
        ReleaseFreedMemory(); // the list of a large backlog is gone before the first batch
    });
    if (chains.empty()) {
        heading(JobPhase::Import, 1, 1);
        grouped.Finish();
        return outcome;
    }
    batchChains = std::max<std::size_t>(batchChains, 1);
    outcome.batches = (chains.size() + batchChains - 1) / batchChains;
    for (std::size_t first = 0; first < chains.size(); first += batchChains) {
        const std::size_t number = first / batchChains + 1;
        const std::vector<std::int32_t> batch(
            chains.begin() + static_cast<std::ptrdiff_t>(first),
            chains.begin() +
                static_cast<std::ptrdiff_t>(std::min(first + batchChains, chains.size())));
        ProcessOutcome processed;
        InPhase(watch, JobPhase::Process, outcome.processSeconds, [&] {
            if (number > 1) {
                heading(JobPhase::Process, number, outcome.batches);
            }
            ProgressView view("processing...", display.channel);
            processed = ProcessBatch(session, batch, view);
            grouped.Flush();
        });
        ImportOutcome imported;
        InPhase(watch, JobPhase::Import, outcome.importSeconds, [&] {
            heading(JobPhase::Import, number, outcome.batches);
            ProgressView view("importing...", display.channel);
            imported = ImportBatch(session, processed, view);
            grouped.Flush();
            ReleaseFreedMemory();
        });
        const bool stopped = !processed.stopped.empty() || !imported.stopped.empty();
        AddTo(outcome.processed, std::move(processed));
        AddTo(outcome.imported, std::move(imported));
        if (stopped) {
            break;
        }
    }
    grouped.Finish();
    return outcome;
}

} // namespace nsoapp
