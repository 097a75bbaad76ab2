#pragma once
// The browser sessions of the web host: each has its own component object on its own database
// connection (its working table is its own), its own selection of chains, a CSRF token that every
// state-changing request must carry, the clerk who logged in, and the long action it runs.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "app/session.h"
#include "app/web/job.h"

namespace nsoweb {

/// A random token of 32 bytes as 64 hexadecimal digits (libsodium's generator).
[[nodiscard]] std::string RandomToken();

/// Whether two tokens are equal, in a time that does not depend on where they differ.
[[nodiscard]] bool SameToken(const std::string& a, const std::string& b) noexcept;

struct WebSession {
    std::string id;   ///< the cookie's value
    std::string csrf; ///< the token forms and scripts send back
    std::string user; ///< the clerk logged in, "" before a login (or when none is needed)
    /// Held by whatever uses the component: one request or job at a time per session.
    std::timed_mutex work;
    std::optional<nsoapp::Session> component; ///< opened on first use
    std::set<std::int32_t> selected;          ///< latest documents of the chains selected
    std::shared_ptr<Job> job;                 ///< the last long action, running or done
    std::string notice;                       ///< said once on the next page (an edit's outcome)
    std::chrono::steady_clock::time_point lastSeen;
};

/// The sessions of one server. Sessions idle for longer than `idle` end; when `capacity` are
/// open, the one idle the longest ends to make room.
class SessionStore {
  public:
    SessionStore(std::size_t capacity, std::chrono::minutes idle);

    /// The session of that cookie value, or null when there is none (or it ended).
    [[nodiscard]] std::shared_ptr<WebSession> Find(const std::string& id);
    /// A new session with fresh tokens.
    [[nodiscard]] std::shared_ptr<WebSession> Create();
    /// Ends a session (logout).
    void End(const std::string& id);
    [[nodiscard]] std::size_t Count() const;

  private:
    void Expire(std::chrono::steady_clock::time_point now);

    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<WebSession>> sessions_;
    std::size_t capacity_;
    std::chrono::minutes idle_;
};

} // namespace nsoweb
