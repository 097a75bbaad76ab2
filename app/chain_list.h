#pragma once
// The chains of received documents as `nso list` shows them, gathered from the chain list the
// component builds (RstOrdini after LeggiOrdini): the latest document of each chain with the older
// documents it replaced, and what became of each.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/session.h"
#include "kvad_nso/enums.h"
#include "kvad_nso/variant.h"

namespace nsoapp {

/// One document of the list.
struct ListedDocument {
    std::int32_t id = 0;
    std::int32_t level = 0; ///< 0 for the chain's latest document, 1 and more for older ones
    std::string kind;       ///< order, revision, cancellation, not an order or unreadable
    std::string number;
    kvad::Variant date;
    std::string buyer;
    std::string erpDocument; ///< "OCL A/7", "" when it has no ERP order
    kvad::Variant erpDate;
    std::string state;        ///< "to process", "processed" or "not loaded"
    bool blocked = false;     ///< an older order of its chain has deliveries
    std::string notLoadedWhy; ///< why it was not loaded, "" when it was
};

/// One chain: its latest document first, then the older ones by level.
struct ListedChain {
    std::vector<ListedDocument> documents;
};

struct ChainList {
    std::size_t chains = 0;         ///< chains in the list
    std::size_t documents = 0;      ///< documents in the list
    std::vector<ListedChain> shown; ///< the latest chains, at most the limit asked for
};

/// Rebuilds the chain list of the documents `which` and gathers its first `limit` chains (all
/// when 0), in one pass over it.
[[nodiscard]] ChainList GatherChainList(Session& session, kvad::kaenumTipoOrdiniProcessati which,
                                        std::size_t limit);

} // namespace nsoapp
