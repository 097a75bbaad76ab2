#pragma once
// The main job phase by phase, as `nso run` does it: fetch the new documents, process every
// chain that can be selected, import the chains whose orders passed verification. `nso fetch`
// and the pipeline benchmark run the same phases. The processing and import phases read what
// they report in one pass over the working table, whatever the number of chains.

#include <cstddef>
#include <cstdint>
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

/// Processes every chain still to process that can be selected, in a working table of those
/// chains, passing over those whose documents cannot be processed, and reads how each document it
/// reviewed stands. `view` shows the phase. Throws Failure when the database fails.
ProcessOutcome ProcessChains(Session& session, bool latestOnly, ProgressView& view);

/// What the import phase did.
struct ImportOutcome {
    kvad::read_model::ImportTotals totals;
    std::vector<ChainFailure> failures;
    std::string stopped; ///< why the import stopped, "" when it went through
};

/// Imports the chains the processing phase selected, all but those it holds back, on the same
/// working table (progress through `view`).
ImportOutcome ImportReadyChains(Session& session, const ProcessOutcome& processed,
                                ProgressView& view);

} // namespace nsoapp
