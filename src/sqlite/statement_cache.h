#pragma once
// Prepared statements kept per connection and used again: a statement that is sent many times
// is compiled once, then reset and rebound for each use.

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>

#include "sqlite_statement.h"
#include "text_key.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kvad::db {

/// A bounded set of prepared statements by SQL text, least recently used first out. A statement
/// prepared before the schema changed is prepared again before it is lent.
class StatementCache {
  public:
    /// Statements kept at most.
    static constexpr std::size_t kCapacity = 512;
    /// Translated statements longer than this carry data of their own (a document's text) and
    /// are not sent twice: they are neither translated nor prepared for keeping.
    static constexpr std::size_t kMaxSqlLength = 4096;

    explicit StatementCache(sqlite3* db) noexcept : db_(db) {}
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;
    StatementCache(StatementCache&&) = delete;
    StatementCache& operator=(StatementCache&&) = delete;
    ~StatementCache();

    /// The statement for `sql` (exactly one statement), prepared at schema generation
    /// `generation`: a kept one when it is idle and was prepared at that generation, else a new
    /// one. Throws DbError as Statement's constructor does.
    [[nodiscard]] Statement Acquire(TextKey sql, std::uint64_t generation);
    [[nodiscard]] Statement Acquire(std::string_view sql, std::uint64_t generation) {
        return Acquire(TextKey::Of(sql), generation);
    }

    /// Finalizes every idle statement.
    void Clear() noexcept;

    /// Statements kept now (idle or lent).
    [[nodiscard]] std::size_t Size() const noexcept { return entries_.size(); }

  private:
    friend class Statement;
    struct Entry {
        std::string sql;
        std::size_t hash = 0; ///< of sql, the key it is kept by
        sqlite3_stmt* stmt = nullptr;
        std::uint64_t generation = 0;
        bool lent = false;
    };
    using Entries = std::list<Entry>;

    /// Takes a lent statement back: reset, parameters cleared, ready for the next use.
    void GiveBack(void* lease) noexcept;
    void EvictIdle() noexcept;

    sqlite3* db_;
    Entries entries_; ///< most recently used first
    /// Entries by their text (the key's text is the entry's own).
    std::unordered_map<TextKey, Entries::iterator, TextKeyHash, TextKeyEqual> bySql_;
};

/// A connection's handle with its statement cache and the schema generation in force for the
/// current call: what reading and writing rows need of their connection.
struct StatementSource {
    sqlite3* db = nullptr;
    StatementCache* cache = nullptr; ///< null: every statement is prepared for its use
    std::uint64_t generation = 0;

    /// The statement for `sql`, kept for the next use when there is a cache and `keep`.
    [[nodiscard]] Statement Prepare(std::string_view sql, bool keep = true) const {
        return cache != nullptr && keep ? cache->Acquire(sql, generation) : Statement(db, sql);
    }
    /// The same for a text whose hash is known.
    [[nodiscard]] Statement Prepare(TextKey sql, bool keep = true) const {
        return cache != nullptr && keep ? cache->Acquire(sql, generation) : Statement(db, sql.text);
    }
};

} // namespace kvad::db
