#pragma once
// The framework's utility functions (ZEFO_DEVFUNCT.CLSFW_RSFUNCT).

#include <string>

#include "kvad_nso/host.h"

namespace kvad::host {

class StandInRsFunct final : public RsFunct {
  public:
    /// A new random GUID, upper case with dashes (36 characters).
    [[nodiscard]] std::string GetGuidWithoutConnection() override;
};

} // namespace kvad::host
