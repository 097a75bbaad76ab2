#pragma once
// The schema scripts compiled into the library (generated from schema/*.sql by
// cmake/EmbedSchema.cmake), the same the SQLite backend applies.

#include <span>
#include <string_view>

namespace kvad::db::pg {

/// One schema script: its version, file name and text (SQLite's dialect, converted by
/// PostgresDdl).
struct SchemaScript {
    int version;
    std::string_view name;
    std::string_view sql;
};

/// Every embedded script, in ascending version order.
[[nodiscard]] std::span<const SchemaScript> EmbeddedSchemaScripts() noexcept;

} // namespace kvad::db::pg
