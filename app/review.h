#pragma once
// The clerk's review of processed orders as nso process, show, edit and messages print it on a
// terminal of 100 columns, from what the read model gives; and how those commands choose the
// chains they review.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/settings.h"
#include "kvad_nso/read_model/chain_processing.h"
#include "kvad_nso/read_model/review.h"

namespace nsoapp {

using kvad::read_model::Chain;
using kvad::read_model::Message;
using kvad::read_model::Order;
using kvad::read_model::Verdict;
using kvad::read_model::VerdictCounts;

/// "ready", "warning", "error" or "not verified".
[[nodiscard]] std::string VerdictText(Verdict verdict);

/// Rebuilds the working table with every chain and selects the chains that hold the documents
/// `ids`. Throws when a document is in no chain (its XML never arrived).
void SelectChainsOf(Session& session, const std::vector<std::int32_t>& ids);

/// The chains a command works on: the latest document of each, in the working table's order.
struct ChainSelection {
    std::vector<std::int32_t> latest;
    /// True when the working table holds these chains, selected, and nothing else to work on;
    /// false when it is yet to be read (each batch reads its own chains).
    bool inWorkingTable = false;
};

/// Sets the import mode (the whole chain, or with `latestOnly` its latest document only) and
/// selects the chains to process or import: with `all` every chain still to process that can be
/// selected, listed without their XML (each batch then reads its own chains); otherwise the
/// chains of the documents named (register id or order number), in a working table of those
/// chains. Throws when a name is no document's.
[[nodiscard]] ChainSelection SelectChains(Session& session, const Settings& settings,
                                          const std::vector<std::string>& chains, bool all,
                                          bool latestOnly);

/// Calls `work` with the chains of `selection` in batches of at most `batchChains`, each batch
/// selected alone in the working table (the table rebuilt with that batch's chains only), with
/// its number (from 1) and the number of batches; stops when `work` returns false. When the
/// working table already holds the selection and it is no more than one batch, `work` runs once
/// on it as it stands.
void ForEachBatch(Session& session, const ChainSelection& selection, std::size_t batchChains,
                  const std::function<bool(std::size_t, std::size_t)>& work);

/// Document `id` as its last processing left it, for `nso show` and `nso edit`: reviewed, or
/// read-only with the ERP order made from it. Throws when processing does not review it or has
/// not reached it yet.
[[nodiscard]] Order ReviewedOrder(Session& session, std::int32_t id);

void PrintChain(std::ostream& out, const Chain& chain);
void PrintOrder(std::ostream& out, const Order& order);
void PrintMessages(std::ostream& out, const std::vector<Message>& messages,
                   const std::string& indent);
void PrintTally(std::ostream& out, const VerdictCounts& tally);
/// The chains processing passed over, each by its document with why, under a heading; with
/// `verbose` the component's text of a failure beneath it. Nothing when there are none.
void PrintPassedOver(std::ostream& out, const std::vector<kvad::read_model::PassedOver>& passed,
                     bool verbose, const std::string& indent = "");

} // namespace nsoapp
