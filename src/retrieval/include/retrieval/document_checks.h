#pragma once
// What a host needs beyond the component's given methods to keep the register whole: download
// again the documents whose XML never arrived, and say why a document is not staged.

#include <cstdint>
#include <string>
#include <vector>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Downloads again the company's registered documents whose XML was never stored, then loads
/// and links each one that arrives. Returns the ids of the documents that had no XML. A login
/// or listing failure sets Stato to kaErrConnessioneNSO with the platform's text in Errore.
std::vector<std::int32_t> DownloadMissingDocuments(NsoState& state);

/// Why registered document fId is not (or not wholly) staged, in words for the user; "" when it
/// is staged.
[[nodiscard]] std::string ExplainDocument(NsoState& state, std::int32_t fId);

} // namespace kvad::nso
