#pragma once
// A unit of work on the connection that is kept whole or not at all: a transaction, or a
// savepoint inside the one the host (or an outer unit) has open.

#include <cstdint>

#include "frame/nso_state.h"
#include "kvad_nso/connection.h"

namespace kvad::nso {

/// Begins a transaction on the state's connection; rolls it back when it ends without Commit
/// (never throwing). It also notes the database faults the failure path has handled so far, so
/// that work whose errors were caught on the way (the routines go on after a failure) can still
/// be undone when the database failed under it.
class Transaction {
  public:
    /// Throws the connection's error when the transaction cannot begin.
    explicit Transaction(NsoState& state);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    Transaction(Transaction&&) = delete;
    Transaction& operator=(Transaction&&) = delete;
    ~Transaction();

    /// True when the database failed under the work since the transaction began.
    [[nodiscard]] bool MetDatabaseFault() const noexcept;
    /// Keeps the work. Throws the connection's error when the commit fails (the destructor then
    /// rolls back).
    void Commit();
    /// Undoes the work. Throws the connection's error when the rollback fails.
    void Rollback();
    /// Commits, or, when the database failed under the work, rolls back and throws that fault
    /// again so that the caller's failure path reports it.
    void CommitOrRethrowFault();

  private:
    NsoState& state_;
    std::int32_t faultsAtStart_;
    TransactionScope scope_;
};

} // namespace kvad::nso
