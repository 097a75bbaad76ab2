#pragma once
// ADO sort text ("LIVELLO DESC, IE91_ID") parsed into keys, and the order they give rows.

#include <string_view>
#include <vector>

#include "kvad_nso/variant.h"

namespace kvad::db {

struct RowSet;

/// One sort key: a field and its direction.
struct SortKey {
    int column = -1;
    bool descending = false;
};

/// Parses sort text: field names (bare or [bracketed]) each optionally followed by ASC or DESC,
/// separated by commas; empty text gives no keys. Throws VbError 3001 for text that is not a
/// sort and VbError 3265 for an unknown field.
[[nodiscard]] std::vector<SortKey> ParseSortKeys(std::string_view text, const RowSet& fields);

/// Orders two values as ADO's sort does: Null (and Empty) first, numbers by value, text
/// ignoring case, dates by time; values of different kinds by kind. Returns -1, 0 or 1.
[[nodiscard]] int CompareForSort(const Variant& a, const Variant& b);

/// True when row a sorts before row b under the keys (values by field; only the keys' fields
/// are read).
[[nodiscard]] bool SortsBefore(const std::vector<SortKey>& keys,
                               const std::vector<const Variant*>& a,
                               const std::vector<const Variant*>& b);

} // namespace kvad::db
