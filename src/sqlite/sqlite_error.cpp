#include "sqlite_error.h"

#include <sqlite3.h>

#include "kvad_nso/errors.h"
#include "quote_identifier.h"

namespace kvad::db {

namespace {

bool Contains(const std::string& lowered, std::string_view part) {
    return lowered.find(part) != std::string::npos;
}

} // namespace

std::string SqlStateOf(int resultCode, std::string_view message, bool preparing) {
    switch (resultCode & 0xff) {
    case SQLITE_CONSTRAINT:
        return "23000";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "40001";
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
        return "08001";
    default:
        break;
    }
    // Errors raised by the translation layer's functions carry SQL Server's wording.
    const std::string lowered = AsciiLower(message);
    if (Contains(lowered, "converting date") || Contains(lowered, "date and/or time")) {
        return "22007";
    }
    if (Contains(lowered, "arithmetic overflow") || Contains(lowered, "integer overflow")) {
        return "22003";
    }
    if (Contains(lowered, "divide by zero")) {
        return "22012";
    }
    if (Contains(lowered, "conversion failed") || Contains(lowered, "error converting")) {
        return "22018";
    }
    if ((resultCode & 0xff) == SQLITE_ERROR &&
        (preparing || Contains(lowered, "no such table") || Contains(lowered, "no such column") ||
         Contains(lowered, "syntax error"))) {
        return "42000";
    }
    return "HY000";
}

void ThrowSqliteError(sqlite3* db, int resultCode, std::string_view sql, bool preparing) {
    const char* text = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(resultCode);
    std::string message = text != nullptr ? text : "unknown SQLite error";
    std::string state = SqlStateOf(resultCode, message, preparing);
    throw DbError(message, std::move(state), std::string(sql), kProviderSource);
}

} // namespace kvad::db
