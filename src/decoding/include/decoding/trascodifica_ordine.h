#pragma once
// The decoding driver: clears an order's decoding messages, reports an ERP document already made
// from it, and decodes it again (header, then lines) unless it already has decoded lines.

#include <cstdint>

#include "frame/nso_state.h"
#include "frame/transaction.h"

namespace kvad::nso {

/// Decodes order fId. With fForza false an order that already has decoded lines keeps its
/// decoded rows; its decoding messages are cleared and message 15 is written again when an ERP
/// document exists for it. Unreadable numbers are reported on every run (message 107). All of it
/// is one unit of work (a transaction, or a savepoint inside the caller's): kept whole when the
/// run ends with Stato kaOK, undone otherwise, so a decoding is never left half written.
void TrascodificaOrdine(NsoState& state, std::int32_t fId, bool fForza);

/// Undoes a unit of work whose work failed; a failure to undo it is not reported over the
/// failure that stopped the work (the transaction then ends with the connection).
void RollBackQuietly(Transaction& unit) noexcept;

/// Header decoding, then line decoding whatever the header decoding reported.
void DecodificaDati(NsoState& state, std::int32_t fId);

/// Deletes the order's decoded lines (fCorpo exactly True), then its decoded header (fTestata
/// exactly True).
void EliminaTabellaTrascodifica(NsoState& state, std::int32_t fId, const Variant& fTestata,
                                const Variant& fCorpo);

} // namespace kvad::nso
