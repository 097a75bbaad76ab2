#pragma once
/// Corrections of a processed order's decoded values, written as the host's grids write them:
/// through the result recordsets (RstTestata, RstCorpo) to the decoded tables only, then the order
/// (or the line) verified again (VerificaDati).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/read_model/edit_fields.h"
#include "kvad_nso/read_model/review.h"
#include "kvad_nso/variant.h"

namespace kvad::read_model {

/// A value to write into one editable field.
struct FieldChange {
    const EditField* field = nullptr;
    Variant value; ///< as ParseFieldValue gives it (Null clears the value)
};

/// Writes `changes` into the header of `order` (read by ReadOrder after OpenReview), or into its
/// line `line`, and verifies the order (or that line) again. Returns each field's value before,
/// as a clerk reads it, in the order of `changes`. Throws Refusal, writing nothing, when the order
/// is not editable, when a change is not of the header or the line asked for, or when the line
/// does not exist or the database refuses the values; ComponentFailure when the verification
/// fails.
std::vector<std::string> EditOrder(CLSIE_NSO& nso, const Order& order,
                                   std::optional<std::int32_t> line,
                                   const std::vector<FieldChange>& changes);

} // namespace kvad::read_model
