// A company's one-writer rule on a server database: a session-level advisory lock, held by a
// connection of its own so that the holder's transactions never release it, and released by
// the server when that session ends however it ends.
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "pg_connection.h"
#include "postgres/pg_database.h"

namespace kvad::db {

namespace {

// The lock's two keys: the work (in a range of our own) and the company.
std::string LockKeys(std::int32_t company, AdvisoryWork work) {
    constexpr std::int32_t kWorkBase = 0x4B560000;
    return std::to_string(kWorkBase + static_cast<std::int32_t>(work)) + ", " +
           std::to_string(company);
}

std::string WorkName(AdvisoryWork work) {
    return work == AdvisoryWork::Retrieval ? "retrieval" : "clerk's work";
}

} // namespace

AdvisoryLock::AdvisoryLock(const std::string& uri, std::int32_t company, AdvisoryWork work,
                           const std::string& name, std::chrono::milliseconds wait) {
    auto session = PgConnection::Open(uri);
    std::string label = name + ", process " + std::to_string(getpid());
    std::string quoted;
    for (const char c : label) {
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    }
    (void)session->ExecuteNative("SET application_name = '" + quoted + "'");
    const auto deadline = std::chrono::steady_clock::now() + wait;
    const std::string attempt = "SELECT pg_try_advisory_lock(" + LockKeys(company, work) + ")";
    for (;;) {
        const PgResult taken = session->ExecuteNative(attempt);
        if (std::string_view(PQgetvalue(taken.get(), 0, 0)) == "t") {
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            const std::string holder = Holder(uri, company, work);
            throw DbError("another " + (holder.empty() ? WorkName(work) : holder) + " holds the " +
                              WorkName(work) + " of company " + std::to_string(company),
                          "40001", std::string(), "KVAD_NSO lock",
                          DbCode{0, DatabaseCondition::Busy});
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    session_ = std::move(session);
}

AdvisoryLock::AdvisoryLock(AdvisoryLock&&) noexcept = default;
AdvisoryLock& AdvisoryLock::operator=(AdvisoryLock&&) noexcept = default;

// A holder that ends in order gives the lock back before its session closes: the server ends a
// closed session in the background, and a command started right after would find the lock
// still taken. One that dies leaves it to the server, which releases it with the session.
AdvisoryLock::~AdvisoryLock() {
    if (!session_) {
        return; // moved from
    }
    try {
        (void)AsPostgres(*session_).ExecuteNative("SELECT pg_advisory_unlock_all()");
    } catch (...) {
        // A broken session: closing it releases the lock all the same.
    }
}

std::string AdvisoryLock::Holder(const std::string& uri, std::int32_t company, AdvisoryWork work) {
    const std::optional<AdvisoryHolder> holder = HolderOf(uri, company, work);
    return holder ? holder->name : std::string();
}

std::optional<AdvisoryHolder> AdvisoryLock::HolderOf(const std::string& uri, std::int32_t company,
                                                     AdvisoryWork work) {
    auto session = PgConnection::Open(uri);
    constexpr std::int32_t kWorkBase = 0x4B560000;
    // The holder's session does nothing after the statement that took the lock: the time its
    // state last changed is when it took it.
    const PgResult holder = session->ExecuteNative(
        "SELECT a.application_name, floor(extract(epoch FROM a.state_change))::bigint FROM "
        "pg_locks AS l JOIN pg_stat_activity AS a ON a.pid = l.pid "
        "WHERE l.locktype = 'advisory' AND l.granted AND l.database = "
        "(SELECT oid FROM pg_database WHERE datname = current_database()) AND l.classid = " +
        std::to_string(kWorkBase + static_cast<std::int32_t>(work)) +
        " AND l.objid = " + std::to_string(company) + " AND l.objsubid = 2");
    if (PQntuples(holder.get()) == 0) {
        return std::nullopt;
    }
    const char* since = PQgetvalue(holder.get(), 0, 1);
    return AdvisoryHolder{PQgetvalue(holder.get(), 0, 0),
                          std::chrono::system_clock::time_point(
                              std::chrono::seconds(std::strtoll(since, nullptr, 10)))};
}

} // namespace kvad::db
