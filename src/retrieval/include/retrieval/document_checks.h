#pragma once
// What a host needs beyond the component's given methods to keep the register whole: download
// again the documents whose XML never arrived, take in again the documents an earlier run left
// incomplete, and say what became of each document.

#include <cstdint>
#include <string>
#include <vector>

#include "frame/nso_state.h"
#include "kvad_nso/document_outcome.h"

namespace kvad::nso {

/// Downloads again the company's registered documents whose XML was never stored, then loads
/// and links each one that arrives, each in one transaction with its intake record. Returns the
/// ids of the documents that had no XML. A login or listing failure sets Stato to
/// kaErrConnessioneNSO with the platform's text in Errore; a database failure undoes the
/// document it met and stops with Stato kaErrVB.
std::vector<std::int32_t> DownloadMissingDocuments(NsoState& state);

/// Finds the company's registered documents that were not taken in whole (no intake record:
/// registered by an older program, or cut short; or fewer staging rows than the record says)
/// and takes each in again, in one transaction: a document with XML is reloaded (its line
/// allowances and load errors cleared first) and linked; one without XML or record (a run that
/// ended before its download) is downloaded again, then loaded and linked. A document without a
/// record whose staging rows, links and log already are what a load of its XML leaves is only
/// recorded. Returns the documents taken in again. A database failure undoes the document it met
/// and stops with Stato kaErrVB; a platform that cannot be used sets kaErrConnessioneNSO.
std::vector<DocumentOutcome> RepairDocuments(NsoState& state);

/// The company's registered documents that were not loaded, with the reason, in register order.
[[nodiscard]] std::vector<DocumentOutcome> DocumentsNotLoaded(NsoState& state);

/// Why registered document fId is not (or not wholly) staged, in words for the user; "" when it
/// is staged.
[[nodiscard]] std::string ExplainDocument(NsoState& state, std::int32_t fId);

} // namespace kvad::nso
