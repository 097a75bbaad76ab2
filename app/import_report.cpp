#include "app/import_report.h"

#include "app/terminal_text.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/read_model/values.h"

namespace nsoapp {

using kvad::read_model::ChainOutcome;
using kvad::read_model::ChainReport;
using kvad::read_model::DateText;
using kvad::read_model::ImportedDocument;

namespace {

std::string ImportedTitle(const ImportedDocument& d) {
    return d.kind + " " + d.number + " of " + DateText(d.date) + " (id " + std::to_string(d.id) +
           ")";
}

std::string ErpTitle(const kvad::read_model::ErpOrder& order) {
    return "ERP order " + order.document + " of " + DateText(order.date) + " (registration " +
           std::to_string(order.registration) + ")";
}

/// What the import did with one document of a chain; a failure's text, the ERP's or the
/// component's own, goes on lines of its own after it.
std::string WhatBecameOf(const ImportedDocument& d, const ChainReport& chain) {
    std::string what;
    if (d.imported) {
        what = "imported as " + ErpTitle(d.erpOrder);
    } else if (d.closed) {
        what = ErpTitle(d.erpOrder) + " made no longer to be fulfilled";
    } else if (!d.failure.empty()) {
        what = "failed:";
    } else if (chain.outcome == ChainOutcome::Failed && d.code == kvad::processing::kToImport) {
        what = "not imported";
    } else if (d.erpOrder.registration != 0) {
        what = ErpTitle(d.erpOrder);
    } else if (d.processed) {
        what = "processed, no ERP order";
    } else {
        what = "left as it is";
    }
    if (d.imported && d.closed) {
        what += ", then made no longer to be fulfilled";
    }
    return what;
}

} // namespace

std::string OutcomeText(ChainOutcome outcome) {
    std::string text(kvad::read_model::OutcomeName(outcome));
    for (char& c : text) {
        c = c == '_' ? ' ' : c;
    }
    return text;
}

void PrintImport(std::ostream& out, const std::vector<ChainReport>& chains) {
    for (const ChainReport& chain : chains) {
        // A failed chain's reason is its failed document's: told beneath that document.
        const bool ownReason = chain.outcome != ChainOutcome::Failed && !chain.reason.empty();
        out << "Chain of " << ImportedTitle(chain.documents.front()) << ": "
            << OutcomeText(chain.outcome) << (ownReason ? " (" + chain.reason + ")" : "") << "\n";
        for (const ImportedDocument& d : chain.documents) {
            out << "  " << ImportedTitle(d) << ": " << WhatBecameOf(d, chain) << "\n";
            PrintBeneath(out, d.failure, "      ");
        }
    }
    const kvad::read_model::ImportTotals totals = kvad::read_model::CountImport(chains);
    out << totals.chains << " chain(s): " << totals.imported << " imported, " << totals.failed
        << " failed; " << totals.ordersMade << " ERP order(s) made, " << totals.closed
        << " made no longer to be fulfilled\n";
}

} // namespace nsoapp
