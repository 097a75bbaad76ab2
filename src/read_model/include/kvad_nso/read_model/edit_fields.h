#pragma once
/// The decoded values a clerk may correct: each has a short name, the decoded column it is stored
/// in (IE93_NSOTESTATA for the header, IE95_NSOCORPO for a line), the form its values take and
/// the master data its codes must be found in. Values typed by a clerk are checked against that
/// form before anything is written; EditOrder checks them against the master data.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/variant.h"

namespace kvad::read_model {

/// The form of a field's values.
enum class FieldKind {
    Text,    ///< at most `width` characters
    Code,    ///< a code of the master data: a whole number from 1 up (empty: none, stored as 0)
    Choice,  ///< one of `choices`; it cannot be cleared
    Amount,  ///< a number with at most 6 decimals and 13 whole digits
    Percent, ///< an amount from 0 to 100
    Date,    ///< dd/mm/yyyy or yyyy-mm-dd, from 01/01/1900 to 31/12/9999
};

/// The master data a field's values must be found in.
enum class MasterData {
    None,
    Customer,     ///< a customer (or supplier, by the header's customer type) of the company
    Destination,  ///< a destination of the header's customer
    Item,         ///< an item of the company
    ItemOption,   ///< an option of the line's item
    Currency,     ///< a currency code
    VatCode,      ///< a code of the VAT table
    DocumentCode, ///< a document code of the company
};

/// One editable decoded value.
struct EditField {
    std::string alias;  ///< the short name (customer, vat, ...)
    std::string column; ///< the decoded column (IE93_DO11_CLIFOR_CG44, ...)
    bool line = false;  ///< a line field (IE95_NSOCORPO), else a header field (IE93_NSOTESTATA)
    FieldKind kind = FieldKind::Text;
    int width = 0; ///< for text: the most characters
    std::string meaning;
    std::vector<std::int16_t> choices; ///< for a choice: the values it takes, as `meaning` names
    MasterData master = MasterData::None;
};

/// Every editable field: the header fields first, then the line fields.
[[nodiscard]] const std::vector<EditField>& EditFields();

/// The field of that short name or column name (case-insensitive), or null.
[[nodiscard]] const EditField* FindEditField(std::string_view name);

/// The short name of a decoded column when it is an editable field, else the column itself.
[[nodiscard]] std::string FieldLabel(const std::string& column);

/// The value typed for a field, in the form the column stores: an empty text gives Null (a code
/// gives 0, "none", as decoding leaves a code it does not find; a choice is refused), a code of
/// the master data its text without surrounding blanks. Throws Refusal saying what the field
/// takes when the text is not of its form or outside its range; the master data is not looked at.
[[nodiscard]] Variant ParseFieldValue(const EditField& field, const std::string& text);

} // namespace kvad::read_model
