#include "savepoint.h"

#include <sqlite3.h>

#include "quote_identifier.h"
#include "sqlite_statement.h"

namespace kvad::db {

void ExecuteSql(sqlite3* db, const std::string& sql) {
    Statement stmt(db, sql);
    stmt.Run();
}

Savepoint::Savepoint(sqlite3* db, const std::string& name) : db_(db), name_(QuoteIdentifier(name)) {
    ExecuteSql(db_, "SAVEPOINT " + name_);
}

Savepoint::~Savepoint() {
    if (done_) {
        return;
    }
    const std::string undo = "ROLLBACK TO " + name_ + "; RELEASE " + name_;
    sqlite3_exec(db_, undo.c_str(), nullptr, nullptr, nullptr);
}

void Savepoint::Release() {
    ExecuteSql(db_, "RELEASE " + name_);
    done_ = true;
}

} // namespace kvad::db
