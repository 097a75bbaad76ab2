// Page loads of the web host (nso serve) on a large register: the chain list's first page and an
// order's review page, each asked for over HTTP on 127.0.0.1 by a client with its session, beside
// the floor measured in the same run: the read-model calls the page is made from, called
// directly on a component of its own (so the ratio is what the web layer adds: the session, the
// HTML, the transfer).
//
// The register: the example orders fetched, BIB-7/2024's chain processed (the order reviewed),
// then N generated chains of one document (~20 KB of XML each) registered beside them.
//
// Usage: web_bench [chains (10000)] [rounds (5)]

#include <httplib.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/review.h"
#include "app/session.h"
#include "app/web/web_host.h"
#include "bench_clock.h"
#include "generator/ubl_order.h"
#include "kvad_nso/read_model/chain_list.h"

namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::MsSince;

void Nso(const fs::path& dir, const std::string& arguments) {
    const std::string command = "cd '" + dir.string() +
                                "' && '" KVAD_NSO_BINARY
                                "' --db nso.db --inbox inbox --cache-dir cache " +
                                arguments + " >/dev/null 2>&1 </dev/null";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("nso " + arguments + " failed");
    }
}

/// Registers `chains` chains of one generated order each, with its staged header.
void Populate(const fs::path& file, int chains) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
        throw std::runtime_error("cannot open " + file.string());
    }
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* document = nullptr;
    sqlite3_stmt* header = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_ID_FW07, "
                       "IE91_HUBID, IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, "
                       "IE91_XML) VALUES (1, 0, 1, ?, ?, '2023-06-01 00:00:00', ?, 0, ?)",
                       -1, &document, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91, "
                       "IE92_BuyerCustomerParty_Party_PartyName_Name) VALUES "
                       "(last_insert_rowid(), ?)",
                       -1, &header, nullptr);
    for (int chain = 0; chain < chains; ++chain) {
        const std::string id = "G" + std::to_string(chain);
        const std::string endpoint = "UF" + std::to_string(chain % 50);
        const std::string xml = kvad::generator::OrderXml(18, id, endpoint);
        const std::string hub = id + ".xml";
        const std::string buyer = "ASL " + std::to_string(chain % 50);
        sqlite3_bind_text(document, 1, hub.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(document, 2, id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(document, 3, endpoint.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(document, 4, xml.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(header, 1, buyer.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(document) != SQLITE_DONE || sqlite3_step(header) != SQLITE_DONE) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
        sqlite3_reset(document);
        sqlite3_reset(header);
    }
    sqlite3_finalize(document);
    sqlite3_finalize(header);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

/// The median and the least of `rounds` runs of `work`, in milliseconds.
std::pair<double, double> Time(int rounds, const std::function<void()>& work) {
    work(); // warm-up: statement caches and pages
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        work();
        ms.push_back(MsSince(start));
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

void Report(const char* what, std::pair<double, double> page, std::pair<double, double> floor) {
    std::printf("%-28s %10.1f %10.1f %12.1f %8.2f\n", what, page.first, page.second, floor.first,
                page.first / floor.first);
}

int RunBench(int argc, char** argv) {
    const int chains = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const fs::path dir = fs::temp_directory_path() / ("kvad-web-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::copy(fs::path(KVAD_SOURCE_DIR) / "examples" / "inbox", dir / "inbox",
             fs::copy_options::recursive);
    Nso(dir, "init --demo");
    Nso(dir, "fetch");
    Nso(dir, "process BIB-7/2024");
    Populate(dir / "nso.db", chains);

    nsoapp::Settings settings;
    settings.database = (dir / "nso.db").string();
    settings.inbox = (dir / "inbox").string();
    settings.cacheDir = (dir / "cache").string();
    nsoapp::Session direct = nsoapp::OpenSession(settings);
    const std::int32_t library = 6;

    nsoweb::HostOptions options;
    options.port = 0;
    nsoweb::WebHost host(settings, options);
    const int port = host.Bind();
    std::thread serving([&host] { host.Serve(); });
    // The server stops and its thread ends however the measuring ends.
    struct Stopper {
        nsoweb::WebHost& host;
        std::thread& serving;
        Stopper(nsoweb::WebHost& h, std::thread& s) : host(h), serving(s) {}
        Stopper(const Stopper&) = delete;
        Stopper& operator=(const Stopper&) = delete;
        Stopper(Stopper&&) = delete;
        Stopper& operator=(Stopper&&) = delete;
        ~Stopper() {
            host.Stop();
            serving.join();
        }
    } stopper(host, serving);
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(300, 0);
    const auto first = client.Get("/chains");
    const std::string set = first ? first->get_header_value("Set-Cookie") : "";
    const httplib::Headers cookie{{"Cookie", set.substr(0, set.find(';'))}};
    const auto get = [&](const std::string& path) {
        const auto page = client.Get(path.c_str(), cookie);
        if (!page || page->status != 200) {
            throw std::runtime_error("GET " + path + " failed: " +
                                     (page ? std::to_string(page->status) + " " + page->body
                                           : httplib::to_string(page.error())));
        }
    };

    std::printf("Web host page loads, %d generated chains registered beside the examples "
                "(median and least of %d rounds, ms)\n",
                chains, rounds);
    std::printf("%-28s %10s %10s %12s %8s\n", "page", "median", "least", "floor", "ratio");
    Report("chain list, first page", Time(rounds, [&] { get("/chains"); }), Time(rounds, [&] {
               (void)kvad::read_model::ReadChainList(*direct.nso, kvad::kaOrdiniDaProcessare, 50);
           }));
    Report("order review (BIB-7/2024)",
           Time(rounds, [&] { get("/orders/" + std::to_string(library)); }),
           Time(rounds, [&] { (void)nsoapp::ReviewedOrder(direct, library); }));
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return RunBench(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "web_bench: %s\n", e.what());
        return 1;
    }
}
