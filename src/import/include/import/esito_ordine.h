#pragma once
// What the import did with each order: the stored order marked and linked, the outcome in the
// working table and the decoded header, and superseded ERP orders closed.

#include <cstdint>
#include <string>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Marks stored order fId processed (or not) and links it to an ERP document identity; an
/// empty identity leaves no link. Stato is not reset.
void SettaInfoOrdine(NsoState& state, std::int32_t fId, bool processato, const Variant& documento);

/// Writes the import's outcome for order fId into the working table (with the registration
/// number of its ERP document) and the decoded header's status. Stato is not reset.
void SettaEsitoOrdine(NsoState& state, std::int32_t fId, bool fallito);

/// Makes the ERP orders of the listed stored orders (ids separated by commas) no longer to be
/// fulfilled, through the host's document business object. Resets Stato first.
void RendiNonPiuEvadibile(NsoState& state, const std::string& lista);

} // namespace kvad::nso
