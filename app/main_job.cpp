#include "app/main_job.h"

#include <algorithm>

#include "app/failure.h"

namespace nsoapp {
namespace {

std::size_t CountNotLoaded(const std::vector<kvad::DocumentOutcome>& documents) {
    return static_cast<std::size_t>(std::count_if(documents.begin(), documents.end(),
                                                  [](const auto& d) { return !d.IsLoaded(); }));
}

/// A failure of the component that is a condition of the database (busy, read-only, full) stops
/// the phase with its plain message; any other is the phase's own outcome.
void RequireNoDatabaseTrouble(Session& session, const std::string& what) {
    if (session.nso->LastDatabaseCondition() != kvad::DatabaseCondition::None) {
        RequireOk(session, what);
    }
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
    outcome.chains = kvad::read_model::CountSelectableChains(nso);
    if (outcome.chains == 0) {
        return outcome;
    }

    const auto chains = static_cast<std::int32_t>(outcome.chains);
    view.Show(0, chains, "processing " + std::to_string(chains) + " chain(s)");
    kvad::read_model::ChainProcessing processing;
    try {
        processing = kvad::read_model::ProcessSelectedChains(nso);
    } catch (const kvad::read_model::ComponentFailure& e) {
        view.End();
        throw AsFailure(e, session.database);
    }
    view.Show(chains, chains, "processed " + std::to_string(chains) + " chain(s)");
    view.End();
    outcome.chains = processing.chains;
    outcome.stopped = processing.stopped;
    outcome.passedOver = std::move(processing.passedOver);
    if (processing.nothingSelected || outcome.chains == 0) {
        outcome.chains = 0;
        return outcome;
    }
    // A chain with an order to import that did not pass is held back from the import.
    kvad::read_model::ProcessingSummary summary = kvad::read_model::ReadProcessingSummary(nso);
    outcome.tally = summary.counts;
    outcome.toReview = std::move(summary.toReview);
    outcome.held = std::move(summary.held);
    return outcome;
}

ImportOutcome ImportReadyChains(Session& session, const ProcessOutcome& processed,
                                ProgressView& view) {
    ImportOutcome outcome;
    if (processed.chains == 0) {
        return outcome;
    }
    kvad::CLSIE_NSO& nso = *session.nso;
    // The chains held back leave the selection; the others keep it. Then the codes the
    // processing wrote, for the chains still selected.
    kvad::read_model::DeselectChains(nso, processed.held);
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
    kvad::read_model::ImportSummary summary = kvad::read_model::ReadImportSummary(nso);
    outcome.totals = summary.totals;
    outcome.failures = std::move(summary.failures);
    if (state == kvad::kaErrVB && outcome.totals.failed == 0) {
        outcome.stopped = failure;
    }
    return outcome;
}

} // namespace nsoapp
