#include "import/chain_outcomes.h"

#include "import/esito_ordine.h"
#include "kvad_nso/codes.h"
#include "verification/error_log.h"

namespace kvad::nso {
namespace {

// Writes the outcomes of a chain's attempts one after the other. Clearing an order's import
// messages resets the state, so the failure to report is taken as it happens: the chain's own,
// or else the first write that failed.
class OutcomeWriter {
  public:
    OutcomeWriter(NsoState& state, bool stopAtFailure)
        : state_(state), chainFailed_(state.Stato != kaOK), stopAtFailure_(stopAtFailure),
          failureKept_(chainFailed_), stato_(state.Stato), errore_(state.Errore) {}

    // The chain's outcome on the attempt's order, its earlier import messages cleared, then
    // message 14 when its own attempt succeeded or message 0 for the chain's first failed
    // attempt. False when a write failed and the writer stops at a failure.
    bool Write(const ImportAttempt& attempt) {
        SettaEsitoOrdine(state_, attempt.id, chainFailed_);
        if (!GoOn()) {
            return false;
        }
        EliminaLogErrors(state_, attempt.id, true, true, Contesto_ImportDati, 0, "");
        if (!GoOn()) {
            return false;
        }
        if (attempt.stato == kaOK) {
            ScriviErrorLog(state_, attempt.id, 0, 0, message::kImported, "", severity::kInfo,
                           Contesto_ImportDati, "");
        } else if (!failureMessageWritten_) {
            ScriviErrorLog(state_, attempt.id, 0, 0, message::kImportFailed, "", severity::kError,
                           Contesto_ImportDati, attempt.errore);
            failureMessageWritten_ = true;
        }
        return GoOn();
    }

    // Leaves the failure to report, or kaOK, in the state.
    void Report() {
        state_.Stato = stato_;
        state_.Errore = errore_;
    }

  private:
    // Keeps the first failed write unless a failure is kept already; false when the writer is
    // to stop.
    bool GoOn() {
        if (state_.Stato == kaOK) {
            return true;
        }
        if (!failureKept_) {
            failureKept_ = true;
            stato_ = state_.Stato;
            errore_ = state_.Errore;
        }
        return !stopAtFailure_;
    }

    NsoState& state_;
    bool chainFailed_;
    bool stopAtFailure_;
    bool failureKept_;
    bool failureMessageWritten_ = false;
    kaEnumNSOErrStato stato_;
    Variant errore_;
};

} // namespace

bool RecordOutcomesWithChain(NsoState& state, std::int32_t mainId,
                             std::vector<ImportAttempt>& attempts) {
    OutcomeWriter writer(state, true);
    bool written = true;
    for (const ImportAttempt& attempt : attempts) {
        written = writer.Write(attempt);
        if (!written) {
            break;
        }
    }
    writer.Report();
    if (!written) {
        attempts.push_back({mainId, state.Stato, state.Errore.Text()});
    }
    return written;
}

void RecordOutcomes(NsoState& state, const std::vector<ImportAttempt>& attempts) {
    OutcomeWriter writer(state, false);
    for (const ImportAttempt& attempt : attempts) {
        (void)writer.Write(attempt);
    }
    writer.Report();
}

} // namespace kvad::nso
