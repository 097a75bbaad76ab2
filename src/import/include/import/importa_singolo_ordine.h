#pragma once
// One order made into an ERP order document by the host's document-import business object.

#include <cstdint>
#include <memory>

#include "frame/nso_state.h"
#include "kvad_nso/host.h"

namespace kvad::nso {

/// The import subsystem's private members of an instance.
struct ImportMembers {
    /// The document-import business object; null when none exists.
    std::shared_ptr<DocumentImport> boImport;
    /// Nesting level of the transaction ImportaDocumenti holds open; 0 when none.
    int livelloTransazione = 0;
};

/// The import members of an instance.
[[nodiscard]] ImportMembers& ImportMembersOf(NsoState& state);

/// Creates the business object, with the connection and the host object, unless one exists.
void InitBOImport(NsoState& state);

/// Detaches and releases the business object, if one exists.
void TermBOImport(NsoState& state);

/// Imports order fId through the layout Param_Tracciato and returns the DO11_GUID of the ERP
/// document made, or Null. Resets Stato first; afterwards Stato and Errore carry the business
/// object's outcome (kaErrImportXML when the document it made cannot be found).
Variant ImportaSingoloOrdine(NsoState& state, std::int32_t fId);

} // namespace kvad::nso
