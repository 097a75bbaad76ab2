#pragma once
// The company's import configuration (IE90_CONFIGNSO) and the defaults of a document code
// (MG3G_DOCDITTA).

#include <string>

#include "frame/nso_state.h"

namespace kvad::nso {

/// The first retrieval date used when the configuration has none.
inline constexpr const char* kDataImportDefault = "03/01/2019";

/// Loads the configuration under its own error trap; Stato and Errore are not reset first.
void Inizializza(NsoState& state);

/// Loads the company's configuration into the four Param_ properties, starting from their
/// defaults; a missing row, document code or layout code is refused with kaErrParametri.
void LeggiParametri(NsoState& state);

/// The default section and warehouse of a document code for the company; true when the code
/// has a row. Stato and Errore are not reset.
bool RecuperaSezionaleDepositoDefault(NsoState& state, const std::string& fDocumento,
                                      std::string& fSezionale, std::string& fDeposito);

} // namespace kvad::nso
