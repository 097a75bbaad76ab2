#include "wal_checkpointer.h"

#include <sqlite3.h>

#include <system_error>
#include <utility>

namespace kvad::db {
namespace {

/// How many times the mark the log may grow before the writer copies it back itself.
constexpr int kWriterFactor = 4;
/// How long the thread's connection waits for another's lock before it gives the turn up.
constexpr int kBusyMs = 100;

} // namespace

WalCheckpointer::WalCheckpointer(sqlite3* writer, std::string path, int pages)
    : writer_(writer), path_(std::move(path)), pages_(pages) {
    sqlite3_wal_hook(writer_, &WalCheckpointer::OnCommit, this);
}

WalCheckpointer::~WalCheckpointer() {
    sqlite3_wal_hook(writer_, nullptr, nullptr);
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
        if (own_ != nullptr) {
            // A checkpoint under way stops at its next page; the writer's close copies the rest.
            sqlite3_interrupt(own_);
        }
    }
    wake_.notify_one();
    if (thread_.joinable()) {
        thread_.join();
    }
    sqlite3_close_v2(own_);
}

std::uint64_t WalCheckpointer::Asked() const {
    const std::lock_guard lock(mutex_);
    return asked_;
}

std::uint64_t WalCheckpointer::Finished() const {
    const std::lock_guard lock(mutex_);
    return finished_;
}

std::uint64_t WalCheckpointer::MadeByWriter() const {
    const std::lock_guard lock(mutex_);
    return byWriter_;
}

int WalCheckpointer::OnCommit(void* self, sqlite3* db, const char* name, int walPages) {
    auto& checkpointer = *static_cast<WalCheckpointer*>(self);
    if (walPages >= kWriterFactor * checkpointer.pages_) {
        // A busy checkpoint (another holds the checkpoint lock) is not the commit's failure.
        (void)sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        const std::lock_guard lock(checkpointer.mutex_);
        ++checkpointer.byWriter_;
    } else if (walPages >= checkpointer.pages_) {
        checkpointer.Ask();
    }
    return SQLITE_OK;
}

void WalCheckpointer::Ask() {
    {
        const std::lock_guard lock(mutex_);
        if (failed_) {
            return; // the writer's own checkpoints at four times the mark keep the log bounded
        }
        if (own_ == nullptr) {
            constexpr int kFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
            if (sqlite3_open_v2(path_.c_str(), &own_, kFlags, nullptr) != SQLITE_OK ||
                sqlite3_exec(own_, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr) !=
                    SQLITE_OK) {
                sqlite3_close_v2(own_);
                own_ = nullptr;
                failed_ = true;
                return;
            }
            sqlite3_busy_timeout(own_, kBusyMs);
            try {
                thread_ = std::thread([this] { Run(); });
            } catch (const std::system_error&) {
                failed_ = true;
                return;
            }
        }
        if (!pending_) {
            pending_ = true;
            ++asked_;
        }
    }
    wake_.notify_one();
}

void WalCheckpointer::Run() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return pending_ || stop_; });
        if (stop_) {
            return;
        }
        pending_ = false;
        lock.unlock();
        // Passive: it copies what no reader still needs and never waits for the writer. A busy
        // or interrupted checkpoint is tried again at the next commit past the mark.
        (void)sqlite3_wal_checkpoint_v2(own_, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        lock.lock();
        ++finished_;
    }
}

} // namespace kvad::db
