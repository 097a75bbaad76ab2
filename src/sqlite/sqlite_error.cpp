#include "sqlite_error.h"

#include <sqlite3.h>

#include "tsql/tsql_functions.h"

namespace kvad::db {

DbCode CodeOf(int extendedResultCode) noexcept {
    DbCode code{extendedResultCode, DatabaseCondition::None};
    switch (extendedResultCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        code.condition = DatabaseCondition::Busy;
        break;
    case SQLITE_READONLY:
        code.condition = DatabaseCondition::ReadOnly;
        break;
    case SQLITE_FULL:
        code.condition = DatabaseCondition::Full;
        break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        code.condition = DatabaseCondition::NotDatabase;
        break;
    case SQLITE_CANTOPEN:
        code.condition = DatabaseCondition::CannotOpen;
        break;
    default:
        break;
    }
    return code;
}

std::string SqlStateOf(int resultCode, bool preparing) {
    if (const auto refusal = FunctionRefusalOf(resultCode)) {
        switch (*refusal) {
        case FunctionRefusal::DateConversion:
            return "22007";
        case FunctionRefusal::Overflow:
            return "22003";
        case FunctionRefusal::ValueConversion:
            return "22018";
        }
    }
    switch (resultCode & 0xff) {
    case SQLITE_CONSTRAINT:
        return "23000";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "40001";
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
        return "08001";
    case SQLITE_ERROR:
        return preparing ? "42000" : "HY000";
    default:
        return "HY000";
    }
}

DbError SqliteError(sqlite3* db, int resultCode, std::string_view sql, bool preparing) {
    const char* text = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(resultCode);
    std::string message = text != nullptr ? text : "unknown SQLite error";
    // The handle keeps the extended code even where a call returned only the primary one.
    const int code = db != nullptr ? sqlite3_extended_errcode(db) : resultCode;
    return {message, SqlStateOf(code, preparing), std::string(sql), kProviderSource, CodeOf(code)};
}

void ThrowSqliteError(sqlite3* db, int resultCode, std::string_view sql, bool preparing) {
    throw SqliteError(db, resultCode, sql, preparing);
}

} // namespace kvad::db
