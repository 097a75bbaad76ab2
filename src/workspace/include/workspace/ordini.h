#pragma once
// The working table of order chains (NomeTempOrdini, a temporary table of the connection) and
// the selection of its main rows.

#include <string>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Rebuilds the working table from the register and opens RstOrdini on it, newest first.
void LeggiOrdini(NsoState& state, kaenumTipoOrdiniProcessati fTipoOrdiniProcessati);

/// Selects all, none, or inverts the selection of the selectable main rows.
void SetSelezione(NsoState& state, kaEnumNSOSelez pParSelez);

/// The statement that builds the working table `tabella` for company `ditta`; `filtro` is the
/// extra condition on the leaves (with its line end) or "".
[[nodiscard]] std::string ChainStatement(const std::string& ditta, const std::string& tabella,
                                         const std::string& filtro);

/// A text value for a recordset filter, between quotes with its own quotes doubled.
[[nodiscard]] std::string FilterLiteral(const std::string& value);

} // namespace kvad::nso
