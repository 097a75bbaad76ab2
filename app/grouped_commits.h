#pragma once
// The main job's phases commit their documents and chains in groups: each still commits whole or
// not at all, and the database file is written once per group instead of once per document.

#include "kvad_nso/connection.h"

namespace nsoapp {

/// Commits are grouped while it lives. Finish() writes the last group and says when that fails;
/// a phase that ends with an exception has its finished work written by the destructor.
class GroupedCommits {
  public:
    /// At most this many documents or chains in a group, and a group open at most this long,
    /// so that another program waiting to write (a clerk's edit) waits a moment only.
    static constexpr int kUnits = 64;
    static constexpr int kMilliseconds = 200;

    explicit GroupedCommits(kvad::Connection& db) : db_(db) {
        db_.GroupCommits(kUnits, kMilliseconds);
    }
    GroupedCommits(const GroupedCommits&) = delete;
    GroupedCommits& operator=(const GroupedCommits&) = delete;
    GroupedCommits(GroupedCommits&&) = delete;
    GroupedCommits& operator=(GroupedCommits&&) = delete;
    ~GroupedCommits() {
        if (active_) {
            try {
                db_.GroupCommits(0, 0);
            } catch (...) {
                // Already failing: what the open group held is done again by the next run.
            }
        }
    }

    /// Writes the open group now (at the end of a phase: another program that waits to write
    /// goes on between the phases). Throws the connection's DbError.
    void Flush() { db_.CommitGroup(); }

    /// Ends the grouping and writes the open group. Throws the connection's DbError.
    void Finish() {
        active_ = false;
        db_.GroupCommits(0, 0);
    }

  private:
    kvad::Connection& db_;
    bool active_ = true;
};

} // namespace nsoapp
