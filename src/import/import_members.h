#pragma once
// The import subsystem's private members of an instance, for the import's own files: no other
// layer sees this header.

#include <memory>

#include "frame/nso_state.h"
#include "kvad_nso/host.h"

namespace kvad::nso {

/// The import subsystem's private members of an instance.
struct ImportMembers {
    struct Writer {};

    /// The document-import business object; null when none exists.
    std::shared_ptr<DocumentImport> boImport;
    /// Nesting level of the transaction ImportaDocumenti holds open; 0 when none.
    int transactionLevel = 0;
};

/// The import members of an instance.
[[nodiscard]] inline ImportMembers& ImportMembersOf(NsoState& state) {
    return state.Part<ImportMembers>(ImportMembers::Writer{});
}

} // namespace kvad::nso
