#include "statement_cache.h"

#include <sqlite3.h>

namespace kvad::db {

StatementCache::~StatementCache() {
    for (Entry& entry : entries_) {
        sqlite3_finalize(entry.stmt);
    }
}

Statement StatementCache::Acquire(TextKey key, std::uint64_t generation) {
    const std::string_view sql = key.text;
    const auto found = bySql_.find(key);
    if (found != bySql_.end()) {
        Entry& entry = *found->second;
        if (entry.lent) {
            return Statement(db_, sql); // in use further up: a second one of its own
        }
        if (entry.generation != generation) {
            // Prepared again now rather than by SQLite at its first step, so that the column
            // names and types read before stepping are those of the schema in force.
            sqlite3_stmt* fresh = PrepareOne(db_, entry.sql);
            sqlite3_finalize(entry.stmt);
            entry.stmt = fresh;
            entry.generation = generation;
        }
        entries_.splice(entries_.begin(), entries_, found->second);
        entry.lent = true;
        return Statement(db_, entry.stmt, entry.sql, this, &entry);
    }
    std::string text(sql);
    sqlite3_stmt* stmt = PrepareOne(db_, text);
    if (entries_.size() >= kCapacity) {
        EvictIdle();
    }
    entries_.push_front(Entry{std::move(text), key.hash, stmt, generation, true});
    Entry& entry = entries_.front();
    bySql_.emplace(TextKey{entry.sql, key.hash}, entries_.begin());
    return Statement(db_, entry.stmt, entry.sql, this, &entry);
}

void StatementCache::GiveBack(void* lease) noexcept {
    auto* entry = static_cast<Entry*>(lease);
    sqlite3_reset(entry->stmt);
    sqlite3_clear_bindings(entry->stmt);
    entry->lent = false;
}

void StatementCache::EvictIdle() noexcept {
    for (auto it = entries_.end(); it != entries_.begin();) {
        --it;
        if (!it->lent) {
            bySql_.erase(TextKey{it->sql, it->hash});
            sqlite3_finalize(it->stmt);
            entries_.erase(it);
            return;
        }
    }
}

void StatementCache::Clear() noexcept {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->lent) {
            ++it;
            continue;
        }
        bySql_.erase(TextKey{it->sql, it->hash});
        sqlite3_finalize(it->stmt);
        it = entries_.erase(it);
    }
}

} // namespace kvad::db
