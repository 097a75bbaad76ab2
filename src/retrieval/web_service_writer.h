#pragma once
// Write access to the retrieval's members, for the retrieval's own files: no other layer sees
// this header, so every other subsystem reads them through WebService() only.

#include "retrieval/recupero_ordini.h"

namespace kvad::nso {

class WebServiceState::Writer {};

/// The retrieval's members of this instance, to write.
[[nodiscard]] inline WebServiceState& OwnWebService(NsoState& state) {
    return state.Part<WebServiceState>(WebServiceState::Writer{});
}

} // namespace kvad::nso
