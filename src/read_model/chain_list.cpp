#include "kvad_nso/read_model/chain_list.h"

#include <algorithm>
#include <functional>
#include <map>
#include <unordered_map>
#include <utility>

#include "kvad_nso/codes.h"
#include "kvad_nso/read_model/documents.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "rows.h"

namespace kvad::read_model {
namespace {

using detail::Whole;

/// The documents of the list that were not loaded, by IE91_ID.
using NotLoaded = std::map<std::int32_t, DocumentOutcome>;

std::string ListedKind(const Recordset& rs, const DocumentOutcome* problem) {
    if (problem != nullptr) {
        switch (problem->outcome) {
        case IntakeOutcome::NotAnOrder:
            return "not an order";
        case IntakeOutcome::Unreadable:
        case IntakeOutcome::Empty:
        case IntakeOutcome::DownloadFailed:
            return "unreadable";
        case IntakeOutcome::Loaded:
        case IntakeOutcome::LoadFailed:
        case IntakeOutcome::ReferenceFailed:
            break;
        }
    }
    return DocumentKind(rs.Value("IE91_OPERAZIONE"));
}

ListedDocument ListedRow(const Recordset& rs, const NotLoaded& notLoaded) {
    ListedDocument d;
    d.id = Whole(rs.Value("IE91_ID"));
    d.level = Whole(rs.Value("LIVELLO"));
    const auto found = notLoaded.find(d.id);
    const DocumentOutcome* problem = found == notLoaded.end() ? nullptr : &found->second;
    d.kind = ListedKind(rs, problem);
    d.number = rs.Value("IE91_IDORD").Text();
    d.date = rs.Value("IE91_ISSUEDATE");
    d.buyer = rs.Value("IE92_BuyerCustomerParty_Party_PartyName_Name").Text();
    if (!rs.Value("DO11_NUMREG_CO99").IsNull()) {
        d.erpDocument = Trim(rs.Value("DO11_DOCUM_MG36").Text()) + " " +
                        Trim(rs.Value("DO11_SEZDOC").Text()) + "/" + rs.Value("DO11_NUMDOC").Text();
        d.erpDate = rs.Value("DO11_DATADOC");
    }
    d.state = problem != nullptr                   ? "not loaded"
              : Whole(rs.Value("IE91_PROCESSATO")) ? "processed"
                                                   : "to process";
    d.blocked = d.level == 0 && Whole(rs.Value("TMP_IMG_SEL")) == selection::kBlocked;
    if (problem != nullptr) {
        d.notLoadedWhy = problem->reason;
    }
    return d;
}

// The chains of the list: each main row (ID_PADRE Null) with the older documents whose
// ID_PADRE names it (compared without case, as a filter compares), by level. Rows are kept as
// their positions in the recordset, found in one pass over it.
struct Chains {
    struct Older {
        long position;
        Variant level;
    };
    std::vector<long> mains;
    std::vector<std::string> mainIds;
    std::unordered_map<std::string, std::vector<Older>> olderByParent;
};

Chains GroupChains(Recordset& all) {
    Chains chains;
    if (all.RecordCount() == 0) {
        return chains;
    }
    for (all.MoveFirst(); !all.Eof(); all.MoveNext()) {
        const Variant parent = all.Value("ID_PADRE");
        if (parent.IsNull() || parent.IsEmpty()) {
            chains.mains.push_back(all.AbsolutePosition());
            chains.mainIds.push_back(AsciiLower(all.Value("ID_RIGA").Text()));
        } else {
            chains.olderByParent[AsciiLower(parent.Text())].push_back(
                {all.AbsolutePosition(), all.Value("LIVELLO")});
        }
    }
    for (auto& [parent, older] : chains.olderByParent) {
        // By level, Nulls first, in recordset order within a level (a recordset's sort).
        std::stable_sort(older.begin(), older.end(), [](const auto& a, const auto& b) {
            const bool aNull = a.level.IsNull() || a.level.IsEmpty();
            const bool bNull = b.level.IsNull() || b.level.IsEmpty();
            if (aNull || bNull) {
                return aNull && !bNull;
            }
            return a.level.ToDouble() < b.level.ToDouble();
        });
    }
    return chains;
}

} // namespace

ChainCounts ForEachListedChain(CLSIE_NSO& nso, kaenumTipoOrdiniProcessati which, std::size_t limit,
                               const std::function<void(const ChainCounts&)>& counted,
                               const std::function<void(ListedChain&&)>& take) {
    NotLoaded notLoaded;
    for (auto& document : nso.DocumentsNotLoaded()) {
        const std::int32_t id = document.id;
        notLoaded.emplace(id, std::move(document));
    }
    detail::RequireOk(nso, "reading what became of the documents");
    auto all = nso.ListChains(which);
    detail::RequireOk(nso, "reading the chains");
    const Chains chains = GroupChains(*all);

    ChainCounts counts;
    counts.chains = chains.mains.size();
    counts.documents = static_cast<std::size_t>(std::max<long>(all->RecordCount(), 0));
    counted(counts);
    const std::size_t shown =
        limit > 0 ? std::min(chains.mains.size(), limit) : chains.mains.size();
    for (std::size_t chain = 0; chain < shown; ++chain) {
        ListedChain listed;
        all->SetAbsolutePosition(chains.mains[chain]);
        listed.documents.push_back(ListedRow(*all, notLoaded));
        const auto older = chains.olderByParent.find(chains.mainIds[chain]);
        if (older != chains.olderByParent.end()) {
            for (const Chains::Older& row : older->second) {
                all->SetAbsolutePosition(row.position);
                listed.documents.push_back(ListedRow(*all, notLoaded));
            }
        }
        take(std::move(listed));
    }
    return counts;
}

ChainList ReadChainList(CLSIE_NSO& nso, kaenumTipoOrdiniProcessati which, std::size_t limit) {
    ChainList list;
    const ChainCounts counts = ForEachListedChain(
        nso, which, limit,
        [&](const ChainCounts& size) {
            list.shown.reserve(limit > 0 ? std::min(size.chains, limit) : size.chains);
        },
        [&](ListedChain&& chain) { list.shown.push_back(std::move(chain)); });
    list.chains = counts.chains;
    list.documents = counts.documents;
    return list;
}

} // namespace kvad::read_model
