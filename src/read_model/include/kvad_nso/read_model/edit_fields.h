#pragma once
/// The decoded values a clerk may correct: each has a short name, the decoded column it is stored
/// in (IE93_NSOTESTATA for the header, IE95_NSOCORPO for a line) and the form its values take.
/// Values typed by a clerk are checked against that form before anything is written.

#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/variant.h"

namespace kvad::read_model {

/// The form of a field's values.
enum class FieldKind {
    Text,   ///< at most `width` characters
    Whole,  ///< a whole number of the column's range
    Small,  ///< a whole number from -32768 to 32767
    Amount, ///< a number with at most 6 decimals and 13 whole digits
    Date,   ///< dd/mm/yyyy or yyyy-mm-dd
};

/// One editable decoded value.
struct EditField {
    std::string alias;  ///< the short name (customer, vat, ...)
    std::string column; ///< the decoded column (IE93_DO11_CLIFOR_CG44, ...)
    bool line = false;  ///< a line field (IE95_NSOCORPO), else a header field (IE93_NSOTESTATA)
    FieldKind kind = FieldKind::Text;
    int width = 0; ///< for text: the most characters
    std::string meaning;
};

/// Every editable field: the header fields first, then the line fields.
[[nodiscard]] const std::vector<EditField>& EditFields();

/// The field of that short name or column name (case-insensitive), or null.
[[nodiscard]] const EditField* FindEditField(std::string_view name);

/// The short name of a decoded column when it is an editable field, else the column itself.
[[nodiscard]] std::string FieldLabel(const std::string& column);

/// The value typed for a field, in the form the column stores (an empty text gives Null).
/// Throws Refusal saying what the field takes when the text is not of its form.
[[nodiscard]] Variant ParseFieldValue(const EditField& field, const std::string& text);

} // namespace kvad::read_model
