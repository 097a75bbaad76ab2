#pragma once
// The error log as the tests read it: every entry's columns, in the order they were written. The
// one place a test reads IE98_NSO_LOGERRORS; each test words the entries as it needs.

#include <cstdint>
#include <string>
#include <vector>

#include "kvad_nso/connection.h"
#include "kvad_nso/variant.h"

namespace kvad::test {

/// One entry of the error log.
struct LogEntry {
    std::int32_t document = 0;   ///< IE98_ID_IE91
    std::int32_t stagedLine = 0; ///< IE98_ID_IE94 (0 for the header)
    std::int32_t line = 0;       ///< IE98_PROGRIGA_DO30 (0 for the header)
    std::int32_t code = 0;       ///< IE98_CODE_IE97
    Variant field;               ///< IE98_FIELD (Null when none)
    std::int32_t severity = 0;   ///< IE98_TYPE
    std::int32_t context = 0;    ///< IE98_CONTESTO
    Variant message;             ///< IE98_ERRORMESSAGE (Null when none)
};

/// The entries that satisfy `where` (a condition on the log's columns; "" for every entry), in
/// the order written.
[[nodiscard]] std::vector<LogEntry> ReadLog(Connection& db, const std::string& where = "");

/// The entries of one document that satisfy `where` ("" for all of them), in the order written.
[[nodiscard]] std::vector<LogEntry> ReadLogOf(Connection& db, std::int32_t document,
                                              const std::string& where = "");

/// "code field type T context C line L", as the decoding tests' expected files word an entry.
[[nodiscard]] std::string EntryLine(const LogEntry& entry);

} // namespace kvad::test
