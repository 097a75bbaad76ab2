#pragma once
// What became of each import attempt of a chain, written to the working table, the decoded
// header and the error log.

#include <cstdint>
#include <string>
#include <vector>

#include "frame/nso_state.h"

namespace kvad::nso {

/// One import attempt of a chain: the document and the state right after the attempt.
struct ImportAttempt {
    std::int32_t id = 0;
    kaEnumNSOErrStato stato = kaOK;
    std::string errore;
};

/// Writes the outcome of a chain that succeeded, inside its open transaction, so that it is kept
/// exactly when the chain is: every attempt gets the imported outcome, its earlier import
/// messages go and message 14 is written. Stops at the first write that fails and returns false:
/// that failure is then the chain's, appended to the attempts on the main row, and left in Stato
/// and Errore, so that the caller rolls the chain back and records it as failed.
[[nodiscard]] bool RecordOutcomesWithChain(NsoState& state, std::int32_t mainId,
                                           std::vector<ImportAttempt>& attempts);

/// Writes the outcome of every attempt after the chain's transaction has ended (or without
/// one): every attempt gets the chain's outcome (failed when Stato is not kaOK), its earlier
/// import messages go, and message 14 is written for an attempt that succeeded or message 0,
/// with its reason, for the chain's first failed attempt. A write that fails does not stop the
/// others. Stato and Errore are left as the chain's outcome, or the first write that failed.
void RecordOutcomes(NsoState& state, const std::vector<ImportAttempt>& attempts);

} // namespace kvad::nso
