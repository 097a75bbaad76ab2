#pragma once
// The demo master data (examples/master/*.csv), built into the program so that `nso init --demo`
// works from any folder.

#include <span>
#include <string_view>

namespace kvad::host {

struct DemoMasterFile {
    std::string_view name; ///< file name, "<kind>.csv"
    std::string_view text;
};

/// The demo files, by name.
[[nodiscard]] std::span<const DemoMasterFile> DemoMasterFiles() noexcept;

} // namespace kvad::host
