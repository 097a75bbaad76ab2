#pragma once
// The import driver: the processed chains of the working table made into ERP orders.

#include "frame/nso_state.h"

namespace kvad::nso {

/// Imports the chains whose main row has processing code 2 or 4, one transaction per chain
/// when Transazione is True, raising OnProgress once per chain; superseded ERP orders are made
/// no longer to be fulfilled and every attempt's outcome is recorded: inside the transaction,
/// before its commit, for a chain that succeeded; after the rollback for one that failed; after
/// the chain without a transaction. RstOrdini and RstTestata must be open.
void ImportaDocumenti(NsoState& state);

} // namespace kvad::nso
