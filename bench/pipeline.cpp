// Main job figures: the inbox fetched, listed, processed and imported as `nso run` does it
// (FetchDocuments, ProcessChains and ImportReadyChains of the nso program, the list as
// `nso list --all` run as a user runs it), against the floor in the same run: the same documents
// parsed with libxml2 and the job's own rows, every row it added, inserted into SQLite, one
// transaction per document (bench/rows_floor.h); and beside it a stricter floor that parses the
// same documents and inserts their staging rows only (bench/floor_loader.h). Then the cost per
// order as the register grows. With a PostgreSQL server (--pg URI, or KVAD_PG_URI as
// scripts/pg_cluster.sh sets it), the same job again on a server database of the cluster beside
// each SQLite run, through nso's session, against its own two floors: the same documents parsed and
// the same staging rows inserted into a server database over libpq, one transaction per document
// (bench/pg_floor_loader.h), and the job's own rows written the same way (bench/pg_rows_floor.h).
//
// The generated inbox (tests/generator, seed 1) has orders of 50 buyers whose customers, offices,
// destinations and items are in the master data, so that every order decodes; a tenth of the
// documents revise the latest document of an earlier chain and one in twenty cancel one. The run
// checks that nothing was skipped: every document loaded, none left with verification errors, every
// chain imported.
//
// Usage: pipeline [--lines L] [--batch B] [--chains C] [--registers K,...] [--here] [--pg URI]
//                 [ORDERS...]
//   ORDERS     inbox sizes (default 1000 10000)
//   --lines    order lines per order (default 20)
//   --batch    orders fetched into the grown registers (default 500)
//   --registers registered documents before the batch (default 1000,10000,100000; when ORDERS
//              are given, 1000 and a batch of at most the first size: `pipeline 200` is a smoke
//              run)
//   --chains   chains per batch of the job's processing and import (default nso run's)
//   --here     every size in this process (for a profiler)
// Otherwise each size runs in a process of its own, so that its peak memory is its own.

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/main_job.h"
#include "app/progress_view.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/work_lock.h"
#include "bench_clock.h"
#include "floor_loader.h"
#include "generator/generated_inbox.h"
#include "host/master_data.h"
#include "kvad_nso/recordset.h"
#include "pg_floor_loader.h"
#include "pg_rows_floor.h"
#include "postgres/pg_database.h"
#include "rows_floor.h"
#include "sqlite/sqlite_database.h"

namespace {

namespace fs = std::filesystem;
using bench::Clock;

constexpr const char* kCompanyVat = "01234567890";
constexpr int kBuyers = 50;
constexpr double kTargetPerSecond = 500;
constexpr double kTargetRatio = 5;

/// The PostgreSQL cluster to run the job on as well ("" for SQLite only).
std::string gServer; // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

using bench::MsSince;
using bench::Time;
using bench::Timing;

// ---------------------------------------------------------------------------------------------
// The inbox and the master data that decodes it

/// The inbox of `documents` documents of `lines` lines each: orders of kBuyers buyers, a tenth of
/// the documents revising and one in twenty cancelling the latest document of an earlier chain.
kvad::generator::InboxPlan Plan(int documents, int lines) {
    kvad::generator::InboxPlan plan;
    plan.documents = documents;
    plan.revisionPercent = 10;
    plan.cancellationPercent = 5;
    plan.minLines = lines;
    plan.maxLines = lines;
    plan.buyers = kBuyers;
    plan.companyVat = kCompanyVat;
    return plan;
}

struct InboxCounts {
    int orders = 0;
    int revisions = 0;
    int cancellations = 0;
    long lines = 0; ///< order lines of every document
    double kbPerOrder = 0;
};

/// Writes the inbox of `plan` into the company's folder of the folder inbox.
InboxCounts WriteBenchInbox(const fs::path& inbox, const kvad::generator::InboxPlan& plan) {
    const kvad::generator::InboxSummary summary = kvad::generator::WriteInbox(inbox, plan);
    const fs::path folder = inbox / (std::string("IT") + kCompanyVat);
    InboxCounts counts;
    counts.orders = summary.orders;
    counts.revisions = summary.revisions;
    counts.cancellations = summary.cancellations;
    counts.lines = summary.lines;
    // The first document is an order: its size is an order's.
    counts.kbPerOrder = static_cast<double>(fs::file_size(folder / "ord-000001.xml")) / 1024.0;
    return counts;
}

/// The master data the generated orders decode with, loaded as `nso master load` loads CSV
/// files.
void LoadMasterData(kvad::Connection& db, const kvad::generator::InboxPlan& plan) {
    for (const kvad::generator::MasterDataFile& file : kvad::generator::MasterData(plan)) {
        kvad::host::LoadMasterData(db, 1, file.kind, file.csv, file.kind + ".csv");
    }
}

std::shared_ptr<kvad::Connection> OpenBenchDatabase(const std::string& database) {
    return kvad::db::IsPostgresUri(database) ? kvad::db::OpenPostgres(database)
                                             : kvad::db::OpenSqlite(database);
}

/// The URI of database `name` on the cluster of gServer.
std::string ServerUri(const std::string& name) {
    const std::size_t slash = gServer.find('/', gServer.find("://") + 3);
    const std::size_t query = gServer.find('?', slash);
    return gServer.substr(0, slash + 1) + name +
           (query == std::string::npos ? "" : gServer.substr(query));
}

/// A new server database `name` with the schema, company 1 registered and configured as
/// `nso init --demo` configures it; returns its URI.
std::string NewServerDatabase(const std::string& name) {
    {
        auto admin = kvad::db::OpenPostgres(gServer);
        kvad::db::ExecutePostgresScript(*admin,
                                        "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
        kvad::db::ExecutePostgresScript(*admin, "CREATE DATABASE " + name);
    }
    std::string uri = ServerUri(name);
    auto db = kvad::db::OpenPostgres(uri);
    kvad::db::ApplyPostgresSchema(*db);
    db->Execute(std::string("INSERT INTO CG18_DITTA (CG18_CODICE, CG18_PARTIVA) VALUES (1, '") +
                kCompanyVat + "')");
    db->Execute("INSERT INTO IE90_CONFIGNSO (IE90_DITTA_CG18, IE90_CODDOCUM_MG3G, "
                "IE90_TRACCIATO_IE25, IE90_DATAORA_IMPORT) VALUES (1, 'OCL', 'NSO', "
                "'2024-01-01 00:00:00')");
    return uri;
}

void DropServerDatabase(const std::string& name) {
    auto admin = kvad::db::OpenPostgres(gServer);
    kvad::db::ExecutePostgresScript(*admin, "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
}

/// A database with the schema, company 1 registered and configured as `nso init --demo`
/// configures it.
void NewDatabase(const fs::path& file) {
    fs::remove(file);
    auto db = kvad::db::OpenSqlite(file.string());
    kvad::db::ApplySchema(*db);
    kvad::db::ExecuteNativeScript(
        *db, std::string("INSERT INTO CG18_DITTA (CG18_CODICE, CG18_PARTIVA) VALUES (1, '") +
                 kCompanyVat +
                 "');INSERT INTO IE90_CONFIGNSO (IE90_DITTA_CG18, IE90_CODDOCUM_MG3G, "
                 "IE90_TRACCIATO_IE25, IE90_DATAORA_IMPORT) VALUES (1, 'OCL', 'NSO', "
                 "'2024-01-01 00:00:00')");
}

/// Registers `documents` earlier documents, all taken in whole and processed, each with its
/// staged header and lines, its intake record and the ERP order made from it (with its lines and
/// its reference to the NSO order).
void Populate(const fs::path& file, int documents, int lines) {
    auto db = kvad::db::OpenSqlite(file.string());
    const std::string n = std::to_string(documents);
    const std::string l = std::to_string(lines);
    kvad::db::ExecuteNativeScript(
        *db,
        "BEGIN;"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            n +
            ") INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_HUBID, IE91_IDORD, "
            "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML, IE91_PROCESSATO, "
            "IE91_GUID_DO11) SELECT 1, 0, 'old-' || i || '.xml', 'OLD-' || i, "
            "'2024-02-01 00:00:00', 'UF' || (i % 50), 0, '<Order/>', 1, 'G-' || i FROM n;"
            "INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91, IE92_IssueDate, "
            "IE92_BuyerCustomerParty_Party_PartyName_Name) SELECT IE91_ID, IE91_ISSUEDATE, "
            "'ASL di prova' FROM IE91_NSOFILES;"
            "WITH RECURSIVE l(j) AS (SELECT 1 UNION ALL SELECT j + 1 FROM l WHERE j < " +
            l +
            ") INSERT INTO IE94_NSOCORPOXML (IE94_ID_IE91, IE94_LineItem_ID, "
            "IE94_LineItem_Quantity, IE94_LineItem_Item_Name) SELECT IE91_ID, j, 1, 'Articolo' "
            "FROM IE91_NSOFILES, l;"
            "INSERT INTO IE9A_NSOCORPOSCONTIXML (IE9A_ID_IE91, IE9A_ID_IE94, IE9A_ChargeIndicator, "
            "IE9A_Amount) SELECT IE94_ID_IE91, IE94_ID, 'false', 1.25 FROM IE94_NSOCORPOXML;"
            "INSERT INTO KVAD_DOCUMENT_INTAKE (INTAKE_ID_IE91, INTAKE_OUTCOME, INTAKE_HEADERS, "
            "INTAKE_HEADER_CHARGES, INTAKE_LINES, INTAKE_LINE_CHARGES) SELECT IE91_ID, 0, 1, 0, " +
            l + ", " + l +
            " FROM IE91_NSOFILES;"
            "INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, DO11_GUID, "
            "DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC, DO11_ANNODOC, "
            "DO11_TIPOCF_CG44, DO11_CLIFOR_CG44) SELECT 1, IE91_ID, IE91_GUID_DO11, 'OCL', 'A', "
            "IE91_ID, '2024-02-01 00:00:00', 2024, 0, 2001 + IE91_ID % 50 FROM IE91_NSOFILES;"
            "INSERT INTO DO12_DOCTESTARIF (DO12_DITTA_CG18, DO12_NUMREG_CO99, DO12_FEIDDOC, "
            "DO12_FEDATADOC, DO12_FEIDSOGGETTO) SELECT 1, IE91_ID, IE91_IDORD, IE91_ISSUEDATE, "
            "IE91_ENDPOINTID FROM IE91_NSOFILES;"
            "WITH RECURSIVE l(j) AS (SELECT 1 UNION ALL SELECT j + 1 FROM l WHERE j < " +
            l +
            ") INSERT INTO DO31_DOCCORPOORD (DO31_DITTA_CG18, DO31_NUMREG_CO99, DO31_PROGRIGA, "
            "DO31_QTA1CONS) SELECT 1, DO11_NUMREG_CO99, j, 0 FROM DO11_DOCTESTATA, l;"
            "COMMIT;");
}

/// Rows in every table of a database file or server database.
long TotalRows(const fs::path& file) {
    if (kvad::db::IsPostgresUri(file.string())) {
        return kvad::db::CountRowsInUserTables(*kvad::db::OpenPostgres(file.string()));
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        throw std::runtime_error("cannot open " + file.string());
    }
    std::vector<std::string> tables;
    sqlite3_exec(
        db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'",
        [](void* out, int, char** values, char**) {
            static_cast<std::vector<std::string>*>(out)->emplace_back(values[0]);
            return 0;
        },
        &tables, nullptr);
    long rows = 0;
    for (const std::string& table : tables) {
        sqlite3_exec(
            db, ("SELECT COUNT(*) FROM \"" + table + "\"").c_str(),
            [](void* out, int, char** values, char**) {
                *static_cast<long*>(out) += std::atol(values[0]);
                return 0;
            },
            &rows, nullptr);
    }
    sqlite3_close(db);
    return rows;
}

// ---------------------------------------------------------------------------------------------
// One size, in a process of its own

/// What a size's run found; handed from the child to the parent as bytes through a pipe.
struct Figures {
    int documents = 0;
    int registered = 0;  ///< documents in the register before the run
    bool server = false; ///< on a PostgreSQL database
    InboxCounts inbox;
    Timing setup;
    Timing fetch, list, process, import, floor;
    Timing rowsFloor; ///< the floor that writes the job's own rows
    long listLines = 0;
    // What the job did.
    long listed = 0;
    long fetched = 0;
    long notLoaded = 0;
    long chains = 0;
    long batches = 0; ///< batches of chains the job processed and imported
    std::size_t chainsPerBatch = 0;
    int ready = 0, warning = 0, error = 0, unverified = 0, other = 0;
    long importChains = 0, imported = 0, failedChains = 0, ordersMade = 0, closed = 0;
    long componentRows = 0;
    long floorRows = 0;
    long floorLines = 0;
    long rowsFloorRows = 0;
    char failure[400] = {};
};

void Fail(Figures& f, const std::string& what) {
    if (f.failure[0] == '\0') {
        std::snprintf(f.failure, sizeof f.failure, "%s", what.c_str());
    }
}

/// Adds up each phase's wall and CPU time over the batches, and its peak memory (the highest of
/// its batches, each measured from a fresh start of the peak).
class PhaseMeter final : public nsoapp::PhaseWatch {
  public:
    PhaseMeter(Timing& process, Timing& import) : process_(process), import_(import) {}
    void Begin(nsoapp::JobPhase /*phase*/) override {
        bench::ResetPeak();
        wall_ = Clock::now();
        cpu_ = bench::CpuMs();
    }
    void End(nsoapp::JobPhase phase) override {
        Timing& t = phase == nsoapp::JobPhase::Process ? process_ : import_;
        t.wallMs += MsSince(wall_);
        t.cpuMs += bench::CpuMs() - cpu_;
        t.peakMb = std::max(t.peakMb, bench::PeakSinceResetMb());
    }

  private:
    Timing& process_;
    Timing& import_;
    Clock::time_point wall_;
    double cpu_ = 0;
};

/// Runs `nso list --all` on the database as a user runs it; its output is counted and dropped.
void TimeList(const fs::path& dir, const fs::path& database, Figures& f) {
    const fs::path out = dir / "list.out";
    const fs::path settings = dir / "list.toml";
    const std::ofstream empty(settings); // every setting from the options
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (std::freopen(out.c_str(), "w", stdout) == nullptr) {
            std::_Exit(126);
        }
        execl(KVAD_NSO_BINARY, KVAD_NSO_BINARY, "--settings", settings.c_str(), "--db",
              database.c_str(), "--cache-dir", (dir / "cache").c_str(), "list", "--all", nullptr);
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    f.list.wallMs = MsSince(start);
    f.list.cpuMs = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    f.list.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Fail(f, "nso list --all failed (status " + std::to_string(status) + ")");
        return;
    }
    std::ifstream listed(out);
    std::string line;
    while (std::getline(listed, line)) {
        ++f.listLines;
    }
}

/// The inbox's documents, in name order.
std::vector<fs::path> InboxFiles(const std::string& inbox) {
    std::vector<fs::path> files;
    for (const auto& entry :
         fs::directory_iterator(fs::path(inbox) / (std::string("IT") + kCompanyVat))) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Loads the inbox's documents with a floor loader, timed.
template <class Loader> void LoadFloor(Figures& f, Loader& loader, const std::string& inbox) {
    const std::vector<fs::path> files = InboxFiles(inbox);
    bench::ResetPeak();
    f.floor = Time([&] {
        for (const fs::path& path : files) {
            f.floorLines += loader.Load(ReadFile(path), path.filename().string());
        }
    });
    f.floor.peakMb = bench::PeakSinceResetMb();
    if (f.floorLines != f.inbox.lines) {
        Fail(f, "the floor stored " + std::to_string(f.floorLines) + " lines of " +
                    std::to_string(f.inbox.lines));
    }
}

/// The floor on the inbox's documents: into a new database file, or into server database
/// `serverName` when one is named.
void TimeFloor(Figures& f, const fs::path& dir, const std::string& inbox,
               const std::string& serverName) {
    if (!serverName.empty()) {
        const std::string floorUri = NewServerDatabase(serverName);
        const long floorBefore = TotalRows(floorUri);
        {
            bench::PgFloorLoader loader(floorUri);
            LoadFloor(f, loader, inbox);
        }
        f.floorRows = TotalRows(floorUri) - floorBefore;
        DropServerDatabase(serverName);
        return;
    }
    const fs::path floorFile = dir / "floor.db";
    NewDatabase(floorFile);
    const long floorBefore = TotalRows(floorFile);
    {
        bench::FloorLoader loader(floorFile.string());
        LoadFloor(f, loader, inbox);
    }
    f.floorRows = TotalRows(floorFile) - floorBefore;
}

/// Loads the inbox's documents with a floor by the rows, timed: each parsed and the rows the job
/// added for it written, one transaction each; the floor must write every row the job added.
template <class Loader> void LoadRowsFloor(Figures& f, Loader& loader, const std::string& inbox) {
    const std::vector<fs::path> files = InboxFiles(inbox);
    if (loader.Documents() != files.size()) {
        Fail(f, "the job registered " + std::to_string(loader.Documents()) + " documents of " +
                    std::to_string(files.size()));
        return;
    }
    bench::ResetPeak();
    for (std::size_t i = 0; i < files.size(); ++i) {
        f.rowsFloorRows += loader.Load(i, ReadFile(files[i]), f.rowsFloor);
    }
    f.rowsFloor.peakMb = bench::PeakSinceResetMb();
    if (f.rowsFloorRows != f.componentRows) {
        Fail(f, "the floor by the rows wrote " + std::to_string(f.rowsFloorRows) + " rows of the " +
                    std::to_string(f.componentRows) + " the job added");
    }
}

/// The floor by the rows on the same documents, into a new database file: the rows the job added
/// for each (those above `before` in the job's database file).
void TimeRowsFloor(Figures& f, const fs::path& dir, const std::string& jobDatabase,
                   const std::map<std::string, sqlite3_int64>& before, const std::string& inbox) {
    const fs::path floorFile = dir / "rows_floor.db";
    NewDatabase(floorFile);
    bench::RowsFloor loader(jobDatabase, before, floorFile.string());
    LoadRowsFloor(f, loader, inbox);
}

/// The same on the server, into new server database `serverName`: the rows the job added to its
/// server database `jobUri` (those whose key `before` does not hold).
void TimeServerRowsFloor(Figures& f, const std::string& jobUri, const bench::PgKeys& before,
                         const std::string& inbox, const std::string& serverName) {
    const std::string floorUri = NewServerDatabase(serverName);
    {
        bench::PgRowsFloor loader(jobUri, before, floorUri);
        LoadRowsFloor(f, loader, inbox);
    }
    DropServerDatabase(serverName);
}

/// The main job on a fresh inbox of `documents` orders, into a register of `registered`
/// documents; with `floor`, the floor on the same documents.
Figures RunSize(const fs::path& dir, int documents, int lines, int registered, bool floor,
                std::size_t chainsPerBatch, bool server) {
    Figures f;
    f.documents = documents;
    f.registered = registered;
    f.chainsPerBatch = chainsPerBatch;
    f.server = server;
    fs::create_directories(dir);
    nsoapp::Settings settings;
    const std::string serverName = "kvad_pipeline_" + std::to_string(getpid());
    settings.database = (dir / "nso.db").string();
    settings.companyVat = kCompanyVat;
    settings.inbox = (dir / "inbox").string();
    settings.cacheDir = (dir / "cache").string();

    const kvad::generator::InboxPlan plan = Plan(documents, lines);
    f.setup = Time([&] {
        if (server) {
            settings.database = NewServerDatabase(serverName);
        } else {
            NewDatabase(settings.database);
        }
        LoadMasterData(*OpenBenchDatabase(settings.database), plan);
        if (registered > 0 && !server) {
            Populate(settings.database, registered, lines);
        }
    });
    f.inbox = WriteBenchInbox(settings.inbox, plan);
    const long rowsBefore = TotalRows(settings.database);
    const std::map<std::string, sqlite3_int64> highestBefore =
        server ? std::map<std::string, sqlite3_int64>{} : bench::HighestRowids(settings.database);
    const bench::PgKeys keysBefore =
        server ? bench::PgExistingKeys(settings.database) : bench::PgKeys{};

    {
        nsoapp::Session session = nsoapp::OpenSession(settings);
        nsoapp::RequireWritable(session, settings);
        nsoapp::RequireConfiguration(session, settings);
        // As `nso run` holds them.
        const nsoapp::WorkLock retrieval = nsoapp::LockCompany(
            settings.database, settings.company, kvad::db::CompanyWork::Retrieval, "pipeline", 10);
        const nsoapp::WorkLock clerk = nsoapp::LockCompany(
            settings.database, settings.company, kvad::db::CompanyWork::Clerk, "pipeline", 10);
        nsoapp::FetchOutcome fetched;
        nsoapp::ProgressView fetching("", nsoapp::ProgressView::Channel::Quiet);
        bench::ResetPeak();
        bench::ProfileWindow(true);
        f.fetch = Time([&] { fetched = nsoapp::FetchDocuments(session, settings, fetching); });
        f.fetch.peakMb = bench::PeakSinceResetMb();
        TimeList(dir, settings.database, f);
        PhaseMeter meter(f.process, f.import);
        const nsoapp::BatchedOutcome batched =
            nsoapp::ProcessAndImport(session, false, chainsPerBatch, {}, &meter);
        bench::ProfileWindow(false);
        const nsoapp::ProcessOutcome& processed = batched.processed;
        const nsoapp::ImportOutcome& imported = batched.imported;
        f.batches = static_cast<long>(batched.batches);
        f.listed = fetched.report.listed;
        f.fetched = static_cast<long>(fetched.report.registered.size());
        f.notLoaded = static_cast<long>(fetched.NotLoaded());
        f.chains = static_cast<long>(processed.chains);
        f.ready = processed.tally.ready;
        f.warning = processed.tally.warning;
        f.error = processed.tally.error;
        f.unverified = processed.tally.unverified;
        f.other = processed.tally.other;
        f.importChains = imported.totals.chains;
        f.imported = imported.totals.imported;
        f.failedChains = imported.totals.failed;
        f.ordersMade = imported.totals.ordersMade;
        f.closed = imported.totals.closed;
        for (const nsoapp::OrderToReview& order : processed.toReview) {
            std::fprintf(stderr, "left for a clerk: %s\n",
                         kvad::read_model::Title(order.document).c_str());
            for (const kvad::read_model::Message& m : order.errors) {
                std::fprintf(stderr, "  %d %s = %s: %s\n", m.code, m.field.c_str(), m.value.c_str(),
                             m.text.c_str());
            }
            break; // one is enough to see why
        }
        for (const nsoapp::ChainFailure& failure : imported.failures) {
            std::fprintf(stderr, "import of the chain of %s failed: %s\n",
                         kvad::read_model::Title(failure.latest).c_str(), failure.reason.c_str());
            break;
        }
        if (!processed.stopped.empty() || !imported.stopped.empty()) {
            Fail(f, "stopped: " + processed.stopped + imported.stopped);
        }
    }
    f.componentRows = TotalRows(settings.database) - rowsBefore;

    const long expectedChains = f.inbox.orders;
    if (f.fetched != documents || f.notLoaded != 0) {
        Fail(f, std::to_string(f.fetched) + " of " + std::to_string(documents) +
                    " documents registered, " + std::to_string(f.notLoaded) + " not loaded");
    }
    if (f.error != 0 || f.unverified != 0 || f.ready + f.warning != documents) {
        Fail(f, "not every document passed verification");
    } else if (f.warning != 0) {
        // The generated orders verify without a message: a warning is a fault of the generator
        // or of the job, and its log rows would be measured as the job's work.
        Fail(f, std::to_string(f.warning) + " of " + std::to_string(documents) +
                    " documents were reviewed with warnings");
    }
    if (f.chains != expectedChains || f.importChains != expectedChains ||
        f.imported != expectedChains || f.failedChains != 0) {
        Fail(f, std::to_string(f.imported) + " of " + std::to_string(expectedChains) +
                    " chains imported");
    }
    if (f.listLines < documents + registered) {
        Fail(f, "nso list --all printed " + std::to_string(f.listLines) + " lines");
    }

    if (floor) {
        TimeFloor(f, dir, settings.inbox, server ? serverName + "_floor" : std::string());
        if (server) {
            TimeServerRowsFloor(f, settings.database, keysBefore, settings.inbox,
                                serverName + "_rows_floor");
        } else {
            TimeRowsFloor(f, dir, settings.database, highestBefore, settings.inbox);
        }
    }
    if (server) {
        DropServerDatabase(serverName);
    }
    return f;
}

/// Runs one size in a child process and returns its figures (exits when the child fails).
/// With `here`, runs it in this process instead, for a profiler that follows one process.
Figures InChild(const fs::path& dir, int documents, int lines, int registered, bool floor,
                std::size_t chainsPerBatch, bool here, bool server = false) {
    if (here) {
        const Figures f = RunSize(dir, documents, lines, registered, floor, chainsPerBatch, server);
        fs::remove_all(dir);
        return f;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        int status = 0;
        try {
            const Figures f =
                RunSize(dir, documents, lines, registered, floor, chainsPerBatch, server);
            status = write(fds[1], &f, sizeof f) == static_cast<ssize_t>(sizeof f) ? 0 : 2;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "pipeline (%d orders, %d registered): %s\n", documents, registered,
                         error.what());
            status = 1;
        }
        std::fflush(stderr);
        std::_Exit(status);
    }
    close(fds[1]);
    Figures f;
    const ssize_t got = read(fds[0], &f, sizeof f);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    fs::remove_all(dir);
    if (got != static_cast<ssize_t>(sizeof f) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the run of %d orders failed\n", documents);
        fs::remove_all(dir.parent_path()); // the run's folder: nothing else needs it
        std::exit(1);
    }
    return f;
}

// ---------------------------------------------------------------------------------------------
// Output

const char* Mark(bool met) {
    return met ? "met" : "MISSED";
}

/// A phase's row; its peak memory when `peak` (the process's peak so far after the phase).
void PrintPhase(const char* name, const Timing& t, int orders, bool peak = true) {
    std::printf("  %-30s %9.2f %10.1f %10.3f %12.3f", name, t.wallMs / 1000.0,
                orders * 1000.0 / t.wallMs, t.wallMs / orders, t.cpuMs / orders);
    if (peak) {
        std::printf(" %11.0f", t.peakMb);
    }
    std::printf("\n");
}

Timing EndToEnd(const Figures& f) {
    return {f.fetch.wallMs + f.process.wallMs + f.import.wallMs,
            f.fetch.cpuMs + f.process.cpuMs + f.import.cpuMs};
}

void PrintOutcome(const Figures& f) {
    std::printf("  fetched %ld of %ld listed, %ld not loaded; %ld chains processed, documents "
                "reviewed: %d ready, %d with warnings, %d with errors, %d not verified",
                f.fetched, f.listed, f.notLoaded, f.chains, f.ready, f.warning, f.error,
                f.unverified);
    if (f.other > 0) {
        std::printf(", %d left alone", f.other);
    }
    std::printf("\n  imported %ld of %ld chains (%ld failed): %ld ERP orders made, %ld no longer "
                "to be fulfilled\n",
                f.imported, f.importChains, f.failedChains, f.ordersMade, f.closed);
}

void PrintSize(const Figures& f, int lines) {
    const int n = f.documents;
    std::printf("\n%s%d documents of %d lines (%.1f KB each): %d orders, %d revisions, %d "
                "cancellations\n",
                f.server ? "PostgreSQL: " : "SQLite: ", n, lines, f.inbox.kbPerOrder,
                f.inbox.orders, f.inbox.revisions, f.inbox.cancellations);
    std::printf("  %-30s %9s %10s %10s %12s %11s\n", "phase", "seconds", "orders/s", "ms/order",
                "CPU ms/order", "peak RSS MB");
    PrintPhase("fetch", f.fetch, n);
    PrintPhase("list (nso list --all)", f.list, n);
    PrintPhase("process", f.process, n);
    PrintPhase("import", f.import, n);
    const Timing e2e = EndToEnd(f);
    PrintPhase("end to end (fetch+proc+import)", e2e, n, false);
    // The target is the floor that parses the same documents and writes the job's own rows, one
    // transaction per document; the floor of the staging rows alone (41 of the job's 107 rows
    // per order, no XML stored) is a stricter reference beside it. Each ratio has its own
    // verdict: the wall time is the target, the CPU time (which counts the job's second-core
    // threads, and not the floor's waits on the disk) is shown beside it.
    const bool byRows = f.rowsFloor.wallMs > 0;
    if (byRows) {
        PrintPhase("floor by the job's rows", f.rowsFloor, n);
    }
    PrintPhase(f.server ? "floor of the staging rows (PG)" : "floor of the staging rows", f.floor,
               n);
    const Timing& floor = byRows ? f.rowsFloor : f.floor;
    const double perSecond = n * 1000.0 / e2e.wallMs;
    const double ratio = e2e.wallMs / floor.wallMs;
    const double cpuRatio = e2e.cpuMs / floor.cpuMs;
    std::printf("  end to end %.1f orders/s (target %.0f: %s); %.1fx the floor's wall time "
                "(target within %.0fx: %s), %.1fx its CPU time (within %.0fx: %s)%s\n",
                perSecond, kTargetPerSecond, Mark(perSecond >= kTargetPerSecond), ratio,
                kTargetRatio, Mark(ratio <= kTargetRatio), cpuRatio, kTargetRatio,
                Mark(cpuRatio <= kTargetRatio), byRows ? "" : " (the floor of the staging rows)");
    if (byRows) {
        std::printf("  against the floor of the staging rows only: %.1fx its wall time, %.1fx its "
                    "CPU time\n",
                    e2e.wallMs / f.floor.wallMs, e2e.cpuMs / f.floor.cpuMs);
    }
    PrintOutcome(f);
    std::printf("  processed and imported in %ld batch(es) of at most %zu chains\n", f.batches,
                f.chainsPerBatch);
    std::printf("  rows written: %ld by the job (%.0f per order), %ld by the floor of the staging "
                "rows (%.0f per order)",
                f.componentRows, static_cast<double>(f.componentRows) / n, f.floorRows,
                static_cast<double>(f.floorRows) / n);
    if (f.rowsFloor.wallMs > 0) {
        std::printf(", %ld by the floor by the job's rows", f.rowsFloorRows);
    }
    std::printf("\n");
    std::printf(
        "  nso list --all printed %ld lines; peak RSS is each phase's own (its highest batch)\n",
        f.listLines);
    if (f.failure[0] != '\0') {
        std::printf("  FAILED: %s\n", f.failure);
    }
}

/// The size `sqlite` ran at, again on a server database, printed with both ratios; true when it
/// failed.
bool RunOnServerBeside(const Figures& sqlite, const fs::path& dir, int lines, std::size_t chains,
                       bool here) {
    const int n = sqlite.documents;
    const Figures pg =
        InChild(dir / ("server-" + std::to_string(n)), n, lines, 0, true, chains, here, true);
    PrintSize(pg, lines);
    if (pg.rowsFloor.wallMs > 0 && sqlite.rowsFloor.wallMs > 0) {
        std::printf("  %d orders: PostgreSQL %.1fx its floor by the job's rows, SQLite %.1fx its "
                    "floor; PostgreSQL end to end %.1fx SQLite's, its floor %.1fx SQLite's\n",
                    n, EndToEnd(pg).wallMs / pg.rowsFloor.wallMs,
                    EndToEnd(sqlite).wallMs / sqlite.rowsFloor.wallMs,
                    EndToEnd(pg).wallMs / EndToEnd(sqlite).wallMs,
                    pg.rowsFloor.wallMs / sqlite.rowsFloor.wallMs);
    }
    std::printf("  against the floors of the staging rows: PostgreSQL %.1fx, SQLite %.1fx; "
                "PostgreSQL's floor %.1fx SQLite's\n",
                EndToEnd(pg).wallMs / pg.floor.wallMs,
                EndToEnd(sqlite).wallMs / sqlite.floor.wallMs,
                pg.floor.wallMs / sqlite.floor.wallMs);
    return pg.failure[0] != '\0';
}

/// The cluster scripts/pg_cluster.sh started (KVAD_PG_URI), "" without one.
std::string EnvironmentServer() {
    const char* uri = std::getenv("KVAD_PG_URI");
    return uri != nullptr ? uri : "";
}

/// Each inbox size on SQLite, and beside it on the server when one is given; true when one failed.
bool RunSizes(const std::vector<int>& sizes, const fs::path& dir, int lines, std::size_t chains,
              bool here) {
    bool failed = false;
    for (const int n : sizes) {
        const Figures f =
            InChild(dir / ("size-" + std::to_string(n)), n, lines, 0, true, chains, here);
        PrintSize(f, lines);
        failed = failed || f.failure[0] != '\0';
        if (!gServer.empty()) {
            failed = RunOnServerBeside(f, dir, lines, chains, here) || failed;
        }
    }

    return failed;
}

std::vector<int> Numbers(const std::string& list) {
    std::vector<int> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        out.push_back(std::atoi(list.substr(start, comma - start).c_str()));
        start = comma + 1;
    }
    return out;
}

/// The cost per order as the register grows: a batch into each register size; true when one
/// failed.
bool RunRegisters(const std::vector<int>& registers, int batch, const fs::path& dir, int lines,
                  std::size_t chains, bool here) {
    bool failed = false;
    std::printf("\nCost per order as the register grows: %d new documents of %d lines fetched, "
                "processed and imported into a register of earlier documents (processed, each "
                "with its ERP order)\n",
                batch, lines);
    std::printf("%10s %9s %9s %9s %9s %10s %12s %9s %9s\n", "registered", "fetch", "process",
                "import", "e2e", "e2e ord/s", "list --all", "peak RSS", "setup");
    std::printf("%10s %9s %9s %9s %9s %10s %12s %9s %9s\n", "", "ms/order", "ms/order", "ms/order",
                "ms/order", "", "s", "MB", "s");
    for (const int k : registers) {
        const Figures f =
            InChild(dir / ("register-" + std::to_string(k)), batch, lines, k, false, chains, here);
        const Timing e2e = EndToEnd(f);
        std::printf("%10d %9.3f %9.3f %9.3f %9.3f %10.1f %12.2f %9.0f %9.1f\n", k,
                    f.fetch.wallMs / batch, f.process.wallMs / batch, f.import.wallMs / batch,
                    e2e.wallMs / batch, batch * 1000.0 / e2e.wallMs, f.list.wallMs / 1000.0,
                    f.import.peakMb, f.setup.wallMs / 1000.0);
        if (f.failure[0] != '\0') {
            PrintOutcome(f);
            std::printf("  FAILED: %s\n", f.failure);
            failed = true;
        }
    }
    return failed;
}

/// Without sizes, the full run; with sizes, a register of 1000 and a batch of at most the first
/// size unless they were given.
void Defaults(std::vector<int>& sizes, std::vector<int>& registers, int& batch, bool registersGiven,
              bool batchGiven) {
    if (sizes.empty()) {
        sizes = {1000, 10000};
        return;
    }
    registers = registersGiven ? registers : std::vector<int>{1000};
    batch = batchGiven ? batch : std::min(batch, sizes.front());
}

/// True when the sizes, lines and batch are above 0 and no register size is below it.
bool Positive(const std::vector<int>& sizes, int lines, int batch,
              const std::vector<int>& registers) {
    return lines >= 1 && batch >= 1 &&
           std::none_of(sizes.begin(), sizes.end(), [](int n) { return n < 1; }) &&
           std::none_of(registers.begin(), registers.end(), [](int k) { return k < 0; });
}

int RunBench(int argc, char** argv) {
    std::vector<int> sizes;
    std::vector<int> registers = {1000, 10000, 100000};
    int lines = 20;
    int batch = 500;
    std::size_t chains = nsoapp::kDefaultBatchChains;
    bool registersGiven = false;
    bool batchGiven = false;
    bool here = false;
    gServer = EnvironmentServer(); // --pg overrides it
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--lines" || arg == "--batch" || arg == "--registers" || arg == "--chains") &&
            i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--chains") {
                chains = static_cast<std::size_t>(std::max(1, std::atoi(value.c_str())));
            } else if (arg == "--lines") {
                lines = std::atoi(value.c_str());
            } else if (arg == "--batch") {
                batch = std::atoi(value.c_str());
                batchGiven = true;
            } else {
                // "none": the sizes only (for a profiler that should see one job).
                registers = value == "none" ? std::vector<int>{} : Numbers(value);
                registersGiven = true;
            }
        } else if (arg == "--pg" && i + 1 < argc) {
            gServer = argv[++i];
        } else if (arg == "--here") {
            here = true;
        } else if (!arg.empty() && std::isdigit(static_cast<unsigned char>(arg[0])) != 0) {
            sizes.push_back(std::atoi(arg.c_str()));
        } else {
            std::fprintf(stderr, "usage: pipeline [--lines L] [--batch B] [--chains C] "
                                 "[--registers K,...|none] [--here] [--pg URI] [ORDERS...]\n");
            return 2;
        }
    }
    Defaults(sizes, registers, batch, registersGiven, batchGiven);
    if (!Positive(sizes, lines, batch, registers)) {
        std::fprintf(stderr, "pipeline: sizes, lines and batch must be above 0\n");
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("kvad-pipeline-" + std::to_string(getpid()));

    std::printf("Main job (nso run's phases) on generated orders of %d buyers; a tenth of the "
                "documents revise an earlier chain, one in twenty cancel one\n",
                kBuyers);
    std::printf("Targets: %.0f orders/s end to end; end to end within %.0fx of the floor (the same "
                "documents parsed with libxml2 and the job's own rows inserted, one transaction "
                "per document)\n",
                kTargetPerSecond, kTargetRatio);
    bool failed = RunSizes(sizes, dir, lines, chains, here);

    if (!registers.empty()) {
        failed = RunRegisters(registers, batch, dir, lines, chains, here) || failed;
    }
    fs::remove_all(dir);
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    return bench::Main([&] { return RunBench(argc, argv); });
}
