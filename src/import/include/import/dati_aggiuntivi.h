#pragma once
// What an order teaches about its buyer and items, written back to the ERP's master data before
// it is imported.

#include <cstdint>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Records the order's public-administration office on its customer (created from the buyer's
/// name and address when the customer lacks it), its delivery-location id on the decoded
/// destination and each line's standard item id on the line's item, unless the id is already
/// recorded. Resets Stato first.
void ScriviDatiAggiuntivi(NsoState& state, std::int32_t fId);

} // namespace kvad::nso
