#pragma once
/// What processing (RecuperaOrdini) did with the chains selected in the working table, in one
/// pass over it whatever the number of chains: the reviewed documents by verdict, the orders left
/// for a clerk, and the chains to hold back from the import.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/read_model/documents.h"
#include "kvad_nso/read_model/review.h"

namespace kvad::read_model {

/// An order to import that a clerk must look at first: verification found errors in it, or
/// processing did not get to verify it.
struct OrderToReview {
    DocumentRef document;
    Verdict verdict = Verdict::Unverified;
    std::vector<Message> errors; ///< the error entries of its log
};

/// How the documents of the working table stand after processing.
struct ProcessingSummary {
    VerdictCounts counts; ///< the reviewed documents by verdict
    std::vector<OrderToReview> toReview;
    /// Register ids of the latest documents of the chains that hold an order to review.
    std::vector<std::int32_t> held;
};

/// The chains of the working table that can be selected: its main rows that are not blocked.
[[nodiscard]] std::size_t CountSelectableChains(CLSIE_NSO& nso);

/// The register ids of the latest documents of the chains that can be selected, in the working
/// table's order (newest issue date first).
[[nodiscard]] std::vector<std::int32_t> SelectableChains(CLSIE_NSO& nso);

/// The same for a chain list of its own (CLSIE_NSO::ListChains), read without the XML.
[[nodiscard]] std::vector<std::int32_t> SelectableChains(Recordset& chains);

/// The register ids of the latest documents of the chains selected in the working table, in its
/// order.
[[nodiscard]] std::vector<std::int32_t> SelectedChains(CLSIE_NSO& nso);

/// Selects exactly the chains whose latest documents are `latest`, through RstOrdini: every other
/// main row selected leaves the selection. A batch of the main job is selected so.
void SelectOnlyChains(CLSIE_NSO& nso, const std::vector<std::int32_t>& latest);

/// Rebuilds the working table with the chains whose latest documents are `latest` only
/// (CLSIE_NSO::ReadChainsOf) and selects exactly them: a batch of the main job is read so, and
/// the table, RstOrdini and every later statement on them are the size of the batch, not of the
/// backlog. A latest document no longer in a chain is left out.
void ReadOnlyChains(CLSIE_NSO& nso, const std::vector<std::int32_t>& latest);

/// Reads the working table (requeried by RecuperaOrdini) and the verification statuses of the
/// documents processing reviewed.
[[nodiscard]] ProcessingSummary ReadProcessingSummary(CLSIE_NSO& nso);

/// A selected chain holding a document the import would take that processing has not verified.
struct UnprocessedChain {
    std::int32_t latest = 0; ///< the register id of the chain's latest document
    DocumentRef document;    ///< the first of its documents to import that is not processed
};

/// After AssignProcessingCodes: the selected chains with a document to import or cancel
/// (processing code 2 or 4) that processing has not verified (no decoded header, or one never
/// verified), on which the import would fail or which it would import unreviewed.
[[nodiscard]] std::vector<UnprocessedChain> UnprocessedChains(CLSIE_NSO& nso);

/// Takes the chains whose latest documents are `latest` out of the selection, through RstOrdini,
/// so that an import leaves them alone.
void DeselectChains(CLSIE_NSO& nso, const std::vector<std::int32_t>& latest);

} // namespace kvad::read_model
