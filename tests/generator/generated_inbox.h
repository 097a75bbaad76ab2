#pragma once
// A generated folder inbox and the ERP master data that decodes it, the same from the same seed:
// orders of a few buyers, some revised (again and again) or cancelled later in the inbox, so
// that the register holds chains of one to several documents; on request one large order in
// the middle of the inbox. Every document comes out of processing ready: its buyer, office,
// delivery location, items, VAT code and currency are in the master data, and every line has a
// delivery date.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "generator/ubl_order.h"

namespace kvad::generator {

/// What to generate.
struct InboxPlan {
    std::uint32_t seed = 1;
    int documents = 300;         ///< orders, revisions and cancellations, the large order aside
    int revisionPercent = 15;    ///< share of documents that revise the latest of a chain
    int cancellationPercent = 5; ///< share that cancel one
    int minLines = 1;            ///< lines of an order or revision
    int maxLines = 6;
    int largeOrderLines = 0; ///< > 0: one more order of this many lines, in the middle
    int buyers = 20;
    int items = 50;                         ///< items the lines choose from
    std::string companyVat = "01234567890"; ///< the receiving company, without "IT"
};

/// What was generated.
struct InboxSummary {
    int documents = 0;
    int orders = 0;
    int revisions = 0;
    int cancellations = 0;
    int chains = 0;       ///< one per order
    int longestChain = 0; ///< documents in the longest chain
    long lines = 0;       ///< order lines of every document
};

/// Writes the documents `plan` asks for into `<inbox>/IT<company VAT>/`, in the order they are
/// received, all with one modification time (the inbox then lists them by name, in that order).
/// A revision or cancellation refers to the latest document of an earlier chain that is not
/// cancelled, by the same buyer; every document has an issue date later than those before it.
InboxSummary WriteInbox(const std::filesystem::path& inbox, const InboxPlan& plan);

/// One kind of master data as `nso master load KIND FILE.csv` takes it.
struct MasterDataFile {
    std::string kind; ///< "vat-codes", "customers", ...
    std::string csv;
};

/// The master data that decodes every document of `plan`, kinds in the order they must be
/// loaded: VAT code, currency, document code OCL (section A, warehouse 01), one customer per
/// buyer with its office and destination, the items.
[[nodiscard]] std::vector<MasterDataFile> MasterData(const InboxPlan& plan);

/// Writes MasterData(plan) as `<folder>/<kind>.csv`; returns the files in load order.
std::vector<std::filesystem::path> WriteMasterData(const std::filesystem::path& folder,
                                                   const InboxPlan& plan);

} // namespace kvad::generator
