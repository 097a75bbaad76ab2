#pragma once
// Line decoding: one decoded line (IE95_NSOCORPO) per staged order line, then one per allowance or
// charge of the order as a whole, the untaxed allowances also summed into the cash discount.

#include <cstdint>

#include "frame/nso_state.h"
#include "kvad_nso/decimal.h"

namespace kvad::nso {

/// Writes the decoded lines of order fId.
void DecodificaCorpo(NsoState& state, std::int32_t fId);

/// A line's allowance or charge total spread over its quantity: rounded half-even to 3 places,
/// 0 when the quantity is 0.
[[nodiscard]] Decimal ImportoUnitario(const Decimal& total, const Decimal& quantity);

} // namespace kvad::nso
