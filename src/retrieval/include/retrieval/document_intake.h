#pragma once
// Taking a registered document in: its download, its load into the staging tables, its link to
// the order it changes, and the record of how that ended. The record is written with the rest in
// the caller's transaction, so a document with a record was taken in whole.

#include <cstdint>
#include <string>

#include "frame/nso_state.h"
#include "kvad_nso/document_outcome.h"

namespace kvad::nso {

/// Which steps take a document in.
enum class IntakeMode {
    NewDocument, ///< just registered: download, load, link (the retrieval's own steps)
    MissingXml,  ///< registered without XML: download again, then load and link
    Reload,      ///< registered with XML: load again from it, then link
};

/// Takes registered document fId in and records the outcome with the staged row counts. Runs in
/// the caller's transaction; a database failure on the way is counted in the state (see
/// frame/transaction.h) and the caller undoes the document. `id`, `outcome` and `reason` of the
/// result are set.
DocumentOutcome TakeInDocument(NsoState& state, std::int32_t fId, IntakeMode mode);

/// Records how document fId was taken in, with its staging rows as they are now.
void WriteIntake(NsoState& state, std::int32_t fId, IntakeOutcome outcome,
                 const std::string& reason);

} // namespace kvad::nso
