#pragma once
// The result recordsets behind the host's grids after processing: decoded headers and lines,
// updatable so that the user's corrections reach the decoded tables, and the log messages.

#include "frame/nso_state.h"

namespace kvad::nso {

/// Opens RstTestata (rows with processing code 2, 4 or 6, their staged and decoded headers;
/// updates go to IE93_NSOTESTATA only), RstCorpo (the decoded lines of code-2 rows; updates go
/// to IE95_NSOCORPO only) and RstLogMessages (the log of every order in the working table, of
/// context fContesto, or of all contexts for Contesto_Tutti). Returns Empty; Stato is not reset.
Variant GetRstElaborazione(NsoState& state, kaEnumContesto fContesto);

} // namespace kvad::nso
