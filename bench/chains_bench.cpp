// Chain list figures. For 1,000, 10,000 and 100,000 registered documents in chains of one to
// four: LeggiOrdini's time (the chain statement, the delivered-marker update and the recordset)
// and its time per document, which the indexes must keep near constant. (The translated chain
// statement against a hand-written one is in tsql_chain_bench.)

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "host/stand_ins.h"
#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// "C<chain>-<level>": a document's order number.
std::string DocumentId(int chain, int level) {
    std::array<char, 32> text{};
    const int length = std::snprintf(text.data(), text.size(), "C%d-%d", chain, level);
    return {text.data(), static_cast<std::size_t>(length)};
}

// A document's issue date: a month per level, a day per chain.
std::string IssueDate(int chain, int level) {
    std::array<char, 32> text{};
    const int length =
        std::snprintf(text.data(), text.size(), "2024-%02d-1%d 00:00:00", level % 9 + 2, chain % 9);
    return {text.data(), static_cast<std::size_t>(length)};
}

// Registers `documents` documents in chains of one to four, a fifth of the older documents
// with an ERP order (half of them delivered) and a tenth of the chains already processed.
void Populate(kvad::Connection& db, int documents) {
    std::string sql = "BEGIN;";
    int made = 0;
    int chain = 0;
    int numreg = 0;
    while (made < documents) {
        const int length = std::min(chain % 4 + 1, documents - made);
        for (int level = 0; level < length; ++level, ++made) {
            const std::string id = DocumentId(chain, level);
            const std::string date = IssueDate(chain, level);
            std::string rif = "NULL, NULL, NULL";
            if (level > 0) {
                const std::string prev = DocumentId(chain, level - 1);
                const std::string prevDate = IssueDate(chain, level - 1);
                rif = "'" + prev + "', '" + prevDate + "', 'UF" + std::to_string(chain % 50) + "'";
            }
            std::string guid = "NULL";
            if (level < length - 1 && (chain + level) % 5 == 0) {
                ++numreg;
                guid = "'G" + std::to_string(numreg) + "'";
                sql += "INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, DO11_GUID, "
                       "DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC, DO11_ANNODOC) "
                       "VALUES (1, " +
                       std::to_string(numreg) + ", " + guid + ", 'OCL', 'A', " +
                       std::to_string(numreg) +
                       ", '2024-01-01 00:00:00', 2024);"
                       "INSERT INTO DO31_DOCCORPOORD (DO31_DITTA_CG18, DO31_NUMREG_CO99, "
                       "DO31_PROGRIGA, DO31_QTA1CONS) VALUES (1, " +
                       std::to_string(numreg) + ", 1, " + (numreg % 2 == 0 ? "1" : "0") + ");";
            }
            sql += "INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_ID_FW07, "
                   "IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML, "
                   "IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID, IE91_PROCESSATO, "
                   "IE91_GUID_DO11) VALUES (1, 0, 1, '" +
                   id + "', '" + date + "', 'UF" + std::to_string(chain % 50) + "', " +
                   (level > 0 ? "1" : "0") + ", '<Order/>', " + rif + ", " +
                   (chain % 10 == 0 ? "1" : "NULL") + ", " + guid + ");";
        }
        ++chain;
    }
    sql += "COMMIT;";
    kvad::db::ExecuteNativeScript(db, sql);
}

} // namespace

int main() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kvad-chains-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    kvad::host::HostConfig config;
    config.cacheDir = (dir / "cache").string();
    auto host = kvad::host::RegisterStandIns(config);

    std::printf("LeggiOrdini (to process) on registered documents in chains of 1 to 4\n");
    std::printf("%9s %7s %14s %12s\n", "documents", "rows", "LeggiOrdini", "us/document");
    for (const int documents : {1000, 10000, 100000}) {
        const auto file = dir / ("chains-" + std::to_string(documents) + ".db");
        auto db = kvad::db::OpenSqlite(file.string());
        kvad::db::ApplySchema(*db);
        Populate(*db, documents);
        kvad::CLSIE_NSO object;
        object.SetConnessione(db);
        object.SetCodiceDitta(1);
        object.SetActiveInterface(host);
        kvad::kaenumTipoOrdiniProcessati which = kvad::kaOrdiniDaProcessare;

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

        std::printf("%9d %7ld %11.1f ms %12.2f\n", documents, rows, leggi,
                    leggi * 1000.0 / documents);
        object.SetConnessione(nullptr);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
