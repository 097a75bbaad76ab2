#pragma once
// Links a revision or cancellation to the order it changes, from the staged header's
// OrderDocumentReference ("number#date#endpoint#operation").

#include <cstdint>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Writes the reference triple and the operation (1 revised, 2 cancelled) of document fId into
/// its register row. A reference with fewer than two parts changes nothing.
void AggiornaRiferimenti(NsoState& state, std::int32_t fId);

} // namespace kvad::nso
