#pragma once
// The error log (IE98_NSO_LOGERRORS) with its catalogue (IE97_NSO_ERRORS): one entry per
// problem found in an order, by order, line and processing phase (context).

#include <cstdint>
#include <string>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Writes one log entry. With placeholder values, a blank message takes the catalogue text of
/// the code and %1, %2, ... are replaced in index order by the right-trimmed values. The
/// message is cut to 1024 characters; a blank message is stored as null. Stato is not reset.
void ScriviErrorLog(NsoState& state, std::int32_t fId, std::int32_t fIdIE94, std::int32_t fProgRiga,
                    std::int32_t fCodice, const std::string& fCampo, std::int32_t fTipo,
                    std::int32_t fContesto, const Variant& fMessaggio,
                    const VariantArray* fParametri = nullptr);

/// Clears the entries of one order: header entries when fTestata is exactly True, line
/// entries when fCorpo is exactly True; restricted to a context (0: all), a line (0: all) and
/// a field ("": all). Resets Stato and Errore first.
void EliminaLogErrors(NsoState& state, std::int32_t fId, const Variant& fTestata,
                      const Variant& fCorpo, std::int32_t fContesto, std::int32_t fProgRiga,
                      const std::string& fCampo);

/// Deletes document fId's entries of one message code, of one context (0: every context). For
/// the routines that write entries of that code again; errors are thrown.
void DeleteLogEntries(NsoState& state, std::int32_t fId, std::int32_t code, std::int32_t context);

} // namespace kvad::nso
