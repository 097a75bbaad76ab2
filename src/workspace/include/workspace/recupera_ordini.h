#pragma once
// The processing driver: decides for every document of the selected chains what is to happen
// to it (the processing codes of the working table), then loads, decodes and verifies the
// documents that take part, in list order, stopping at the first that fails.

#include "frame/nso_state.h"

namespace kvad::nso {

/// Processes the selected chains of the working table: resets and writes TMP_ELABORA and
/// TMP_FLGNONPIUEV of their documents, then reloads, clears the log of, decodes and verifies
/// each document with code 2, 4, 5 or 6. The first document that leaves Stato other than kaOK
/// stops the documents after it. kaErrNessunDatoDaElaborare when no chain is selected.
void RecuperaOrdini(NsoState& state);

/// The first half of RecuperaOrdini: the processing codes of the selected chains written into
/// the working table and RstOrdini requeried, nothing loaded, decoded or verified. Lets a host
/// that rebuilt the working table find the result rows of orders processed earlier.
void AssignProcessingCodes(NsoState& state);

} // namespace kvad::nso
