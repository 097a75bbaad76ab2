#include "app/main_job.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "app/failure.h"
#include "app/working_table.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

std::size_t CountNotLoaded(const std::vector<kvad::DocumentOutcome>& documents) {
    return static_cast<std::size_t>(std::count_if(documents.begin(), documents.end(),
                                                  [](const auto& d) { return !d.IsLoaded(); }));
}

/// The chain a row of the working table belongs to: its main row's ID_RIGA.
std::string ChainKey(const kvad::Recordset& row) {
    const kvad::Variant parent = row.Value("ID_PADRE");
    return parent.IsNull() || parent.IsEmpty() ? row.Value("ID_RIGA").Text() : parent.Text();
}

bool IsMain(const kvad::Recordset& row) {
    const kvad::Variant parent = row.Value("ID_PADRE");
    return parent.IsNull() || parent.IsEmpty();
}

std::string Title(const kvad::Recordset& row) {
    OrderView order;
    order.id = Whole(row.Value("IE91_ID"));
    order.number = kvad::Trim(row.Value("IE91_IDORD").Text());
    order.date = row.Value("IE91_ISSUEDATE");
    order.kind = DocumentKind(row.Value("IE91_OPERAZIONE"));
    return OrderTitle(order);
}

/// A failure of the component that is a condition of the database (busy, read-only, full) stops
/// the phase with its plain message; any other is the phase's own outcome.
void RequireNoDatabaseTrouble(Session& session, const std::string& what) {
    if (session.nso->LastDatabaseCondition() != kvad::DatabaseCondition::None) {
        RequireOk(session, what);
    }
}

/// The verification status of every document of the working table with a reviewing code.
std::unordered_map<std::int32_t, std::int32_t> ReviewedStatuses(Session& session) {
    std::unordered_map<std::int32_t, std::int32_t> statuses;
    auto rows = session.db->Query(
        "SELECT IE93_ID_IE91, IE93_STATUS FROM " + session.nso->NomeTempOrdini() +
        " AS TEMP_ORD INNER JOIN IE93_NSOTESTATA ON IE93_ID_IE91 = TEMP_ORD.IE91_ID WHERE "
        "TEMP_ORD.TMP_ELABORA = 2 OR TEMP_ORD.TMP_ELABORA = 4 OR TEMP_ORD.TMP_ELABORA = 5 OR "
        "TEMP_ORD.TMP_ELABORA = 6");
    for (; !rows->Eof(); rows->MoveNext()) {
        statuses[Whole(rows->Value(0))] = Whole(rows->Value(1));
    }
    return statuses;
}

} // namespace

[[noreturn]] void PlatformFailure(Session& session, const Settings& settings) {
    throw Failure("the document platform could not be used, so nothing was fetched: check the "
                  "inbox folder \"" +
                      settings.inbox + "\" and the platform settings (`nso settings` shows them)",
                  session.nso->Errore().Text());
}

std::size_t FetchOutcome::NotLoaded() const {
    return CountNotLoaded(report.registered) + CountNotLoaded(repaired);
}

FetchOutcome FetchDocuments(Session& session, const Settings& settings, ProgressView& view) {
    FetchOutcome outcome;
    view.Follow(*session.nso);
    session.nso->RecuperaOrdiniNSO();
    view.End();
    // Stato tells about the last document only: the account comes from what this run
    // registered.
    outcome.report = session.nso->LastRetrieval();
    if (session.nso->Stato() == kvad::kaErrConnessioneNSO) {
        PlatformFailure(session, settings);
    }
    if (!outcome.report.completed) {
        RequireOk(session, "the retrieval of company " + std::to_string(settings.company));
    }
    outcome.repaired = session.nso->RepairDocuments();
    if (session.nso->Stato() == kvad::kaErrConnessioneNSO) {
        PlatformFailure(session, settings);
    }
    RequireOk(session, "taking in again the documents left incomplete");
    return outcome;
}

ProcessOutcome ProcessChains(Session& session, bool latestOnly, ProgressView& view) {
    ProcessOutcome outcome;
    kvad::CLSIE_NSO& nso = *session.nso;
    nso.SetParam_ModalitaImport(latestOnly ? kvad::kaSoloPiuRecente : kvad::kaInteraCatena);
    kvad::kaenumTipoOrdiniProcessati toProcess = kvad::kaOrdiniDaProcessare;
    nso.LeggiOrdini(toProcess);
    RequireOk(session, "reading the chains");
    kvad::kaEnumNSOSelez every = kvad::kaTutti;
    nso.SetSelezione(every);
    RequireOk(session, "selecting the chains");
    // The selection went to the table: in the recordset the chains it selected are the main rows
    // that are not blocked.
    auto all = nso.RstOrdini();
    if (all->RecordCount() > 0) {
        for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
            outcome.chains += IsMain(*all) && Whole(all->Value("TMP_IMG_SEL")) != 2 ? 1 : 0;
        }
    }
    if (outcome.chains == 0) {
        return outcome;
    }

    const auto chains = static_cast<std::int32_t>(outcome.chains);
    view.Show(0, chains, "processing " + std::to_string(chains) + " chain(s)");
    nso.RecuperaOrdini();
    const kvad::kaEnumNSOErrStato state = nso.Stato();
    const std::string failure = nso.Errore().Text();
    view.Show(chains, chains, "processed " + std::to_string(chains) + " chain(s)");
    view.End();
    if (state == kvad::kaErrNessunDatoDaElaborare) {
        outcome.chains = 0;
        return outcome;
    }
    if (state != kvad::kaOK) {
        RequireNoDatabaseTrouble(session, "the processing");
        outcome.stopped = failure;
    }

    // One pass over the working table, which the processing requeried: each document it
    // reviewed, by its verification status; a chain with an order to import that did not pass
    // is held back from the import.
    const auto statuses = ReviewedStatuses(session);
    std::set<std::string> held;
    if (all->RecordCount() > 0) {
        for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
            const std::int32_t code = Whole(all->Value("TMP_ELABORA"));
            if (code == kCodeToClose || code == kCodeNotImported) {
                ++outcome.tally.other;
                continue;
            }
            if (code == kCodeNothing) {
                continue;
            }
            const std::int32_t id = Whole(all->Value("IE91_ID"));
            const auto status = statuses.find(id);
            const Verdict verdict =
                status == statuses.end() ? Verdict::Unverified : VerdictOf(status->second);
            switch (verdict) {
            case Verdict::Ready:
                ++outcome.tally.ready;
                break;
            case Verdict::Warning:
                ++outcome.tally.warning;
                break;
            case Verdict::Error:
                ++outcome.tally.error;
                break;
            case Verdict::Unverified:
                ++outcome.tally.unverified;
                break;
            }
            const bool imported = code == kCodeToImport || code == kCodeCancellation;
            if (imported && (verdict == Verdict::Error || verdict == Verdict::Unverified)) {
                held.insert(ChainKey(*all));
                outcome.toReview.push_back({id, Title(*all), verdict, {}});
            }
        }
    }
    for (OrderToReview& order : outcome.toReview) {
        order.errors = ErrorsOf(session, order.id);
    }
    outcome.held.assign(held.begin(), held.end());
    return outcome;
}

ImportOutcome ImportReadyChains(Session& session, const ProcessOutcome& processed,
                                ProgressView& view) {
    ImportOutcome outcome;
    if (processed.chains == 0) {
        return outcome;
    }
    kvad::CLSIE_NSO& nso = *session.nso;
    // The chains held back leave the selection; the others keep it.
    auto all = nso.RstOrdini();
    if (!processed.held.empty() && all->RecordCount() > 0) {
        const std::set<std::string> held(processed.held.begin(), processed.held.end());
        for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
            if (IsMain(*all) && Whole(all->Value("TMP_IMG_SEL")) == 1 &&
                held.count(all->Value("ID_RIGA").Text()) > 0) {
                all->SetValue("TMP_IMG_SEL", std::int32_t{0});
                all->Update();
            }
        }
    }
    // The codes the processing wrote, for the chains still selected.
    nso.AssignProcessingCodes();
    if (nso.Stato() == kvad::kaErrNessunDatoDaElaborare) {
        return outcome;
    }
    RequireOk(session, "reading the processing codes");
    kvad::kaEnumContesto every = kvad::Contesto_Tutti;
    (void)nso.GetRstElaborazione(every);
    RequireOk(session, "opening the processed orders");

    view.Follow(nso);
    nso.ImportaDocumenti();
    view.End();
    const kvad::kaEnumNSOErrStato state = nso.Stato();
    const std::string failure = nso.Errore().Text();
    if (state != kvad::kaOK) {
        RequireNoDatabaseTrouble(session, "the import");
    }

    // One pass over the working table as the import left it.
    struct Chain {
        std::int32_t code = 0;
        bool selected = false;
        bool failed = false;
        int closing = 0;
        std::string title;
        std::vector<std::int32_t> documents;
    };
    std::map<std::string, Chain> chains;
    all = nso.RstOrdini();
    all->Requery();
    if (all->RecordCount() > 0) {
        for (all->MoveFirst(); !all->Eof(); all->MoveNext()) {
            Chain& chain = chains[ChainKey(*all)];
            const std::int32_t code = Whole(all->Value("TMP_ELABORA"));
            const std::int32_t result = Whole(all->Value("TMP_ESITO"));
            if (IsMain(*all)) {
                chain.code = code;
                chain.selected = Whole(all->Value("TMP_IMG_SEL")) == 1;
                chain.title = Title(*all);
            }
            chain.failed = chain.failed || result == kOutcomeFailed;
            chain.closing += Whole(all->Value("TMP_FLGNONPIUEV")) == 1 ? 1 : 0;
            outcome.totals.ordersMade += result == kOutcomeImported && code == kCodeToImport;
            chain.documents.push_back(Whole(all->Value("IE91_ID")));
        }
    }
    for (const auto& [key, chain] : chains) {
        if (!chain.selected) {
            continue;
        }
        ++outcome.totals.chains;
        const bool visited = chain.code == kCodeToImport || chain.code == kCodeCancellation;
        if (chain.failed) {
            ++outcome.totals.failed;
            std::string reason;
            for (const std::int32_t id : chain.documents) {
                auto message = session.db->Query(
                    "SELECT IE98_ERRORMESSAGE FROM IE98_NSO_LOGERRORS WHERE IE98_CONTESTO = 2 "
                    "AND IE98_CODE_IE97 = 0 AND IE98_ID_IE91 = " +
                    std::to_string(id));
                if (!message->Eof()) {
                    reason = kvad::RightTrim(message->Value(0).Text());
                    break;
                }
            }
            outcome.failures.push_back({chain.title, reason});
        } else if (visited) {
            ++outcome.totals.imported;
            outcome.totals.closed += chain.closing;
        }
    }
    if (state == kvad::kaErrVB && outcome.totals.failed == 0) {
        outcome.stopped = failure;
    }
    return outcome;
}

} // namespace nsoapp
