// Fetch figures: the component's retrieval (RecuperaOrdiniNSO from the folder inbox: listing,
// registering, downloading, staging and linking each document, one transaction per document)
// against the floor (bench/floor_loader.h) on the same generated 20-line orders, in one run,
// with the ratio; then the component's cost per document as the register grows.
//
// Usage: fetch_bench [documents per round (1000)] [rounds (3)] [largest register (50000)]
// The rounds alternate component and floor so that both see the same machine load; each side's
// best round is reported, in wall time and in process CPU time.

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_clock.h"
#include "floor_loader.h"
#include "generator/ubl_order.h"
#include "host/stand_ins.h"
#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/recordset.h"
#include "platform/folder_inbox.h"
#include "sqlite/sqlite_database.h"

namespace {

namespace fs = std::filesystem;

constexpr int kLines = 20;
constexpr const char* kVat = "01234567890";

using bench::Time;
using bench::Timing;

Timing Best(const Timing& a, const Timing& b) {
    return {std::min(a.wallMs, b.wallMs), std::min(a.cpuMs, b.cpuMs), std::max(a.peakMb, b.peakMb)};
}

/// Writes `count` orders numbered from `first` into the company's inbox folder.
std::vector<fs::path> WriteInbox(const fs::path& inbox, int first, int count) {
    const fs::path folder = inbox / (std::string("IT") + kVat);
    fs::create_directories(folder);
    std::vector<fs::path> files;
    for (int i = first; i < first + count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "ord-%06d.xml", i);
        files.push_back(folder / name);
        std::ofstream(files.back(), std::ios::binary) << kvad::generator::OrderXml(
            kLines, "ORD-" + std::to_string(i), "UF" + std::to_string(i % 50));
    }
    return files;
}

std::shared_ptr<kvad::Connection> NewDatabase(const fs::path& file) {
    fs::remove(file);
    auto db = kvad::db::OpenSqlite(file.string());
    kvad::db::ApplySchema(*db);
    kvad::db::ExecuteNativeScript(
        *db, std::string("INSERT INTO CG18_DITTA (CG18_CODICE, CG18_PARTIVA) VALUES (1, '") + kVat +
                 "');INSERT INTO IE90_CONFIGNSO (IE90_DITTA_CG18, IE90_CODDOCUM_MG3G, "
                 "IE90_TRACCIATO_IE25) VALUES (1, 'OCL', 'STD')");
    return db;
}

/// Registers `documents` earlier documents, each staged with its header and lines.
void Populate(kvad::Connection& db, int documents) {
    const std::string n = std::to_string(documents);
    kvad::db::ExecuteNativeScript(
        db,
        "BEGIN;"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            n +
            ") INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_HUBID, IE91_IDORD, "
            "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML) SELECT 1, 0, "
            "'old-' || i || '.xml', 'OLD-' || i, '2024-02-01 00:00:00', 'UF' || (i % 50), 0, "
            "'<Order/>' FROM n;"
            "INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91, IE92_IssueDate, "
            "IE92_BuyerCustomerParty_Party_PartyName_Name) SELECT IE91_ID, IE91_ISSUEDATE, "
            "'ASL di prova' FROM IE91_NSOFILES;"
            "WITH RECURSIVE l(j) AS (SELECT 1 UNION ALL SELECT j + 1 FROM l WHERE j < " +
            std::to_string(kLines) +
            ") INSERT INTO IE94_NSOCORPOXML (IE94_ID_IE91, IE94_LineItem_ID, "
            "IE94_LineItem_Quantity, IE94_LineItem_Item_Name) SELECT IE91_ID, j, 1, 'Articolo' "
            "FROM IE91_NSOFILES, l;"
            "INSERT INTO IE9A_NSOCORPOSCONTIXML (IE9A_ID_IE91, IE9A_ID_IE94, IE9A_ChargeIndicator, "
            "IE9A_Amount) SELECT IE94_ID_IE91, IE94_ID, 'false', 1.25 FROM IE94_NSOCORPOXML;"
            "COMMIT;");
}

long Count(kvad::Connection& db, const std::string& sql) {
    auto rs = db.Query(sql);
    return rs->Value(0).ToLong();
}

/// The component's retrieval of every document in the inbox, each document in a transaction of
/// its own (committed when the next one starts, and at the end).
Timing ComponentFetch(const std::shared_ptr<kvad::Connection>& db,
                      const std::shared_ptr<kvad::host::StandInHost>& host, long expectedLines) {
    kvad::CLSIE_NSO nso;
    nso.SetConnessione(db);
    nso.SetCodiceDitta(1);
    nso.SetActiveInterface(host);
    bool open = false;
    nso.AddOnProgress(
        [&](kvad::kaenumTipoOperazione&, std::int32_t& current, std::int32_t&, std::string&) {
            if (current <= 0) {
                return;
            }
            if (open) {
                db->CommitTrans();
            }
            db->BeginTrans();
            open = true;
        });
    const long before = Count(*db, "SELECT COUNT(*) FROM IE94_NSOCORPOXML");
    const Timing timing = Time([&] {
        nso.RecuperaOrdiniNSO();
        if (open) {
            db->CommitTrans();
        }
    });
    const long staged = Count(*db, "SELECT COUNT(*) FROM IE94_NSOCORPOXML") - before;
    if (nso.Stato() != kvad::kaOK || staged != expectedLines) {
        std::fprintf(stderr, "fetch failed (state %d, %ld lines staged of %ld): %s\n",
                     static_cast<int>(nso.Stato()), staged, expectedLines,
                     nso.Errore().Text().c_str());
        std::exit(1);
    }
    return timing;
}

Timing FloorLoad(const fs::path& file, const std::vector<fs::path>& documents) {
    bench::FloorLoader floor(file.string());
    return Time([&] {
        for (const fs::path& path : documents) {
            std::ifstream in(path, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
            if (floor.Load(text, path.filename().string()) != kLines) {
                std::fprintf(stderr, "floor: %s lost lines\n", path.c_str());
                std::exit(1);
            }
        }
    });
}

} // namespace

namespace {

int RunBench(int argc, char** argv) {
    const int documents = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const int largest = argc > 3 ? std::atoi(argv[3]) : 50000;
    const fs::path dir =
        fs::temp_directory_path() / ("kvad-fetch-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    kvad::host::HostConfig config;
    config.cacheDir = (dir / "cache").string();
    config.companyVat = kVat;
    auto host = kvad::host::RegisterStandIns(config);
    kvad::platform::RegisterFolderInbox({(dir / "inbox").string(), "bench", "bench"});

    const std::vector<fs::path> files = WriteInbox(dir / "inbox", 1, documents);
    std::printf("Fetch of %d generated %d-line orders (%.1f KB each), best of %d alternating "
                "rounds\n",
                documents, kLines, static_cast<double>(fs::file_size(files.front())) / 1024.0,
                rounds);
    Timing component{1e300, 1e300};
    Timing floor{1e300, 1e300};
    for (int round = 0; round < rounds; ++round) {
        auto db = NewDatabase(dir / "component.db");
        component =
            Best(component, ComponentFetch(db, host, static_cast<long>(documents) * kLines));
        db.reset();
        NewDatabase(dir / "floor.db").reset();
        floor = Best(floor, FloorLoad(dir / "floor.db", files));
    }
    const auto perSecond = [&](double ms) { return documents * 1000.0 / ms; };
    std::printf("%-10s %10s %10s %12s %12s\n", "", "docs/s", "ms/doc", "CPU docs/s", "CPU ms/doc");
    std::printf("%-10s %10.1f %10.3f %12.1f %12.3f\n", "component", perSecond(component.wallMs),
                component.wallMs / documents, perSecond(component.cpuMs),
                component.cpuMs / documents);
    std::printf("%-10s %10.1f %10.3f %12.1f %12.3f\n", "floor", perSecond(floor.wallMs),
                floor.wallMs / documents, perSecond(floor.cpuMs), floor.cpuMs / documents);
    std::printf("%-10s %9.1fx %10s %11.1fx\n", "ratio", component.wallMs / floor.wallMs, "",
                component.cpuMs / floor.cpuMs);

    // Cost per document as the register grows: the same batch fetched into registers that
    // already hold earlier (staged) documents.
    const int batch = std::min(documents, 300);
    fs::remove_all(dir / "inbox");
    WriteInbox(dir / "inbox", 1, batch);
    std::printf("\nFetch of %d new documents into a register that already holds some\n", batch);
    std::printf("%11s %10s %12s\n", "registered", "ms/doc", "CPU ms/doc");
    for (const int registered : {0, largest / 5, largest}) {
        auto db = NewDatabase(dir / "growth.db");
        Populate(*db, registered);
        const Timing t = ComponentFetch(db, host, static_cast<long>(batch) * kLines);
        std::printf("%11d %10.3f %12.3f\n", registered, t.wallMs / batch, t.cpuMs / batch);
    }
    std::printf("peak RSS %.0f MB\n", bench::PeakMb());
    kvad::platform::UnregisterFolderInbox();
    fs::remove_all(dir);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return bench::Main([&] { return RunBench(argc, argv); });
}
