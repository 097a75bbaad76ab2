#pragma once
/// Processing (RecuperaOrdini) of the chains selected in the working table, so that a document
/// that cannot be processed never stops the others: a chain holding a document that was not
/// loaded, or one at which processing stops, is passed over and named with its reason, and the
/// other chains are processed.

#include <cstddef>
#include <string>
#include <vector>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/read_model/documents.h"

namespace kvad::read_model {

/// A chain processing passed over, by the document that kept it from being processed.
struct PassedOver {
    DocumentRef document;
    bool notLoaded = false; ///< the document was not loaded; else processing failed on it
    /// Processing failed on a document of the chain that could not be told; `document` is the
    /// chain's latest.
    bool someDocumentOfChain = false;
    /// Why, in words for the user: why it was not loaded (the intake's reason), or what is known
    /// of the document when processing failed on it ("" when nothing).
    std::string reason;
    std::string failure; ///< when processing failed on it: the component's Errore
};

/// What ProcessSelectedChains did.
struct ChainProcessing {
    bool nothingSelected = false; ///< no chain was selected: nothing was done
    /// The selected chains had no document to load, decode or verify (their documents were
    /// imported already): their processing codes are written, nothing was processed.
    bool nothingToProcess = false;
    std::size_t chains = 0; ///< chains processed, those passed over left out
    std::vector<PassedOver> passedOver;
    /// The component's Errore when processing stopped at a document that could not be told apart
    /// from the others (it fails wherever it is tried, as the processing itself would); the
    /// documents after it were not processed. "" when processing went through.
    std::string stopped;
};

/// Processes the chains selected in RstOrdini. The chains of documents not loaded
/// (DocumentsNotLoaded) leave the selection first. When RecuperaOrdini still stops at a
/// document, that document's chain is found (the first document processing took and did not
/// decode, tried alone; else by processing halves of the chains), leaves the selection, and the
/// other chains are processed again; a failure that is a condition of the database is not passed
/// over. Leaves the working table, RstOrdini and the selection as RecuperaOrdini leaves them for
/// the chains processed. Throws ComponentFailure when a method fails on the database or outside
/// processing a document.
[[nodiscard]] ChainProcessing ProcessSelectedChains(CLSIE_NSO& nso);

} // namespace kvad::read_model
