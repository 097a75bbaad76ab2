#pragma once
// Item decoding: the ERP item and option of an order line, by the seller's code, the customer's
// own code, the standard identifier and the description, in that order.

#include <cstdint>
#include <string>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Finds the item of staged line fIdIE94 (line fProgRiga of order fId). fCodArt and fOpzione
/// get the item and its option ("" when none is found) and fTipoRiga 0 when an item is found,
/// 1 when not. A standard identifier shared by several items takes the first and writes
/// warning 204 on fCampo.
void DecodificaArticolo(NsoState& state, std::int32_t fId, std::int32_t fIdIE94,
                        std::int32_t fProgRiga, const std::string& fCampo,
                        const std::string& fCodice, const std::string& fStandard,
                        const std::string& fDescrizione, std::int16_t fTipoCF,
                        std::int32_t fCliente, std::string& fCodArt, std::string& fOpzione,
                        std::int16_t& fTipoRiga);

} // namespace kvad::nso
