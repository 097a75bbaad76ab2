#pragma once
// SQL literals and the small value routines used when reading values.

#include <cstdint>
#include <string>

#include "frame/nso_state.h"
#include "kvad_nso/variant.h"

namespace kvad::nso {

/// Type codes of FormatoDB.
enum LiteralType : std::int32_t {
    kLiteralText = 0,    ///< 'text' with quotes doubled
    kLiteralDecimal = 1, ///< a Decimal number (not text)
    kLiteralNumber = 2,  ///< the number formatter's text
    kLiteralDate = 3,    ///< 'date' from CLSFW_Date's DBFormat
    kLiteralUnicode = 4, ///< N'text' with quotes doubled
};

/// The one way a value becomes a SQL literal. Returns the literal as a String ("null" for a
/// blank value when nulls are allowed), a Decimal for type code 1, or Empty on refusal (Stato
/// = kaErrFormatoDB and Errore set).
[[nodiscard]] Variant FormatoDB(NsoState& state, const Variant& value, std::int32_t typeCode,
                                bool nullAllowed);

/// The text form without trailing blanks; "" for Empty, Null or an omitted value.
[[nodiscard]] Variant RTrimN(const Variant& expression = Variant());
/// Length of the text form without trailing blanks; 0 for Null, Empty or any error.
[[nodiscard]] std::int32_t LunghezzaTesto(const Variant& value);
/// The value unchanged unless it is Empty, Null or blank after trimming both ends; then the
/// default.
[[nodiscard]] Variant ValoreODefault(const Variant& value, const Variant& defaultValue);
/// Null, Empty and "" give the Integer 0; anything else converted to a Decimal; a value that
/// cannot be converted gives Empty, which counts as 0 (never greater than 0).
[[nodiscard]] Variant ValoreDecimale(const Variant& value);
/// True when ValoreDecimale(value) is a number greater than 0.
[[nodiscard]] bool IsDecimalAboveZero(const Variant& value);

/// Drops a temporary table if it exists; every error is ignored and cleared.
void EliminaTabellaTemp(NsoState& state, const std::string& name);

} // namespace kvad::nso
