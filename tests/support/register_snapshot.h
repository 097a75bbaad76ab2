#pragma once
// The state of the register and everything that hangs on it, as text that two databases share
// exactly when they hold the same documents: register rows, staging rows, error-log entries and
// intake records, with ids written as the position of the row they name (so that the order of
// the rows, and not the values the database handed out, is compared) and reception times left
// out.

#include <string>

#include "kvad_nso/connection.h"

namespace kvad::test {

/// One line per row, table by table.
[[nodiscard]] std::string RegisterSnapshot(Connection& connection);

/// "" when two snapshots are equal, else their first lines that differ (cut short).
[[nodiscard]] std::string SnapshotDifference(const std::string& expected,
                                             const std::string& actual);

/// The result of SQLite's integrity check of a database file ("ok" when sound).
[[nodiscard]] std::string IntegrityCheck(const std::string& file);

} // namespace kvad::test
