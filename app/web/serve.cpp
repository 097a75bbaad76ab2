// "nso serve" and "nso user add": the web host started on the settings' database, and the clerks
// who may log in to it.
#include <atomic>
#include <csignal>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>

#include <pthread.h>

#include "app/commands.h"
#include "app/session.h"
#include "app/web/users.h"
#include "app/web/web_host.h"

namespace nsoapp {
namespace {

/// "127.0.0.1:8080", "[::1]:8080" or "localhost:8080" as address and port.
std::pair<std::string, int> ParseListen(const std::string& listen) {
    const std::size_t colon = listen.rfind(':');
    const auto refuse = [&] {
        return std::runtime_error("--listen " + listen +
                                  " is not ADDRESS:PORT (127.0.0.1:8080, [::1]:8080)");
    };
    if (colon == std::string::npos || colon == 0) {
        throw refuse();
    }
    std::string host = listen.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const std::string port = listen.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) > 65535) {
        throw refuse();
    }
    return {host, std::stoi(port)};
}

} // namespace

void RunServe(const Settings& settings, const ServeOptions& options) {
    // The database is checked before the server starts: a missing one is told at once.
    (void)OpenSession(settings);
    nsoweb::HostOptions host;
    std::tie(host.host, host.port) =
        ParseListen(options.listen.empty() ? settings.listen : options.listen);
    host.watch = options.watch;
    host.loginRequired = options.login;

    // SIGINT and SIGTERM end the server from a thread that waits for them, so that the
    // handlers' threads (which inherit the mask) never see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGUSR1); // wakes the waiting thread when the server ends itself
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    nsoweb::WebHost web(settings, host);
    const int port = web.Bind();
    const bool login = host.loginRequired || !nsoweb::IsOwnLoopback(host.host);
    std::cout << "nso serve: listening on http://"
              << (host.host.find(':') != std::string::npos ? "[" + host.host + "]" : host.host)
              << ":" << port << "/" << (login ? " (login required)" : "")
              << (host.watch ? ", watching the inbox" : "") << "; Ctrl-C stops\n"
              << std::flush;
    std::atomic<bool> signalled{false};
    std::thread stopper([&web, &signalled, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        signalled = true;
        web.Stop();
    });
    web.Serve();
    if (!signalled) {
        // The server ended of itself: the waiting thread is woken to end too.
        pthread_kill(stopper.native_handle(), SIGUSR1);
    }
    stopper.join();
}

void RunUserAdd(const Settings& settings, const UserOptions& options) {
    Session session = OpenSession(settings);
    RequireWritable(session, settings);
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    nsoweb::AddUser(*session.db, options.name, password);
    std::cout << "user " << options.name << " may log in to `nso serve`\n";
}

} // namespace nsoapp
