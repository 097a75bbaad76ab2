#pragma once
/// Corrections of a processed order's decoded values, written as the host's grids write them:
/// through the result recordsets (RstTestata, RstCorpo) to the decoded tables only, then the
/// order's unreadable numbers reported again (RecheckUnreadableNumbers) and the order (or the
/// line) verified again (VerificaDati).

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

/// Checks `changes` to the header of `order` (read by ReadOrder after OpenReview), or to its line
/// `line`, against the master data: a customer, destination (of the order's customer, also when
/// only the customer changes), item, option (of the line's item), currency, VAT code or document
/// code it does not have. Returns one sentence per refused value, naming the nearest codes there
/// are; empty when every value can be written, the codes in `changes` then spelled as the master
/// data spells them. Throws Refusal as EditOrder does when the order or the line cannot be
/// edited.
[[nodiscard]] std::vector<std::string> CheckChanges(CLSIE_NSO& nso, const Order& order,
                                                    std::optional<std::int32_t> line,
                                                    std::vector<FieldChange>& changes);

/// Writes `changes` into the header of `order` (read by ReadOrder after OpenReview), or into its
/// line `line`, reports the order's unreadable numbers again and verifies the order (or that
/// line) again. Returns each field's value before, as a clerk reads it, in the order of
/// `changes`. Throws Refusal, writing nothing, when the order is not editable, when a change is
/// not of the header or the line asked for, when the line does not exist, when CheckChanges
/// refuses a value (its sentences, one a line) or when the database refuses the values;
/// ComponentFailure when the verification fails.
std::vector<std::string> EditOrder(CLSIE_NSO& nso, const Order& order,
                                   std::optional<std::int32_t> line,
                                   const std::vector<FieldChange>& changes);

/// The line numbers of `order` in words: "1 to 4", "1 to 3 and 7", "2, 5 and 9 to 12".
[[nodiscard]] std::string LineNumbersText(const Order& order);

} // namespace kvad::read_model
