#pragma once
// The main job phase by phase, as `nso run` does it: fetch the new documents, process every
// chain that can be selected, import the chains whose orders passed verification. `nso fetch`
// and the pipeline benchmark run the same phases. The processing and import phases read what
// they report in one pass over the working table, whatever the number of chains.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/progress_view.h"
#include "app/session.h"
#include "app/settings.h"
#include "kvad_nso/document_outcome.h"
#include "kvad_nso/read_model/chain_processing.h"
#include "kvad_nso/read_model/import_report.h"
#include "kvad_nso/read_model/processing_summary.h"

namespace nsoapp {

/// What the fetch phase did.
struct FetchOutcome {
    kvad::RetrievalReport report;
    /// Documents an earlier run left incomplete, taken in again.
    std::vector<kvad::DocumentOutcome> repaired;

    /// Documents registered or taken in again that were not loaded.
    [[nodiscard]] std::size_t NotLoaded() const;
};

/// Throws the Failure that says the document platform could not be used (the platform's own text
/// beneath it).
[[noreturn]] void PlatformFailure(Session& session, const Settings& settings);

/// Retrieves the company's new documents (progress through `view`), then takes in again those an
/// earlier run left incomplete. The caller checks the configuration and holds the retrieval
/// lock. Throws Failure when the platform cannot be used or the database fails.
FetchOutcome FetchDocuments(Session& session, const Settings& settings, ProgressView& view);

using kvad::read_model::ChainFailure;
using kvad::read_model::OrderToReview;

/// What the processing phase did.
struct ProcessOutcome {
    std::size_t chains = 0;                ///< chains processed
    kvad::read_model::VerdictCounts tally; ///< the reviewed documents by verdict
    /// Orders not imported until a clerk looks at them: verification found errors, or
    /// processing did not get to decode them.
    std::vector<OrderToReview> toReview;
    std::string stopped; ///< why processing stopped at a document, "" when it went through
    /// The chains passed over: a document of each was not loaded, or processing failed on it.
    std::vector<kvad::read_model::PassedOver> passedOver;
    /// Register ids of the latest documents of the chains that hold an order to review.
    std::vector<std::int32_t> held;
};

/// What the import phase did.
struct ImportOutcome {
    kvad::read_model::ImportTotals totals;
    std::vector<ChainFailure> failures;
    std::string stopped; ///< why the import stopped, "" when it went through
};

/// The two phases that go batch by batch.
enum class JobPhase { Process, Import };

/// Told when each batch's processing and import begin and end (the pipeline benchmark measures
/// the phases so).
class PhaseWatch {
  public:
    PhaseWatch() = default;
    PhaseWatch(const PhaseWatch&) = delete;
    PhaseWatch& operator=(const PhaseWatch&) = delete;
    PhaseWatch(PhaseWatch&&) = delete;
    PhaseWatch& operator=(PhaseWatch&&) = delete;
    virtual ~PhaseWatch() = default;
    virtual void Begin(JobPhase phase) = 0;
    virtual void End(JobPhase phase) = 0;
};

/// How the batches are shown.
struct JobDisplay {
    ProgressView::Channel channel = ProgressView::Channel::Quiet;
    /// Called before each batch's phase with the batch's number (from 1) and the number of
    /// batches; once per phase with (1, 1) when there is nothing to process.
    std::function<void(JobPhase, std::size_t, std::size_t)> heading;
};

/// What the processing and import phases did over every batch.
struct BatchedOutcome {
    ProcessOutcome processed;
    ImportOutcome imported;
    std::size_t batches = 0;
    double processSeconds = 0;
    double importSeconds = 0;
};

/// Processes and imports every chain still to process that can be selected, `batchChains` chains
/// at a time. The working table is read once; each batch is then selected alone, processed
/// (passing over the chains whose documents cannot be processed), and its chains whose orders
/// passed verification are imported, before the next batch is selected. A batch at which
/// processing or the import stops ends the job there. Throws Failure when the database fails.
BatchedOutcome ProcessAndImport(Session& session, bool latestOnly, std::size_t batchChains,
                                const JobDisplay& display, PhaseWatch* watch = nullptr);

} // namespace nsoapp
