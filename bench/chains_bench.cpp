// Chain list figures. For 1,000, 10,000 and 100,000 registered documents in chains of one to
// four, each with its ~20 KB order XML and staged header: LeggiOrdini's time (the chain
// statement, the delivered-marker update and the recordset) and its time per document, which
// must stay near constant; then `nso list --all` run as a user runs it, with its wall time and
// peak memory (the list grouped by chain in one pass over the recordset and printed).
//
// Usage: chains_bench [largest number of documents (100000)] [order lines per document (18); 0
// stores a bare "<Order/>", to see what the list costs without the XML it carries]

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "generator/ubl_order.h"
#include "host/stand_ins.h"
#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"

namespace {

using bench::Clock;
using bench::MsSince;
namespace fs = std::filesystem;

/// Runs one statement with text values bound in order (an empty text binds Null).
class Inserter {
  public:
    Inserter(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
    }
    Inserter(const Inserter&) = delete;
    Inserter& operator=(const Inserter&) = delete;
    Inserter(Inserter&&) = delete;
    Inserter& operator=(Inserter&&) = delete;
    ~Inserter() { sqlite3_finalize(stmt_); }

    void Run(const std::vector<std::string>& values) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int index = static_cast<int>(i + 1);
            if (values[i].empty()) {
                sqlite3_bind_null(stmt_, index);
            } else {
                sqlite3_bind_text(stmt_, index, values[i].data(),
                                  static_cast<int>(values[i].size()), SQLITE_TRANSIENT);
            }
        }
        const int rc = sqlite3_step(stmt_);
        sqlite3_reset(stmt_);
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(sqlite3_errmsg(db_));
        }
    }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

std::string Date(int level, int chain) {
    char text[32];
    std::snprintf(text, sizeof text, "2024-%02d-1%d 00:00:00", level + 2, chain % 9);
    return text;
}

/// Registers the documents of generated chains: each with its staged header, an older document
/// now and then with an ERP order (delivered or not).
class ChainWriter {
  public:
    explicit ChainWriter(sqlite3* db)
        : document_(db, "INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, "
                        "IE91_ID_FW07, IE91_HUBID, IE91_IDORD, IE91_ISSUEDATE, "
                        "IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML, IE91_RIF_IDORD, "
                        "IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID, IE91_PROCESSATO, "
                        "IE91_GUID_DO11) VALUES (1, 0, 1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
          header_(db, "INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91, "
                      "IE92_BuyerCustomerParty_Party_PartyName_Name, "
                      "IE92_BuyerCustomerParty_Party_PostalAddress_CityName) VALUES "
                      "(last_insert_rowid(), ?, 'Torino')"),
          order_(db, "INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, "
                     "DO11_GUID, DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC, "
                     "DO11_ANNODOC) VALUES (1, ?, ?, 'OCL', 'A', ?, '2024-01-01 00:00:00', "
                     "2024)"),
          line_(db, "INSERT INTO DO31_DOCCORPOORD (DO31_DITTA_CG18, DO31_NUMREG_CO99, "
                    "DO31_PROGRIGA, DO31_QTA1CONS) VALUES (1, ?, 1, ?)") {}

    /// Document `level` of chain `chain`, of `length` documents, with orders of `lines` lines
    /// (0: a bare Order element).
    void Add(int chain, int level, int length, int lines) {
        const std::string endpoint = "UF" + std::to_string(chain % 50);
        const std::string id = "C" + std::to_string(chain) + "-" + std::to_string(level);
        std::string guid;
        if (level < length - 1 && (chain + level) % 5 == 0) {
            ++numreg_;
            guid = "G" + std::to_string(numreg_);
            order_.Run({std::to_string(numreg_), guid, std::to_string(numreg_)});
            line_.Run({std::to_string(numreg_), numreg_ % 2 == 0 ? "1" : "0"});
        }
        const std::string previous =
            level > 0 ? "C" + std::to_string(chain) + "-" + std::to_string(level - 1) : "";
        document_.Run({id + ".xml", id, Date(level, chain), endpoint, level > 0 ? "1" : "0",
                       lines > 0 ? kvad::generator::OrderXml(lines, id, endpoint) : "<Order/>",
                       previous, level > 0 ? Date(level - 1, chain) : "", level > 0 ? endpoint : "",
                       chain % 10 == 0 ? "1" : "", guid});
        header_.Run({"ASL " + std::to_string(chain % 50)});
    }

  private:
    Inserter document_;
    Inserter header_;
    Inserter order_;
    Inserter line_;
    int numreg_ = 0;
};

// Registers company 1 and `documents` documents in chains of one to four, each with its XML and
// staged header, a fifth of the older documents with an ERP order (half of them delivered) and a
// tenth of the chains already processed.
void Populate(const fs::path& file, int documents, int lines) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
        throw std::runtime_error("cannot open " + file.string());
    }
    sqlite3_exec(db,
                 "PRAGMA journal_mode = WAL; BEGIN; "
                 "INSERT OR IGNORE INTO CG18_DITTA (CG18_CODICE) VALUES (1)",
                 nullptr, nullptr, nullptr);
    {
        ChainWriter writer(db);
        int made = 0;
        for (int chain = 0; made < documents; ++chain) {
            const int length = std::min(chain % 4 + 1, documents - made);
            for (int level = 0; level < length; ++level, ++made) {
                writer.Add(chain, level, length, lines);
            }
        }
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

struct Run {
    double ms = 0;
    double peakMb = 0;
    long lines = 0;
};

/// Runs `nso list --all` on the database, its output counted and dropped.
Run ListAll(const fs::path& file, const fs::path& dir) {
    const fs::path out = dir / "list.out";
    const fs::path settings = dir / "nso.toml";
    std::fclose(std::fopen(settings.c_str(), "w")); // every setting from the options
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen(out.c_str(), "w", stdout);
        execl(KVAD_NSO_BINARY, KVAD_NSO_BINARY, "--settings", settings.c_str(), "--db",
              file.c_str(), "--cache-dir", (dir / "cache").c_str(), "list", "--all", nullptr);
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Run run;
    run.ms = MsSince(start);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "nso list failed (status %d) on %s\n", status, file.c_str());
        std::exit(1);
    }
    FILE* listed = std::fopen(out.c_str(), "r");
    for (int c = std::fgetc(listed); c != EOF; c = std::fgetc(listed)) {
        run.lines += c == '\n' ? 1 : 0;
    }
    std::fclose(listed);
    return run;
}

} // namespace

namespace {

int RunBench(int argc, char** argv) {
    const int largest = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int lines = argc > 2 ? std::atoi(argv[2]) : 18;
    const fs::path dir =
        fs::temp_directory_path() / ("kvad-chains-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    kvad::host::HostConfig config;
    config.cacheDir = (dir / "cache").string();
    auto host = kvad::host::RegisterStandIns(config);

    std::printf("Chain list on registered documents in chains of 1 to 4, %.1f KB of XML each\n",
                lines > 0
                    ? static_cast<double>(kvad::generator::OrderXml(lines, "C0-0", "UF0").size()) /
                          1024.0
                    : 0.0);
    std::printf("%9s %7s %15s %12s %15s %12s %9s\n", "documents", "rows", "LeggiOrdini all",
                "us/document", "nso list --all", "us/document", "peak RSS");
    for (int documents = 1000; documents <= largest; documents *= 10) {
        const fs::path file = dir / ("chains-" + std::to_string(documents) + ".db");
        kvad::db::ApplySchema(*kvad::db::OpenSqlite(file.string()));
        Populate(file, documents, lines);

        auto db = kvad::db::OpenSqlite(file.string());
        kvad::CLSIE_NSO object;
        object.SetConnessione(db);
        object.SetCodiceDitta(1);
        object.SetActiveInterface(host);
        kvad::kaenumTipoOrdiniProcessati which = kvad::kaOrdiniTutti;
        object.LeggiOrdini(which); // warm-up: statement caches and pages
        const int repeats = documents >= 100000 ? 2 : 5;
        auto start = Clock::now();
        for (int i = 0; i < repeats; ++i) {
            object.LeggiOrdini(which);
        }
        const double leggi = MsSince(start) / repeats;
        if (object.Stato() != kvad::kaOK) {
            std::printf("LeggiOrdini failed: %s\n", object.Errore().Text().c_str());
            return 1;
        }
        const long rows = object.RstOrdini()->RecordCount();
        object.SetRstOrdini(nullptr);
        object.SetConnessione(nullptr);
        db.reset();

        const Run list = ListAll(file, dir);
        std::printf("%9d %7ld %12.1f ms %12.2f %12.1f ms %12.2f %6.0f MB\n", documents, rows, leggi,
                    leggi * 1000.0 / documents, list.ms, list.ms * 1000.0 / documents, list.peakMb);
        if (list.lines < rows) {
            std::printf("nso list printed %ld lines for %ld rows\n", list.lines, rows);
            return 1;
        }
        if (std::getenv("KVAD_KEEP_BENCH_DB") == nullptr) {
            fs::remove(file);
        }
    }
    if (std::getenv("KVAD_KEEP_BENCH_DB") == nullptr) {
        fs::remove_all(dir);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return bench::Main([&] { return RunBench(argc, argv); });
}
