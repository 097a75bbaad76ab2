#pragma once
// The columns of the master-data CSV files and how one cell of each is read and checked.

#include <cstddef>
#include <string>

#include "kvad_nso/variant.h"

namespace kvad::host {

/// How a cell is read and checked.
enum class Form {
    Code,       ///< a positive whole number
    Text,       ///< text up to the column's length; empty: none
    Option,     ///< text up to the column's length; empty: the empty option
    Date,       ///< dd/mm/yyyy or yyyy-mm-dd
    Number,     ///< a decimal number, '.' or ',' as separator
    Flag,       ///< 0 or 1; empty: 1
    Vat,        ///< an Italian VAT number, with or without "IT"
    FiscalCode, ///< an Italian fiscal code
    Currency,   ///< three letters
};

/// One column of a kind's CSV files.
struct Field {
    const char* name;
    const char* column; ///< the table column written, "" when the writer maps it itself
    Form form;
    std::size_t length; ///< for text
    bool key;
    bool required;
    const char* meaning;
};

/// A column the header must name: the required ones and the keys, except an item's option,
/// which is the empty option when the file leaves it out.
[[nodiscard]] bool Mandatory(const Field& field) noexcept;

/// The value of one cell (UTF-8 text). Throws std::invalid_argument with the reason, in words
/// for the user, when it is not of its field's form.
[[nodiscard]] Variant ReadCell(const Field& field, const std::string& cell);

/// A cell as a message quotes it: between quotes, cut after 40 characters, control characters
/// shown as their code (0x09).
[[nodiscard]] std::string QuotedCell(const std::string& cell);

} // namespace kvad::host
