#pragma once
// Write access to the loader's members, for the loader's own files: no other layer sees this
// header, so every other subsystem reads them through Loader() only.

#include "ubl/xml_loader.h"

namespace kvad::nso {

class LoaderState::Writer {};

/// The loader's members of this instance, to write.
[[nodiscard]] inline LoaderState& OwnLoader(NsoState& state) {
    return state.Part<LoaderState>(LoaderState::Writer{});
}

} // namespace kvad::nso
