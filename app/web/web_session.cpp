#include "app/web/web_session.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace nsoweb {

std::string RandomToken() {
    if (sodium_init() < 0) {
        throw std::runtime_error("the random generator (libsodium) could not be started");
    }
    std::array<unsigned char, 32> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    std::array<char, 65> hex{};
    sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
    return {hex.data()};
}

bool SameToken(const std::string& a, const std::string& b) noexcept {
    return !a.empty() && a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

SessionStore::SessionStore(std::size_t capacity, std::chrono::minutes idle)
    : capacity_(std::max<std::size_t>(capacity, 1)), idle_(idle) {}

std::shared_ptr<WebSession> SessionStore::Find(const std::string& id) {
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard lock(mutex_);
    Expire(now);
    const auto found = sessions_.find(id);
    if (id.empty() || found == sessions_.end()) {
        return nullptr;
    }
    found->second->lastSeen = now;
    return found->second;
}

std::shared_ptr<WebSession> SessionStore::Create() {
    auto session = std::make_shared<WebSession>();
    session->id = RandomToken();
    session->csrf = RandomToken();
    session->lastSeen = std::chrono::steady_clock::now();
    const std::lock_guard lock(mutex_);
    Expire(session->lastSeen);
    if (sessions_.size() >= capacity_) {
        const auto oldest =
            std::min_element(sessions_.begin(), sessions_.end(), [](auto& a, auto& b) {
                return a.second->lastSeen < b.second->lastSeen;
            });
        sessions_.erase(oldest);
    }
    sessions_.emplace(session->id, session);
    return session;
}

void SessionStore::End(const std::string& id) {
    const std::lock_guard lock(mutex_);
    sessions_.erase(id);
}

std::size_t SessionStore::Count() const {
    const std::lock_guard lock(mutex_);
    return sessions_.size();
}

void SessionStore::Expire(std::chrono::steady_clock::time_point now) {
    std::erase_if(sessions_,
                  [&](const auto& entry) { return now - entry.second->lastSeen > idle_; });
}

} // namespace nsoweb
