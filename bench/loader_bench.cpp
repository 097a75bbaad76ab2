// Order loading figures: documents loaded per second for orders of 10, 100 and 1,000 lines,
// each load in one transaction, with the time split between parsing, XPath and database writes,
// the time per line, which must stay flat as orders grow (linear loading), and the ratio to the
// floor (bench/floor_loader.h: parse and insert the same rows) measured in the same run.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "floor_loader.h"
#include "frame/nso_state.h"
#include "generator/ubl_order.h"
#include "host/stand_ins.h"
#include "sqlite/sqlite_database.h"
#include "ubl/staging_writer.h"
#include "ubl/xml_loader.h"
#include "xml/xml_document.h"

namespace {

using bench::Clock;
using bench::MsSince;
namespace nso = kvad::nso;

// Parses the order and registers its namespaces for XPath, as the loader does.
std::unique_ptr<kvad::xml::Document> Parse(const std::string& xml) {
    std::string reason;
    auto document = kvad::xml::Document::Load(xml, reason);
    std::string declarations;
    for (const auto& child : document->Root().ChildNodes()) {
        std::int32_t counter = 0;
        nso::RaccogliNamespace(declarations, child, counter);
    }
    document->SetSelectionNamespaces(declarations);
    return document;
}

// The single-node queries the writer makes for one document, without the database.
double XPathMs(nso::NsoState& s, const std::string& xml) {
    auto columns = [&](const std::string& table) {
        std::vector<std::string> paths;
        auto list = nso::GetElencoCampiTabella(s, table);
        for (list->MoveFirst(); !list->Eof(); list->MoveNext()) {
            std::string name = list->Value("COLUMN_NAME").Text().substr(5);
            paths.push_back(nso::ParseColumnName(s, name));
        }
        return paths;
    };
    const auto header = columns("IE92_NSOTESTATAXML");
    const auto lines = columns("IE94_NSOCORPOXML");
    const auto allowances = columns("IE9A_NSOCORPOSCONTIXML");
    const auto document = Parse(xml);
    const auto start = Clock::now();
    const auto order = nso::CercaNodoFiglio(s, document->Root(), "Order");
    for (const auto& path : header) {
        (void)order.SelectSingleNode(path);
    }
    for (const auto& line : order.SelectNodes("cac:OrderLine")) {
        for (const auto& path : lines) {
            (void)line.SelectSingleNode(path);
        }
        const auto item = nso::CercaNodoFiglio(s, line, "LineItem");
        for (const auto& charge : item.SelectNodes("cac:AllowanceCharge")) {
            for (const auto& path : allowances) {
                (void)charge.SelectSingleNode(path);
            }
        }
    }
    return MsSince(start);
}

} // namespace

namespace {

int RunBench() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kvad-loader-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    kvad::host::HostConfig config;
    config.cacheDir = (dir / "cache").string();
    auto host = kvad::host::RegisterStandIns(config);
    auto db = kvad::db::OpenSqlite((dir / "bench.db").string());
    kvad::db::ApplySchema(*db);
    nso::NsoState s;
    nso::CreateFrameworkObjects(s);
    s.Connessione = db;
    s.CodiceDitta = 1;
    s.ActiveInterface = host;

    const auto floorFile = dir / "floor.db";
    kvad::db::ApplySchema(*kvad::db::OpenSqlite(floorFile.string()));
    bench::FloorLoader floor(floorFile.string());
    int floorDocuments = 0;

    std::printf("Order loading (GetOrderFromXML, reload on, one transaction per load), one header "
                "allowance and one allowance per line\n");
    std::printf("%7s %9s %10s %9s %9s %9s %12s %10s %8s\n", "lines", "docs/s", "ms/doc", "parse ms",
                "xpath ms", "db ms", "us per line", "floor ms", "x floor");
    for (const int lines : {10, 100, 1000}) {
        const std::string xml = kvad::generator::OrderXml(lines);
        std::string quoted;
        for (char c : xml) {
            quoted += c == '\'' ? std::string("''") : std::string(1, c);
        }
        kvad::db::ExecuteNativeScript(
            *db, "INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_IDORD, "
                 "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML) VALUES (1, 0, 'B" +
                     std::to_string(lines) + "', '2024-03-05 00:00:00', 'UFABCD', 0, '" + quoted +
                     "')");
        auto rs = db->Query("SELECT MAX(IE91_ID) FROM IE91_NSOFILES");
        const std::int32_t id = rs->Value(0).ToLong();
        const int repeats = lines >= 1000 ? 3 : lines >= 100 ? 10 : 50;

        const auto load = [&] {
            db->BeginTrans();
            nso::GetOrderFromXML(s, id, true);
            db->CommitTrans();
        };
        load(); // warm-up
        if (s.Stato != kvad::kaOK) {
            std::printf("load failed: %s\n", s.Errore.Text().c_str());
            return 1;
        }
        // Component and floor alternate, so that both see the same machine load.
        double total = 0;
        double floorMs = 0;
        for (int i = 0; i < repeats; ++i) {
            auto start = Clock::now();
            load();
            total += MsSince(start);
            // The floor registers each load as a document of its own.
            const std::string number = "F" + std::to_string(++floorDocuments);
            const std::string floorXml = kvad::generator::OrderXml(lines, number);
            start = Clock::now();
            (void)floor.Load(floorXml, number);
            floorMs += MsSince(start);
        }
        total /= repeats;
        floorMs /= repeats;

        auto start = Clock::now();
        for (int i = 0; i < repeats; ++i) {
            (void)Parse(xml);
        }
        const double parse = MsSince(start) / repeats;
        double xpath = 0;
        for (int i = 0; i < repeats; ++i) {
            xpath += XPathMs(s, xml);
        }
        xpath /= repeats;
        const double dbMs = total - parse - xpath;
        std::printf("%7d %9.1f %10.2f %9.2f %9.2f %9.2f %12.1f %10.2f %7.1fx\n", lines,
                    1000.0 / total, total, parse, xpath, dbMs, total * 1000.0 / lines, floorMs,
                    total / floorMs);
    }
    std::printf("db ms = total - parse - xpath: catalogue reads, deletes, inserts and the "
                "recordsets around them.\n");
    s.Connessione.reset();
    db.reset();
    std::filesystem::remove_all(dir);
    return 0;
}

} // namespace

int main() {
    return bench::Main([] { return RunBench(); });
}
