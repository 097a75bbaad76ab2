#pragma once
// The decoding driver: clears an order's decoding messages, reports an ERP document already made
// from it, and decodes it again (header, then lines) unless it already has decoded lines.

#include <cstdint>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Decodes order fId. With fForza false an order that already has decoded lines keeps its
/// decoded rows; its decoding messages are cleared and message 15 is written again when an ERP
/// document exists for it.
void TrascodificaOrdine(NsoState& state, std::int32_t fId, bool fForza);

/// Header decoding, then line decoding whatever the header decoding reported.
void DecodificaDati(NsoState& state, std::int32_t fId);

/// Deletes the order's decoded lines (fCorpo exactly True), then its decoded header (fTestata
/// exactly True).
void EliminaTabellaTrascodifica(NsoState& state, std::int32_t fId, const Variant& fTestata,
                                const Variant& fCorpo);

} // namespace kvad::nso
