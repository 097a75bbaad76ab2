#include "kvad_nso/read_model/import_report.h"

#include <map>

#include "kvad_nso/codes.h"
#include "kvad_nso/text.h"
#include "rows.h"

namespace kvad::read_model {

using detail::Code;
using detail::Whole;

namespace {

/// The reason the import wrote for a document that failed (message kImportFailed of its
/// phase), or "".
std::string ImportFailure(Connection& db, std::int32_t id) {
    auto message = db.Query("SELECT IE98_ERRORMESSAGE FROM IE98_NSO_LOGERRORS WHERE "
                            "IE98_CONTESTO = " +
                            Code(Contesto_ImportDati) + " AND IE98_CODE_IE97 = " +
                            Code(message::kImportFailed) + " AND IE98_ID_IE91 = " + Code(id));
    return message->Eof() ? std::string() : RightTrim(message->Value(0).Text());
}

bool FailedOutcome(const Recordset& row) {
    return Whole(row.Value("TMP_ESITO")) == import_outcome::kFailed;
}

/// Whether the import visits a chain whose latest document has this processing code.
bool ImportVisits(std::int32_t code) {
    return code == processing::kToImport || code == processing::kCancellation;
}

// `closing`: the import closed the chain's superseded orders (it visited the chain and the chain
// did not fail).
ImportedDocument ImportedOf(CLSIE_NSO& nso, const Recordset& row, bool closing) {
    Connection& db = detail::Db(nso);
    const DocumentRef document = detail::DocumentOf(row);
    ImportedDocument d;
    d.id = document.id;
    d.number = document.number;
    d.date = document.date;
    d.kind = document.kind;
    d.code = Whole(row.Value("TMP_ELABORA"));
    d.imported = Whole(row.Value("TMP_ESITO")) == import_outcome::kImported;
    // The working table holds the register row as it was read; the import has changed it since.
    d.processed =
        Whole(detail::Scalar(db, "SELECT IE91_PROCESSATO FROM IE91_NSOFILES WHERE IE91_ID = " +
                                     Code(d.id))) != 0;
    d.erpOrder = ReadErpOrderOf(nso, d.id);
    d.closed = closing && Whole(row.Value("TMP_FLGNONPIUEV")) == 1 && d.erpOrder.closed;
    d.failure = ImportFailure(db, d.id);
    return d;
}

ChainOutcome OutcomeOf(std::int32_t latestCode, bool failed) {
    if (failed) {
        return ChainOutcome::Failed;
    }
    switch (latestCode) {
    case processing::kToImport:
        return ChainOutcome::Imported;
    case processing::kCancellation:
        return ChainOutcome::Cancelled;
    case processing::kDeliveredChain:
        return ChainOutcome::Blocked;
    default:
        return ChainOutcome::AlreadyImported;
    }
}

std::string ReasonOf(const ChainReport& chain) {
    switch (chain.outcome) {
    case ChainOutcome::Failed:
        for (const ImportedDocument& d : chain.documents) {
            if (!d.failure.empty()) {
                return d.failure;
            }
        }
        return "";
    case ChainOutcome::Blocked:
        return "an older order of the chain has deliveries";
    case ChainOutcome::AlreadyImported:
        return "its latest document already has an ERP order";
    case ChainOutcome::Imported:
    case ChainOutcome::Cancelled:
        break;
    }
    return "";
}

/// One chain of the working table as the summary counts it.
struct ChainTally {
    std::int32_t code = 0;
    bool selected = false;
    bool failed = false;
    int closing = 0;
    DocumentRef latest;
    std::vector<std::int32_t> documents;
};

} // namespace

std::string_view OutcomeName(ChainOutcome outcome) {
    switch (outcome) {
    case ChainOutcome::Imported:
        return "imported";
    case ChainOutcome::Cancelled:
        return "cancelled";
    case ChainOutcome::Failed:
        return "failed";
    case ChainOutcome::Blocked:
        return "blocked";
    case ChainOutcome::AlreadyImported:
        return "already_imported";
    }
    return "";
}

std::vector<ChainReport> ReadImportReport(CLSIE_NSO& nso) {
    auto all = detail::WorkingRows(nso);
    all->Requery();
    auto mains = all->Clone();
    mains->SetFilter("TMP_IMG_SEL = " + Code(selection::kSelected));
    auto older = all->Clone();
    std::vector<ChainReport> chains;
    for (; !mains->Eof(); mains->MoveNext()) {
        const std::int32_t code = Whole(mains->Value("TMP_ELABORA"));
        older->SetFilter("ID_PADRE = " + detail::Quoted(mains->Value("ID_RIGA").Text()));
        older->SetSort("LIVELLO");
        // A chain failed when one of its documents got the failed outcome.
        bool failed = FailedOutcome(*mains);
        for (; !older->Eof(); older->MoveNext()) {
            failed = failed || FailedOutcome(*older);
        }
        const bool closing = !failed && ImportVisits(code);
        ChainReport chain;
        chain.documents.push_back(ImportedOf(nso, *mains, closing));
        if (older->RecordCount() > 0) {
            for (older->MoveFirst(); !older->Eof(); older->MoveNext()) {
                chain.documents.push_back(ImportedOf(nso, *older, closing));
            }
        }
        chain.outcome = OutcomeOf(code, failed);
        chain.reason = ReasonOf(chain);
        chains.push_back(std::move(chain));
    }
    return chains;
}

bool AnyFailed(const std::vector<ChainReport>& chains) {
    for (const ChainReport& chain : chains) {
        if (chain.outcome == ChainOutcome::Failed) {
            return true;
        }
    }
    return false;
}

ImportTotals CountImport(const std::vector<ChainReport>& chains) {
    ImportTotals totals;
    totals.chains = static_cast<int>(chains.size());
    for (const ChainReport& chain : chains) {
        const bool imported =
            chain.outcome == ChainOutcome::Imported || chain.outcome == ChainOutcome::Cancelled;
        totals.imported += imported ? 1 : 0;
        totals.failed += chain.outcome == ChainOutcome::Failed ? 1 : 0;
        for (const ImportedDocument& d : chain.documents) {
            totals.ordersMade += d.imported ? 1 : 0;
            totals.closed += d.closed ? 1 : 0;
        }
    }
    return totals;
}

ImportSummary ReadImportSummary(CLSIE_NSO& nso) {
    ImportSummary summary;
    std::map<std::string, ChainTally> chains;
    auto all = detail::WorkingRows(nso);
    all->Requery();
    if (all->RecordCount() > 0) {
        for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
            ChainTally& chain = chains[detail::ChainKey(*all)];
            const std::int32_t code = Whole(all->Value("TMP_ELABORA"));
            if (detail::IsMain(*all)) {
                chain.code = code;
                chain.selected = Whole(all->Value("TMP_IMG_SEL")) == selection::kSelected;
                chain.latest = detail::DocumentOf(*all);
            }
            chain.failed = chain.failed || FailedOutcome(*all);
            chain.closing += Whole(all->Value("TMP_FLGNONPIUEV")) == 1 ? 1 : 0;
            const bool made = Whole(all->Value("TMP_ESITO")) == import_outcome::kImported &&
                              code == processing::kToImport;
            summary.totals.ordersMade += made ? 1 : 0;
            chain.documents.push_back(Whole(all->Value("IE91_ID")));
        }
    }
    Connection& db = detail::Db(nso);
    for (const auto& [key, chain] : chains) {
        if (!chain.selected) {
            continue;
        }
        ++summary.totals.chains;
        if (chain.failed) {
            ++summary.totals.failed;
            std::string reason;
            for (auto id = chain.documents.begin(); reason.empty() && id != chain.documents.end();
                 ++id) {
                reason = ImportFailure(db, *id);
            }
            summary.failures.push_back({chain.latest, reason});
        } else if (ImportVisits(chain.code)) {
            ++summary.totals.imported;
            summary.totals.closed += chain.closing;
        }
    }
    return summary;
}

} // namespace kvad::read_model
