#pragma once
// What an import did with the chains selected in the working table, as `nso import` prints it:
// per chain each document's ERP order or why it failed, then the totals.

#include <ostream>
#include <string>
#include <vector>

#include "kvad_nso/read_model/import_report.h"

namespace nsoapp {

/// The outcome in words: "imported", "already imported", ...
[[nodiscard]] std::string OutcomeText(kvad::read_model::ChainOutcome outcome);

/// Each chain with its documents, then the totals.
void PrintImport(std::ostream& out, const std::vector<kvad::read_model::ChainReport>& chains);

} // namespace nsoapp
