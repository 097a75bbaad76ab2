#include "app/import_report.h"

#include <memory>

#include "app/working_table.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

// `closing`: the import closed the chain's superseded orders (it visited the chain and the chain
// did not fail).
ImportedDocument Document(Session& session, const kvad::Recordset& row, bool closing) {
    ImportedDocument d;
    d.id = Whole(row.Value("IE91_ID"));
    d.number = kvad::Trim(row.Value("IE91_IDORD").Text());
    d.date = row.Value("IE91_ISSUEDATE");
    d.kind = DocumentKind(row.Value("IE91_OPERAZIONE"));
    d.code = Whole(row.Value("TMP_ELABORA"));
    d.imported = Whole(row.Value("TMP_ESITO")) == kOutcomeImported;
    // The working table holds the register row as it was read; the import has changed it since.
    d.processed = Whole(session.db
                            ->Query("SELECT IE91_PROCESSATO FROM IE91_NSOFILES WHERE IE91_ID = " +
                                    std::to_string(d.id))
                            ->Value(0)) != 0;
    d.erpOrder = ReadErpOrderOf(*session.db, session.nso->CodiceDitta().ToLong(), d.id);
    d.closed = closing && Whole(row.Value("TMP_FLGNONPIUEV")) == 1 && d.erpOrder.closed;
    auto message = session.db->Query(
        "SELECT IE98_ERRORMESSAGE FROM IE98_NSO_LOGERRORS WHERE IE98_CONTESTO = 2 AND "
        "IE98_CODE_IE97 = 0 AND IE98_ID_IE91 = " +
        std::to_string(d.id));
    if (!message->Eof()) {
        d.message = kvad::RightTrim(message->Value(0).Text());
    }
    return d;
}

std::string Title(const ImportedDocument& d) {
    return d.kind + " " + d.number + " of " + DateText(d.date) + " (id " + std::to_string(d.id) +
           ")";
}

std::string ErpTitle(const ErpOrder& order) {
    return "ERP order " + order.document + " of " + DateText(order.date) + " (registration " +
           std::to_string(order.registration) + ")";
}

} // namespace

std::vector<ChainReport> GatherImport(Session& session) {
    auto all = session.nso->RstOrdini();
    all->Requery();
    auto mains = all->Clone();
    mains->SetFilter("TMP_IMG_SEL = 1");
    auto older = all->Clone();
    std::vector<ChainReport> chains;
    for (; !mains->Eof(); mains->MoveNext()) {
        ChainReport chain;
        const std::int32_t code = Whole(mains->Value("TMP_ELABORA"));
        older->SetFilter("ID_PADRE = " + FilterText(mains->Value("ID_RIGA").Text()));
        older->SetSort("LIVELLO");
        // A chain failed when one of its documents got the failed outcome.
        bool failed = Whole(mains->Value("TMP_ESITO")) == kOutcomeFailed;
        for (; !older->Eof(); older->MoveNext()) {
            failed = failed || Whole(older->Value("TMP_ESITO")) == kOutcomeFailed;
        }
        const bool closing = !failed && (code == kCodeToImport || code == kCodeCancellation);
        chain.documents.push_back(Document(session, *mains, closing));
        if (older->RecordCount() > 0) {
            for (older->MoveFirst(); !older->Eof(); older->MoveNext()) {
                chain.documents.push_back(Document(session, *older, closing));
            }
        }
        if (failed) {
            chain.outcome = "failed";
            for (const ImportedDocument& d : chain.documents) {
                if (!d.message.empty()) {
                    chain.reason = d.message;
                    break;
                }
            }
        } else if (code == kCodeToImport) {
            chain.outcome = "imported";
        } else if (code == kCodeCancellation) {
            chain.outcome = "cancelled";
        } else if (code == kCodeBlocked) {
            chain.outcome = "blocked";
            chain.reason = "an older order of the chain has deliveries";
        } else {
            chain.outcome = "already imported";
            chain.reason = "its latest document already has an ERP order";
        }
        chains.push_back(std::move(chain));
    }
    return chains;
}

bool AnyFailed(const std::vector<ChainReport>& chains) {
    for (const ChainReport& chain : chains) {
        if (chain.outcome == "failed") {
            return true;
        }
    }
    return false;
}

ImportTotals CountImport(const std::vector<ChainReport>& chains) {
    ImportTotals totals;
    totals.chains = static_cast<int>(chains.size());
    for (const ChainReport& chain : chains) {
        totals.imported += chain.outcome == "imported" || chain.outcome == "cancelled" ? 1 : 0;
        totals.failed += chain.outcome == "failed" ? 1 : 0;
        for (const ImportedDocument& d : chain.documents) {
            totals.ordersMade += d.imported ? 1 : 0;
            totals.closed += d.closed ? 1 : 0;
        }
    }
    return totals;
}

void PrintImport(std::ostream& out, const std::vector<ChainReport>& chains) {
    for (const ChainReport& chain : chains) {
        const ImportedDocument& latest = chain.documents.front();
        out << "Chain of " << Title(latest) << ": " << chain.outcome
            << (chain.reason.empty() ? "" : " (" + chain.reason + ")") << "\n";
        for (const ImportedDocument& d : chain.documents) {
            std::string what;
            if (d.imported) {
                what = "imported as " + ErpTitle(d.erpOrder);
            } else if (d.closed) {
                what = ErpTitle(d.erpOrder) + " made no longer to be fulfilled";
            } else if (!d.message.empty()) {
                what = "failed: " + d.message;
            } else if (chain.outcome == "failed" && (d.code == kCodeToImport)) {
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
            out << "  " << Title(d) << ": " << what << "\n";
        }
    }
    const ImportTotals totals = CountImport(chains);
    out << totals.chains << " chain(s): " << totals.imported << " imported, " << totals.failed
        << " failed; " << totals.ordersMade << " ERP order(s) made, " << totals.closed
        << " made no longer to be fulfilled\n";
}

} // namespace nsoapp
