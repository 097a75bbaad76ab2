#pragma once
// How nso reads the values of the component's rows (the working table of chains, the register,
// the decoded tables): whole numbers, kinds of document, dates, processing codes, and the text a
// recordset filter compares with.

#include <cstdint>
#include <string>

#include "kvad_nso/variant.h"

namespace nsoapp {

/// Processing codes (TMP_ELABORA) and import outcomes (TMP_ESITO) of the working table.
inline constexpr std::int32_t kCodeNothing = 0;
inline constexpr std::int32_t kCodeToClose = 1;
inline constexpr std::int32_t kCodeToImport = 2;
inline constexpr std::int32_t kCodeNotImported = 3;
inline constexpr std::int32_t kCodeCancellation = 4;
inline constexpr std::int32_t kCodeDelivered = 5;
inline constexpr std::int32_t kCodeBlocked = 6;
inline constexpr std::int32_t kOutcomeFailed = 12;
inline constexpr std::int32_t kOutcomeImported = 14;

/// The value as a whole number; 0 for Null or Empty.
[[nodiscard]] std::int32_t Whole(const kvad::Variant& value);

/// "order", "revision" or "cancellation" for a document's IE91_OPERAZIONE.
[[nodiscard]] std::string DocumentKind(const kvad::Variant& operazione);

/// The text between single quotes, its quotes doubled, as a recordset filter compares it.
[[nodiscard]] std::string FilterText(const std::string& text);

/// "dd/mm/yyyy", or "" for a value that is not a date.
[[nodiscard]] std::string DateText(const kvad::Variant& value);

/// "yyyy-mm-dd", or "" for a value that is not a date.
[[nodiscard]] std::string IsoDateText(const kvad::Variant& value);

} // namespace nsoapp
