#pragma once
// The schema scripts compiled into the library: generated at build time from schema/*.sql
// (cmake/EmbedSchema.cmake), so the schema can be applied from any working folder; and the
// version a file records, for the backend's own use.

#include <span>
#include <string_view>

struct sqlite3;

namespace kvad::db {

/// One schema script: its version (the number its file name starts with), file name and text.
struct SchemaScript {
    int version;
    std::string_view name;
    std::string_view sql;
};

/// Every embedded script, in ascending version order.
[[nodiscard]] std::span<const SchemaScript> EmbeddedSchemaScripts() noexcept;

/// The highest schema version the file records, read straight from the handle (no translation,
/// nothing added to a connection's error list); 0 when it records none or cannot be read.
[[nodiscard]] int RecordedSchemaVersion(sqlite3* db) noexcept;

} // namespace kvad::db
