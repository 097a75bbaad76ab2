#include "kvad_nso/read_model/processing_summary.h"

#include <set>
#include <unordered_map>

#include "kvad_nso/codes.h"
#include "kvad_nso/recordset.h"
#include "rows.h"

namespace kvad::read_model {

using detail::Code;
using detail::Whole;

namespace {

/// The verification status of every document of the working table that processing reviews.
std::unordered_map<std::int32_t, std::int32_t> ReviewedStatuses(CLSIE_NSO& nso) {
    const auto reviewing = [](std::int32_t code) { return "TEMP_ORD.TMP_ELABORA = " + Code(code); };
    std::unordered_map<std::int32_t, std::int32_t> statuses;
    auto rows = detail::Db(nso).Query(
        "SELECT IE93_ID_IE91, IE93_STATUS FROM " + nso.NomeTempOrdini() +
        " AS TEMP_ORD INNER JOIN IE93_NSOTESTATA ON IE93_ID_IE91 = TEMP_ORD.IE91_ID WHERE " +
        reviewing(processing::kToImport) + " OR " + reviewing(processing::kCancellation) + " OR " +
        reviewing(processing::kDelivered) + " OR " + reviewing(processing::kDeliveredChain));
    for (; !rows->Eof(); rows->MoveNext()) {
        statuses[Whole(rows->Value(0))] = Whole(rows->Value(1));
    }
    return statuses;
}

/// The main rows' register ids by chain.
std::unordered_map<std::string, std::int32_t> LatestOfChains(Recordset& all) {
    std::unordered_map<std::string, std::int32_t> latest;
    for (all.MoveFirst(); !all.Eof(); all.MoveNext()) {
        if (detail::IsMain(all)) {
            latest[all.Value("ID_RIGA").Text()] = Whole(all.Value("IE91_ID"));
        }
    }
    return latest;
}

} // namespace

std::size_t CountSelectableChains(CLSIE_NSO& nso) {
    // SetSelezione writes the table, not RstOrdini: the chains it selected are the main rows
    // that are not blocked.
    auto all = detail::WorkingRows(nso);
    std::size_t chains = 0;
    if (all->RecordCount() > 0) {
        for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
            const bool blocked = Whole(all->Value("TMP_IMG_SEL")) == selection::kBlocked;
            chains += detail::IsMain(*all) && !blocked ? 1 : 0;
        }
    }
    return chains;
}

namespace {

/// The register ids of the main rows whose selection code passes `keep`, in the table's order.
template <class Keep> std::vector<std::int32_t> MainRowsWhere(Recordset& rows, Keep keep) {
    std::vector<std::int32_t> latest;
    if (rows.RecordCount() <= 0) {
        return latest;
    }
    for (rows.MoveFirst(); !rows.Eof(); rows.MoveNext()) {
        if (detail::IsMain(rows) && keep(Whole(rows.Value("TMP_IMG_SEL")))) {
            latest.push_back(Whole(rows.Value("IE91_ID")));
        }
    }
    return latest;
}

} // namespace

std::vector<std::int32_t> SelectableChains(Recordset& chains) {
    return MainRowsWhere(chains, [](std::int32_t code) { return code != selection::kBlocked; });
}

std::vector<std::int32_t> SelectableChains(CLSIE_NSO& nso) {
    return SelectableChains(*detail::WorkingRows(nso));
}

std::vector<std::int32_t> SelectedChains(CLSIE_NSO& nso) {
    return MainRowsWhere(*detail::WorkingRows(nso),
                         [](std::int32_t code) { return code == selection::kSelected; });
}

void ReadOnlyChains(CLSIE_NSO& nso, const std::vector<std::int32_t>& latest) {
    (void)nso.ReadChainsOf(latest);
    detail::RequireOk(nso, "reading the chains");
    SelectOnlyChains(nso, latest);
}

void SelectOnlyChains(CLSIE_NSO& nso, const std::vector<std::int32_t>& latest) {
    auto all = detail::WorkingRows(nso);
    if (all->RecordCount() <= 0) {
        return;
    }
    const std::set<std::int32_t> chosen(latest.begin(), latest.end());
    for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
        const std::int32_t now = Whole(all->Value("TMP_IMG_SEL"));
        if (!detail::IsMain(*all) || now == selection::kBlocked) {
            continue;
        }
        const std::int32_t wanted = chosen.count(Whole(all->Value("IE91_ID"))) > 0
                                        ? selection::kSelected
                                        : selection::kNotSelected;
        if (now != wanted) {
            all->SetValue("TMP_IMG_SEL", wanted);
            all->Update();
        }
    }
}

ProcessingSummary ReadProcessingSummary(CLSIE_NSO& nso) {
    ProcessingSummary summary;
    auto all = detail::WorkingRows(nso);
    if (all->RecordCount() <= 0) {
        return summary;
    }
    const auto statuses = ReviewedStatuses(nso);
    const auto latest = LatestOfChains(*all);
    std::set<std::int32_t> held;
    for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
        const std::int32_t code = Whole(all->Value("TMP_ELABORA"));
        if (code == processing::kToClose || code == processing::kNotImported) {
            ++summary.counts.other;
            continue;
        }
        if (code == processing::kNothing) {
            continue;
        }
        const std::int32_t id = Whole(all->Value("IE91_ID"));
        const auto status = statuses.find(id);
        const Verdict verdict =
            status == statuses.end() ? Verdict::Unverified : VerdictOf(status->second);
        summary.counts.Add(verdict);
        const bool imported = code == processing::kToImport || code == processing::kCancellation;
        if (imported && (verdict == Verdict::Error || verdict == Verdict::Unverified)) {
            const auto chain = latest.find(detail::ChainKey(*all));
            held.insert(chain == latest.end() ? id : chain->second);
            summary.toReview.push_back({detail::DocumentOf(*all), verdict, {}});
        }
    }
    for (OrderToReview& order : summary.toReview) {
        order.errors = ReadErrors(nso, order.document.id);
    }
    summary.held.assign(held.begin(), held.end());
    return summary;
}

std::vector<UnprocessedChain> UnprocessedChains(CLSIE_NSO& nso) {
    std::vector<UnprocessedChain> chains;
    auto all = detail::WorkingRows(nso);
    if (all->RecordCount() <= 0) {
        return chains;
    }
    const auto statuses = ReviewedStatuses(nso);
    const auto latest = LatestOfChains(*all);
    std::set<std::string> named;
    for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
        const std::int32_t code = Whole(all->Value("TMP_ELABORA"));
        if (code != processing::kToImport && code != processing::kCancellation) {
            continue;
        }
        const auto status = statuses.find(Whole(all->Value("IE91_ID")));
        const bool verified =
            status != statuses.end() && VerdictOf(status->second) != Verdict::Unverified;
        const std::string key = detail::ChainKey(*all);
        if (!verified && named.insert(key).second) {
            const auto chain = latest.find(key);
            chains.push_back({chain == latest.end() ? 0 : chain->second, detail::DocumentOf(*all)});
        }
    }
    return chains;
}

void DeselectChains(CLSIE_NSO& nso, const std::vector<std::int32_t>& latest) {
    auto all = detail::WorkingRows(nso);
    if (latest.empty() || all->RecordCount() <= 0) {
        return;
    }
    const std::set<std::int32_t> held(latest.begin(), latest.end());
    for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
        const bool selected = Whole(all->Value("TMP_IMG_SEL")) == selection::kSelected;
        if (detail::IsMain(*all) && selected && held.count(Whole(all->Value("IE91_ID"))) > 0) {
            all->SetValue("TMP_IMG_SEL", selection::kNotSelected);
            all->Update();
        }
    }
}

} // namespace kvad::read_model
