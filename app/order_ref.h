#pragma once
// How nso commands name a received document: by its register id (IE91_ID, the ID column of
// `nso list`), or by its order number when only one document of the company has it.

#include <cstdint>
#include <string>

#include "kvad_nso/connection.h"

namespace nsoapp {

/// The register id of the company's document named `text`: the register id itself, else the
/// one document with that order number. Throws std::runtime_error naming the candidate ids when
/// the number is ambiguous, and saying where to look when nothing matches.
[[nodiscard]] std::int32_t ResolveDocument(kvad::Connection& db, std::int32_t company,
                                           const std::string& text);

} // namespace nsoapp
