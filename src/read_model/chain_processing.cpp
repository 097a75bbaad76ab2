#include "kvad_nso/read_model/chain_processing.h"

#include <algorithm>
#include <optional>
#include <set>

#include "kvad_nso/codes.h"
#include "kvad_nso/recordset.h"
#include "rows.h"

namespace kvad::read_model {

using detail::Code;
using detail::Whole;

namespace {

/// Rounds in a row whose failing chain was the first one they took before processing counts as
/// failing wherever it is tried: then no document of those chains is to blame, and it stops.
constexpr int kFailuresAtTheStart = 3;

/// The filter of the rows processing takes: those it loads, decodes and verifies.
std::string TakenFilter() {
    return "TMP_ELABORA = " + Code(processing::kToImport) +
           " OR TMP_ELABORA = " + Code(processing::kCancellation) +
           " OR TMP_ELABORA = " + Code(processing::kDelivered) +
           " OR TMP_ELABORA = " + Code(processing::kDeliveredChain);
}

/// The chains selected in the working table, by their keys. Read from the table: SetSelezione
/// writes it, not RstOrdini.
std::vector<std::string> SelectedChains(CLSIE_NSO& nso) {
    std::vector<std::string> keys;
    auto rows =
        detail::Db(nso).Query("SELECT ID_RIGA FROM " + nso.NomeTempOrdini() +
                              " WHERE LIVELLO = 0 AND TMP_IMG_SEL = " + Code(selection::kSelected));
    for (; !rows->Eof(); rows->MoveNext()) {
        keys.push_back(rows->Value(0).Text());
    }
    return keys;
}

/// Makes `keys` the selected chains, through RstOrdini (as fresh as the table); blocked chains
/// stay as they are.
void Select(CLSIE_NSO& nso, const std::vector<std::string>& keys) {
    const std::set<std::string> wanted(keys.begin(), keys.end());
    auto all = detail::WorkingRows(nso);
    if (all->RecordCount() <= 0) {
        return;
    }
    for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
        const std::int32_t state = Whole(all->Value("TMP_IMG_SEL"));
        if (!detail::IsMain(*all) || state == selection::kBlocked) {
            continue;
        }
        const bool selected = wanted.count(all->Value("ID_RIGA").Text()) > 0;
        if (selected != (state == selection::kSelected)) {
            all->SetValue("TMP_IMG_SEL", selected ? selection::kSelected : selection::kNotSelected);
            all->Update();
        }
    }
}

/// Processes the chains selected; false when processing stopped at a document. A failure that
/// is a condition of the database is thrown: it is no document's.
bool ProcessSelection(CLSIE_NSO& nso) {
    nso.RecuperaOrdini();
    if (nso.Stato() == kaOK) {
        return true;
    }
    if (nso.LastDatabaseCondition() != DatabaseCondition::None) {
        detail::RequireOk(nso, "the processing");
    }
    return false;
}

/// Processes exactly the chains `keys`, as ProcessSelection.
bool ProcessOnly(CLSIE_NSO& nso, const std::vector<std::string>& keys) {
    Select(nso, keys);
    return ProcessSelection(nso);
}

/// A document processing took, in the order it takes them.
struct TakenRow {
    DocumentRef document;
    std::string chain;
    bool decoded = false;
};

/// The documents the last processing took, with whether each has a decoded header.
std::vector<TakenRow> TakenRows(CLSIE_NSO& nso) {
    std::set<std::int32_t> decoded;
    auto headers = detail::Db(nso).Query(
        "SELECT IE93_ID_IE91 FROM " + nso.NomeTempOrdini() +
        " AS TEMP_ORD INNER JOIN IE93_NSOTESTATA ON IE93_ID_IE91 = TEMP_ORD.IE91_ID");
    for (; !headers->Eof(); headers->MoveNext()) {
        decoded.insert(Whole(headers->Value(0)));
    }
    std::vector<TakenRow> taken;
    auto rows = detail::WorkingRows(nso)->Clone();
    rows->SetFilter(TakenFilter());
    for (; !rows->Eof(); rows->MoveNext()) {
        TakenRow row{detail::DocumentOf(*rows), detail::ChainKey(*rows), false};
        row.decoded = decoded.count(row.document.id) > 0;
        taken.push_back(std::move(row));
    }
    return taken;
}

/// The chain a failing processing of `taken` stopped at, with the document to name and the
/// failure; none when no chain fails on its own.
struct FailingChain {
    std::string key;
    DocumentRef document;
    std::string failure;
    bool someDocument = false; ///< `document` is the chain's latest, not the one that failed
};

/// The chain `key` with the document to name: the first one taken that has no decoded header,
/// else the chain's latest document.
FailingChain NameFailing(CLSIE_NSO& nso, const std::vector<TakenRow>& taken,
                         const std::string& key) {
    FailingChain chain{key, {}, nso.Errore().Text(), false};
    for (const TakenRow& row : taken) {
        if (row.chain == key && !row.decoded) {
            chain.document = row.document;
            return chain;
        }
    }
    auto latest = detail::WorkingRows(nso)->Clone();
    latest->SetFilter("ID_RIGA = " + detail::Quoted(key) + " AND LIVELLO = 0");
    if (!latest->Eof()) {
        chain.document = detail::DocumentOf(*latest);
    }
    chain.someDocument = true;
    return chain;
}

std::optional<FailingChain> FindFailingChain(CLSIE_NSO& nso, const std::vector<TakenRow>& taken) {
    // Processing stops at the first document that fails: one never decoded before it is the
    // likely one, tried alone first.
    std::string tried;
    const auto candidate =
        std::find_if(taken.begin(), taken.end(), [](const TakenRow& row) { return !row.decoded; });
    if (candidate != taken.end()) {
        tried = candidate->chain;
        if (!ProcessOnly(nso, {tried})) {
            return FailingChain{tried, candidate->document, nso.Errore().Text(), false};
        }
    }
    // Else halves of the chains, in their order: the half that fails holds the chain.
    std::vector<std::string> chains;
    for (const TakenRow& row : taken) {
        if (row.chain != tried &&
            std::find(chains.begin(), chains.end(), row.chain) == chains.end()) {
            chains.push_back(row.chain);
        }
    }
    while (chains.size() > 1) {
        const auto middle = chains.begin() + static_cast<std::ptrdiff_t>(chains.size() / 2);
        std::vector<std::string> first(chains.begin(), middle);
        if (ProcessOnly(nso, first)) {
            chains.erase(chains.begin(), middle);
        } else {
            chains = std::move(first);
        }
    }
    if (chains.empty() || ProcessOnly(nso, chains)) {
        return std::nullopt;
    }
    return NameFailing(nso, taken, chains.front());
}

/// The chains of documents not loaded leave `remaining`, each named.
void PassOverNotLoaded(CLSIE_NSO& nso, std::vector<std::string>& remaining,
                       std::vector<PassedOver>& passedOver) {
    const std::vector<DocumentOutcome> notLoaded = nso.DocumentsNotLoaded();
    detail::RequireOk(nso, "reading the documents not loaded");
    auto row = detail::WorkingRows(nso)->Clone();
    for (const DocumentOutcome& document : notLoaded) {
        row->SetFilter("IE91_ID = " + Code(document.id));
        if (row->Eof()) {
            continue;
        }
        const auto chain = std::find(remaining.begin(), remaining.end(), detail::ChainKey(*row));
        if (chain == remaining.end()) {
            continue;
        }
        remaining.erase(chain);
        passedOver.push_back({detail::DocumentOf(*row), true, false, document.reason, {}});
    }
}

} // namespace

ChainProcessing ProcessSelectedChains(CLSIE_NSO& nso) {
    ChainProcessing result;
    std::vector<std::string> remaining = SelectedChains(nso);
    if (remaining.empty()) {
        result.nothingSelected = true;
        return result;
    }
    PassOverNotLoaded(nso, remaining, result.passedOver);
    if (!result.passedOver.empty()) {
        // The selection changes through RstOrdini, which SetSelezione left behind the table.
        detail::WorkingRows(nso)->Requery();
        Select(nso, remaining);
    }
    // The first round takes the selection as it is; later rounds (after RecuperaOrdini has
    // requeried RstOrdini) set it first.
    bool selected = true;
    int failuresAtTheStart = 0;
    while (!remaining.empty()) {
        if (selected ? ProcessSelection(nso) : ProcessOnly(nso, remaining)) {
            // A selection whose chains hold nothing to load, decode or verify ends well too.
            result.nothingToProcess = TakenRows(nso).empty();
            result.chains = remaining.size();
            return result;
        }
        selected = false;
        const std::string failure = nso.Errore().Text();
        const std::vector<TakenRow> taken = TakenRows(nso);
        if (taken.empty()) {
            // Nothing to load, decode or verify: processing refuses that; the codes are written.
            nso.AssignProcessingCodes();
            detail::RequireOk(nso, "reading the processing codes");
            result.nothingToProcess = true;
            result.chains = remaining.size();
            return result;
        }
        const std::optional<FailingChain> failing = FindFailingChain(nso, taken);
        failuresAtTheStart =
            failing && failing->key == taken.front().chain ? failuresAtTheStart + 1 : 0;
        if (!failing || failuresAtTheStart >= kFailuresAtTheStart) {
            // The codes of every chain left, as the processing that stopped wrote them.
            Select(nso, remaining);
            nso.AssignProcessingCodes();
            detail::RequireOk(nso, "reading the processing codes");
            result.stopped = failure;
            result.chains = remaining.size();
            return result;
        }
        remaining.erase(std::find(remaining.begin(), remaining.end(), failing->key));
        const std::string reason = nso.ExplainDocument(failing->document.id);
        result.passedOver.push_back(
            {failing->document, false, failing->someDocument, reason, failing->failure});
    }
    Select(nso, remaining);
    return result;
}

} // namespace kvad::read_model
