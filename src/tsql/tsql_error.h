#pragma once
// The one way the translator refuses a statement.

#include <string>
#include <string_view>

#include "kvad_nso/errors.h"

namespace kvad::db::tsql {

/// SQL state of a statement the translator does not accept (syntax error or access rule).
inline constexpr const char* kSqlStateUnsupported = "42000";

/// Throws DbError(42000) naming what is not accepted, with the statement it came from.
[[noreturn]] inline void Refuse(const std::string& message, std::string_view statement) {
    throw DbError("T-SQL translation: " + message, kSqlStateUnsupported, std::string(statement));
}

} // namespace kvad::db::tsql
