#pragma once
// The working table of order chains (NomeTempOrdini, a temporary table of the connection) and
// the selection of its main rows.

#include <string>

#include "component/nso_state.h"

namespace kvad::nso {

/// Rebuilds the working table from the register and opens RstOrdini on it, newest first.
void LeggiOrdini(NsoState& state, kaenumTipoOrdiniProcessati fTipoOrdiniProcessati);

/// Selects all, none, or inverts the selection of the selectable main rows.
void SetSelezione(NsoState& state, kaEnumNSOSelez pParSelez);

/// A text value for a recordset filter, between quotes with its own quotes doubled.
[[nodiscard]] std::string FiltroTesto(const std::string& value);

} // namespace kvad::nso
