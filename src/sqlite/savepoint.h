#pragma once
// A savepoint that is rolled back unless released: several statements made to succeed or
// fail together, inside or outside the connection's transaction.

#include <string>

struct sqlite3;

namespace kvad::db {

/// Opens a savepoint; the destructor rolls it back (never throwing) unless Release ran.
class Savepoint {
  public:
    /// Throws DbError when the savepoint cannot be opened.
    Savepoint(sqlite3* db, const std::string& name);
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;
    Savepoint(Savepoint&&) = delete;
    Savepoint& operator=(Savepoint&&) = delete;
    ~Savepoint();

    /// Keeps the changes made since the savepoint. Throws DbError.
    void Release();

  private:
    sqlite3* db_;
    std::string name_;
    bool done_ = false;
};

/// Runs one statement that returns no rows. Throws DbError.
void ExecuteSql(sqlite3* db, const std::string& sql);

} // namespace kvad::db
