#pragma once
// One order made into an ERP order document by the host's document-import business object.

#include <cstdint>

#include "frame/nso_state.h"
#include "kvad_nso/host.h"

namespace kvad::nso {

/// Creates the business object, with the connection and the host object, unless one exists.
void InitBOImport(NsoState& state);

/// Detaches and releases the business object, if one exists.
void TermBOImport(NsoState& state);

/// Imports order fId through the layout Param_Tracciato and returns the DO11_GUID of the ERP
/// document made, or Null. Resets Stato first; afterwards Stato and Errore carry the business
/// object's outcome (kaErrImportXML when the document it made cannot be found).
Variant ImportaSingoloOrdine(NsoState& state, std::int32_t fId);

} // namespace kvad::nso
