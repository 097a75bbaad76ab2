#include "frame/transaction.h"

#include "frame/failure_path.h"

namespace kvad::nso {

Transaction::Transaction(NsoState& state)
    : state_(state), faultsAtStart_(state.databaseFaults), scope_(Conn(state)) {}

Transaction::~Transaction() = default;

bool Transaction::MetDatabaseFault() const noexcept {
    return state_.databaseFaults != faultsAtStart_;
}

void Transaction::Commit() {
    scope_.Commit();
}

void Transaction::Rollback() {
    scope_.Rollback();
}

void Transaction::CommitOrRethrowFault() {
    if (!MetDatabaseFault()) {
        Commit();
        return;
    }
    try {
        Rollback();
    } catch (...) {
        // The fault that made the work fail is the one to report.
    }
    RethrowDatabaseFault(state_);
}

} // namespace kvad::nso
