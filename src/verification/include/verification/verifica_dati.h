#pragma once
// The checks of a decoded order: header and lines are tested for what an ERP document needs,
// then against the order rules (order_rules.h), every problem goes to the error log (context 1),
// and the highest severity found becomes the status of each line and of the header.

#include <cstdint>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Verifies order fId for its processing code fOperazione: codes 4, 5 and 6 only clear the
/// order's verification messages (6 writes message 13) and set the header status to 1, 13 or
/// 12; any other code checks the header (fTestata) and the lines (fCorpo, only line fProgRiga
/// when it is not 0) and derives the statuses from the log. Reads and writes through clones of
/// RstTestata and RstCorpo when the host holds them, through its own queries otherwise, and
/// requeries RstLogMessages when it is open. Resets Stato and Errore first.
void VerificaDati(NsoState& state, std::int16_t fOperazione, std::int32_t fId, bool fTestata,
                  bool fCorpo, std::int32_t fProgRiga = 0);

} // namespace kvad::nso
