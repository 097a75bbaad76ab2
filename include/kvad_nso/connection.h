#pragma once
/// The database connection as the component uses it: the host owns it and opens it; the
/// component sends T-SQL text through it in three ways (command, one-pass query, working
/// recordset) and reads the provider's error list when a statement fails.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/com.h"

namespace kvad {

class Recordset;

/// One entry of the provider's error list.
struct ProviderError {
    std::string description;
    std::string source;
    std::string sqlState; ///< five characters, e.g. "23000" for a constraint violation
    int nativeError = 0;  ///< the database's result code, as DbError::ResultCode()
};

/// An open connection to the host's database.
class Connection : public ComObject {
  public:
    /// Runs a statement that returns no records (INSERT, UPDATE, DELETE, SELECT ... INTO, DROP)
    /// and returns the number of rows it changed. Throws DbError; the same error is also added
    /// to Errors().
    virtual long Execute(std::string_view sql) = 0;
    /// Runs a query and returns a forward-only, read-only result positioned on its first row
    /// that still reports its record count (a one-pass query). Throws DbError.
    [[nodiscard]] virtual std::shared_ptr<Recordset> Query(std::string_view sql) = 0;
    /// Opens a working recordset on the query: client-side cursor, dynamic, optimistic
    /// locking; it can be filtered, sorted, cloned, requeried and updated row by row.
    [[nodiscard]] virtual std::shared_ptr<Recordset> OpenRecordset(std::string_view sql) = 0;

    /// Begins a transaction and returns its nesting level (1 for the outermost).
    virtual int BeginTrans() = 0;
    virtual void CommitTrans() = 0;
    virtual void RollbackTrans() = 0;

    /// Grouped commits, for a host that runs many short transactions in a row (the main job's
    /// documents and chains): with `units` above 0, the outermost transactions begun from now
    /// on run as savepoints of one database transaction, which is written when `units` of them
    /// have committed or it has been open `maxMilliseconds`, and by CommitGroup(). Each
    /// transaction still keeps or undoes its own work whole; what a crash takes is at most the
    /// open group, as if the work had stopped before it. 0 ends the grouping and writes the open
    /// group. Meanwhile the connection holds the database's write lock, and other connections
    /// read the work when its group is written. Throws DbError as CommitGroup(). Backends
    /// without it commit each transaction on its own.
    virtual void GroupCommits(int units, int maxMilliseconds) {
        (void)units;
        (void)maxMilliseconds;
    }
    /// Writes the open group now (nothing without one). Throws DbError when it cannot, and when
    /// the database undid a group after a failure (a full disk, an I/O error): the committed
    /// transactions it held were not written, and are to be done again.
    virtual void CommitGroup() {}

    /// The provider's error list; filled by failing statements, cleared by its reader.
    [[nodiscard]] virtual std::vector<ProviderError>& Errors() = 0;
    [[nodiscard]] virtual bool IsOpen() const = 0;
};

/// A transaction on a connection, a savepoint inside one already open, that is rolled back when
/// it ends without Commit. The destructor never throws.
class TransactionScope {
  public:
    /// Throws the connection's error when the transaction cannot begin.
    explicit TransactionScope(Connection& connection) : connection_(connection) {
        (void)connection_.BeginTrans();
    }
    TransactionScope(const TransactionScope&) = delete;
    TransactionScope& operator=(const TransactionScope&) = delete;
    TransactionScope(TransactionScope&&) = delete;
    TransactionScope& operator=(TransactionScope&&) = delete;
    ~TransactionScope() {
        if (!active_) {
            return;
        }
        try {
            connection_.RollbackTrans();
        } catch (...) {
            // The connection is gone or the database already ended the transaction.
        }
    }

    /// Keeps the work. Throws the connection's error when the commit fails (the destructor then
    /// rolls back).
    void Commit() {
        connection_.CommitTrans();
        active_ = false;
    }
    /// Undoes the work now. Throws the connection's error when the rollback fails.
    void Rollback() {
        active_ = false;
        connection_.RollbackTrans();
    }

  private:
    Connection& connection_;
    bool active_ = true;
};

} // namespace kvad
