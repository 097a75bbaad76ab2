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
[[nodiscard]] Decimal AmountPerUnit(const Decimal& total, const Decimal& quantity);

/// The totals of a staged line's allowances and of its charges.
struct LineAllowances {
    Decimal allowances;
    Decimal charges;
};

/// The allowances and charges of staged line stagedLineId, summed by indicator as line decoding
/// reads them: "false" an allowance, "true" a charge, in any case; any other indicator is left
/// out. Throws what the database throws.
[[nodiscard]] LineAllowances LineAllowanceTotals(NsoState& state, std::int32_t stagedLineId);

/// Whether an allowance or charge of the order as a whole is a charge: its indicator is "true"
/// in any case; any other indicator, an empty one too, is an allowance.
[[nodiscard]] bool IsCharge(const Variant& indicator);

} // namespace kvad::nso
