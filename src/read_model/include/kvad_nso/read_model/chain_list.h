#pragma once
/// The chains of received documents for a listing, as the component reads them (ListChains): the
/// latest document of each chain with the older documents it replaced, and what became of each.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/enums.h"
#include "kvad_nso/variant.h"

namespace kvad::read_model {

/// One document of the list.
struct ListedDocument {
    std::int32_t id = 0;
    std::int32_t level = 0; ///< 0 for the chain's latest document, 1 and more for older ones
    std::string kind;       ///< order, revision, cancellation, "not an order" or "unreadable"
    std::string number;
    Variant date;
    std::string buyer;
    std::string erpDocument; ///< "OCL A/7", "" when it has no ERP order
    Variant erpDate;
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

/// The chains of the documents `which` (the working table and RstOrdini are left as they are),
/// their first `limit` chains gathered (all when 0), in one pass over them. Throws
/// ComponentFailure when the component cannot read them.
[[nodiscard]] ChainList ReadChainList(CLSIE_NSO& nso, kaenumTipoOrdiniProcessati which,
                                      std::size_t limit);

/// The size of a list, known before its first chain is read.
struct ChainCounts {
    std::size_t chains = 0;    ///< chains in the list
    std::size_t documents = 0; ///< documents in the list
};

/// ReadChainList one chain at a time: `counted` is told the list's size first, then `take` each
/// of the first `limit` chains (all when 0) in list order, handed over and none of them kept, so
/// that printing a list of any length holds one chain at a time. Throws as ReadChainList.
ChainCounts ForEachListedChain(CLSIE_NSO& nso, kaenumTipoOrdiniProcessati which, std::size_t limit,
                               const std::function<void(const ChainCounts&)>& counted,
                               const std::function<void(ListedChain&&)>& take);

} // namespace kvad::read_model
