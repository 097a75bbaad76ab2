#pragma once
// SQLite identifiers in statements the backend writes itself. Case-insensitive comparisons are
// the core's (kvad_nso/text.h).

#include <string>
#include <string_view>

#include "kvad_nso/text.h"

namespace kvad::db {

/// The identifier quoted for SQLite ("a""b").
[[nodiscard]] inline std::string QuoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
    return out;
}

} // namespace kvad::db
