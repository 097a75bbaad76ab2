#pragma once
// What a load of a document's XML writes to the staging tables when nothing fails, found
// without writing: how the register tells a document staged whole from one a crash, a failure or
// an older program left short.

#include <cstdint>
#include <optional>
#include <string>

#include "frame/nso_state.h"

namespace kvad::nso {

/// Row counts of one document in the four staging tables.
struct StagingRows {
    std::int32_t headers = 0;       ///< IE92_NSOTESTATAXML (0 or 1)
    std::int32_t headerCharges = 0; ///< IE96_NSOTESTATASCONTIXML
    std::int32_t lines = 0;         ///< IE94_NSOCORPOXML
    std::int32_t lineCharges = 0;   ///< IE9A_NSOCORPOSCONTIXML

    friend bool operator==(const StagingRows&, const StagingRows&) = default;
};

/// The rows GetOrderFromXML writes for this text when every value converts: a row for each node
/// of each node set that has at least one element a column of its table names. Nullopt when the
/// text does not parse or holds no Order element. Sets the loader's XPath building blocks, as a
/// load does.
[[nodiscard]] std::optional<StagingRows> ExpectedStagingRows(NsoState& state,
                                                             const std::string& text);

/// The rows document fId has in the staging tables now.
[[nodiscard]] StagingRows StagedRows(NsoState& state, std::int32_t fId);

} // namespace kvad::nso
