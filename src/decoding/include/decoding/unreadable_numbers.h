#pragma once
// Numbers of an order that could not be read. The staging writer stores such a number as 0 and
// keeps its text (KVAD_UNREADABLE_NUMBER); as long as the decoded value it fed is still what that
// 0 made of it, the order carries error 107 (context 3) on that value, so that it is held for a
// clerk instead of imported with 0.

#include <cstdint>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Writes error 107 of order fId anew: its earlier 107 entries go, and every kept unreadable
/// number whose decoded value was not corrected since gets one, on the header or on the line
/// that value belongs to, with the decoded column as field and the text as parameter.
///
/// Which value each number fed: a line's quantity, price and VAT rate its line's
/// IE95_DO30_QTA1, IE95_DO30_PREZZO1 and IE95_ALIVA_XML (corrected when no longer 0); a line
/// allowance or charge its line's IE95_DO30_SCIMP or IE95_DO30_MAGIMP (corrected when no longer
/// what its line's allowances and quantity give); an allowance or charge of the order with a
/// tax category, or a charge without one, the price and VAT rate of its line (no longer 0); an
/// allowance of the order without a tax category the header's cash discount
/// IE93_DO13_SCIMPCASSA (no longer the sum of those allowances). Numbers that decoding does not
/// read are not reported.
///
/// The decoding driver calls it on every run. A host that corrects decoded values calls it for
/// the order after saving them and before verifying the order again, so that the header status
/// that verification derives no longer counts a corrected number. Does not reset Stato; a
/// failure goes through the failure path under "ReportUnreadableNumbers".
void ReportUnreadableNumbers(NsoState& state, std::int32_t fId);

} // namespace kvad::nso
