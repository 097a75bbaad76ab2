#pragma once
// The schema scripts compiled into the library: generated at build time from schema/*.sql
// (cmake/EmbedSchema.cmake), so the schema can be applied from any working folder.

#include <span>
#include <string_view>

namespace kvad::db {

/// One schema script: its version (the number its file name starts with), file name and text.
struct SchemaScript {
    int version;
    std::string_view name;
    std::string_view sql;
};

/// Every embedded script, in ascending version order.
[[nodiscard]] std::span<const SchemaScript> EmbeddedSchemaScripts() noexcept;

} // namespace kvad::db
