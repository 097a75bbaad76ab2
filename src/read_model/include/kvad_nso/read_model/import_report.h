#pragma once
/// What an import (ImportaDocumenti) did with the chains selected in the working table: per
/// document the ERP order it made or why it failed, the ERP orders made no longer to be
/// fulfilled, and the totals.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/read_model/documents.h"
#include "kvad_nso/read_model/erp_orders.h"

namespace kvad::read_model {

/// One document of an imported chain.
struct ImportedDocument {
    std::int32_t id = 0;
    std::string number;
    Variant date;
    std::string kind;      ///< order, revision or cancellation
    std::int32_t code = 0; ///< its processing code (kvad::processing)
    bool imported = false; ///< an ERP order was made from it by this import
    bool processed = false;
    ErpOrder erpOrder;   ///< the ERP order it is linked to (registration 0: none)
    bool closed = false; ///< the import made its ERP order no longer to be fulfilled
    std::string failure; ///< the failure reason written for it, or ""
};

/// What became of a selected chain.
enum class ChainOutcome {
    Imported,        ///< its orders were imported
    Cancelled,       ///< its latest document is a cancellation: marked processed, nothing made
    Failed,          ///< an order of it failed: nothing of the chain was kept
    Blocked,         ///< an older order of the chain has deliveries
    AlreadyImported, ///< its latest document already has an ERP order
};

/// "imported", "cancelled", "failed", "blocked" or "already_imported".
[[nodiscard]] std::string_view OutcomeName(ChainOutcome outcome);

/// One selected chain: its latest document first, then the older ones, newest first.
struct ChainReport {
    std::vector<ImportedDocument> documents;
    ChainOutcome outcome = ChainOutcome::AlreadyImported;
    std::string reason; ///< why it failed or was left alone
};

/// What an import did, in numbers.
struct ImportTotals {
    int chains = 0;
    int imported = 0;   ///< chains imported (a cancellation's chain included)
    int failed = 0;     ///< chains that failed
    int ordersMade = 0; ///< ERP orders made
    int closed = 0;     ///< ERP orders made no longer to be fulfilled
};

/// The chains selected in the working table after ImportaDocumenti, document by document
/// (RstOrdini is requeried).
[[nodiscard]] std::vector<ChainReport> ReadImportReport(CLSIE_NSO& nso);

[[nodiscard]] ImportTotals CountImport(const std::vector<ChainReport>& chains);

/// Whether any chain failed.
[[nodiscard]] bool AnyFailed(const std::vector<ChainReport>& chains);

/// A chain whose import failed.
struct ChainFailure {
    DocumentRef latest; ///< its latest document
    std::string reason;
};

/// What an import did, in one pass over the working table whatever the number of chains: the
/// totals and the chains that failed.
struct ImportSummary {
    ImportTotals totals;
    std::vector<ChainFailure> failures;
};

/// The summary of the chains selected in the working table after ImportaDocumenti (RstOrdini is
/// requeried).
[[nodiscard]] ImportSummary ReadImportSummary(CLSIE_NSO& nso);

} // namespace kvad::read_model
