#pragma once
// The web host for clerks: an HTTP server (cpp-httplib) that serves the review screens of the
// company in the settings, one component object per browser session.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "app/settings.h"

namespace nsoweb {

struct HostOptions {
    std::string host = "127.0.0.1"; ///< the address to listen on
    int port = 8080;                ///< 0: any free port (Bind says which)
    /// Clerks log in before anything is shown; forced on when `host` is not loopback's own.
    bool loginRequired = false;
    bool watch = false;      ///< fetch new documents as they arrive in the inbox
    double watchSeconds = 2; ///< how often the inbox is looked at
    std::size_t maxBody = std::size_t{256} * 1024; ///< the largest request body taken
    std::size_t maxSessions = 200;                 ///< browser sessions kept at once
    double lockWaitSeconds = 600; ///< how long a long action waits for another's lock
    double editWaitSeconds = 10;  ///< how long an edit waits for another's lock
};

/// Whether the listen address is this machine's own loopback (127.0.0.1, ::1 or localhost):
/// anything else, 127.0.0.2 included, requires a login.
[[nodiscard]] bool IsOwnLoopback(const std::string& host);

class WebHost {
  public:
    WebHost(nsoapp::Settings settings, HostOptions options);
    ~WebHost();
    WebHost(const WebHost&) = delete;
    WebHost& operator=(const WebHost&) = delete;
    WebHost(WebHost&&) = delete;
    WebHost& operator=(WebHost&&) = delete;

    /// Binds the listening socket; returns the port (the one chosen when the options say 0).
    /// Throws std::runtime_error when the address cannot be bound.
    int Bind();
    /// Serves until Stop; the inbox is watched meanwhile when the options say so.
    void Serve();
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace nsoweb
