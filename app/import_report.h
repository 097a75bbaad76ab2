#pragma once
// What an import did with the chains selected in the working table: per document the ERP order
// it made or the reason it failed, and the ERP orders it made no longer to be fulfilled.
// Gathering and printing are apart, so that the same report can be written in other forms.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "app/erp_orders.h"
#include "app/session.h"

namespace nsoapp {

/// One document of an imported chain.
struct ImportedDocument {
    std::int32_t id = 0;
    std::string number;
    kvad::Variant date;
    std::string kind;      ///< order, revision or cancellation
    std::int32_t code = 0; ///< its processing code
    bool imported = false; ///< an ERP order was made from it by this import
    bool processed = false;
    ErpOrder erpOrder;   ///< the ERP order it is linked to (registration 0: none)
    bool closed = false; ///< the import made its ERP order no longer to be fulfilled
    std::string message; ///< the failure reason written for it, or ""
};

/// One selected chain: its latest document first, then the older ones, newest first.
struct ChainReport {
    std::vector<ImportedDocument> documents;
    /// "imported", "cancelled", "failed", "already imported" or "blocked".
    std::string outcome;
    std::string reason; ///< why it failed or was left alone
};

/// The chains selected in the working table after ImportaDocumenti (RstOrdini is requeried).
[[nodiscard]] std::vector<ChainReport> GatherImport(Session& session);

/// What an import did, in numbers.
struct ImportTotals {
    int chains = 0;
    int imported = 0;   ///< chains imported (a cancellation's chain included)
    int failed = 0;     ///< chains that failed
    int ordersMade = 0; ///< ERP orders made
    int closed = 0;     ///< ERP orders made no longer to be fulfilled
};

[[nodiscard]] ImportTotals CountImport(const std::vector<ChainReport>& chains);

/// Each chain with its documents, then the totals.
void PrintImport(std::ostream& out, const std::vector<ChainReport>& chains);

/// Whether any chain failed.
[[nodiscard]] bool AnyFailed(const std::vector<ChainReport>& chains);

} // namespace nsoapp
