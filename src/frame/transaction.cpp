#include "frame/transaction.h"

#include "frame/failure_path.h"

namespace kvad::nso {

Transaction::Transaction(NsoState& state) : state_(state), faultsAtStart_(state.databaseFaults) {
    (void)Conn(state_).BeginTrans();
}

Transaction::~Transaction() {
    if (!active_) {
        return;
    }
    try {
        Conn(state_).RollbackTrans();
    } catch (...) {
    }
}

bool Transaction::MetDatabaseFault() const noexcept {
    return state_.databaseFaults != faultsAtStart_;
}

void Transaction::Commit() {
    Conn(state_).CommitTrans();
    active_ = false;
}

void Transaction::Rollback() {
    active_ = false;
    Conn(state_).RollbackTrans();
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
