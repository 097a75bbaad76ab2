// Chain list figures. For 1,000, 10,000 and 100,000 registered documents in chains of one to
// four: LeggiOrdini's time (the chain statement, the delivered-marker update and the recordset)
// and its time per document, which the indexes must keep near constant; and, side by side, the
// chain statement sent as T-SQL through the translation layer against the same query written by
// hand for SQLite.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "component/nso_state.h"
#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/host_standins.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/sqlite_database.h"
#include "workspace/ordini.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The chain statement written directly for SQLite: the same joins, the OUTER APPLY as a
// correlated scalar subquery, the leaf filter of "to process".
const char* const kHandWritten = R"(
DROP TABLE IF EXISTS temp.HAND_ORD;
CREATE TEMP TABLE HAND_ORD AS
WITH RECURSIVE
  CTE_RIF AS (
    SELECT IE91_DITTA_CG18, IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID
    FROM IE91_NSOFILES
    WHERE IE91_DITTA_CG18 = 1 AND IE91_RIF_IDORD IS NOT NULL AND IE91_XML IS NOT NULL),
  CTE_FOGLIE AS (
    SELECT IE91_NSOFILES.* FROM IE91_NSOFILES
    LEFT JOIN CTE_RIF
      ON CTE_RIF.IE91_RIF_IDORD = IE91_NSOFILES.IE91_IDORD
     AND CTE_RIF.IE91_RIF_ISSUEDATE = IE91_NSOFILES.IE91_ISSUEDATE
     AND CTE_RIF.IE91_RIF_ENDPOINTID = IE91_NSOFILES.IE91_ENDPOINTID
     AND CTE_RIF.IE91_DITTA_CG18 = IE91_NSOFILES.IE91_DITTA_CG18
    WHERE CTE_RIF.IE91_RIF_IDORD IS NULL AND IE91_NSOFILES.IE91_XML IS NOT NULL
      AND IE91_NSOFILES.IE91_DITTA_CG18 = 1 AND IFNULL(IE91_PROCESSATO, 0) = 0),
  CTE_ORDINAZIONI AS (
    SELECT IE91_IDORD || '#' || substr(IE91_ISSUEDATE, 1, 10) || '#' || IE91_ENDPOINTID AS ID_RIGA,
           NULL AS ID_PADRE, 0 AS LIVELLO, CTE_FOGLIE.* FROM CTE_FOGLIE
    UNION ALL
    SELECT F.IE91_IDORD || '#' || substr(F.IE91_ISSUEDATE, 1, 10) || '#' || F.IE91_ENDPOINTID,
           L.IE91_IDORD || '#' || substr(L.IE91_ISSUEDATE, 1, 10) || '#' || L.IE91_ENDPOINTID,
           1, F.* FROM CTE_FOGLIE AS L
    JOIN IE91_NSOFILES AS F ON F.IE91_ENDPOINTID = L.IE91_RIF_ENDPOINTID
     AND F.IE91_IDORD = L.IE91_RIF_IDORD AND F.IE91_ISSUEDATE = L.IE91_RIF_ISSUEDATE
     AND F.IE91_DITTA_CG18 = L.IE91_DITTA_CG18
    UNION ALL
    SELECT F.IE91_IDORD || '#' || substr(F.IE91_ISSUEDATE, 1, 10) || '#' || F.IE91_ENDPOINTID,
           C.ID_PADRE, C.LIVELLO + 1, F.* FROM CTE_ORDINAZIONI AS C
    JOIN IE91_NSOFILES AS F ON F.IE91_ENDPOINTID = C.IE91_RIF_ENDPOINTID
     AND F.IE91_IDORD = C.IE91_RIF_IDORD AND F.IE91_ISSUEDATE = C.IE91_RIF_ISSUEDATE
     AND F.IE91_DITTA_CG18 = C.IE91_DITTA_CG18
    WHERE C.LIVELLO > 0)
SELECT CASE WHEN LIVELLO = 0 THEN 0 ELSE 9 END AS TMP_IMG_SEL, 0 AS TMP_ELABORA,
       0 AS TMP_FLGNONPIUEV, 0 AS TMP_ESITO, 0 AS TMP_GESTIONE,
       CASE WHEN IE91_OPERAZIONE = 1 THEN 15 WHEN IE91_OPERAZIONE = 2 THEN 16 ELSE 99 END
           AS TMP_IMG_OPERAZIONE,
       CASE WHEN DO11_DOCTESTATA.DO11_NUMREG_CO99 IS NULL THEN 99 ELSE 8 END AS TMP_IMG_GESTIONEDOC,
       CTE_ORDINAZIONI.*,
       IFNULL((SELECT 13 FROM DO31_DOCCORPOORD
               WHERE DO31_DITTA_CG18 = DO11_DOCTESTATA.DO11_DITTA_CG18
                 AND DO31_NUMREG_CO99 = DO11_DOCTESTATA.DO11_NUMREG_CO99
                 AND DO31_QTA1CONS <> 0 LIMIT 1), 0) AS TMP_ORDINE_CONSEGNATO,
       DO11_NUMREG_CO99, DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC, DO11_ANNODOC,
       FW07_USERNAME,
       IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID,
       IE92_BuyerCustomerParty_Party_PartyName_Name,
       IE92_BuyerCustomerParty_Party_PostalAddress_StreetName,
       IE92_BuyerCustomerParty_Party_PostalAddress_CityName,
       IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone
FROM CTE_ORDINAZIONI
LEFT JOIN DO11_DOCTESTATA ON DO11_DOCTESTATA.DO11_DITTA_CG18 = 1
                         AND DO11_DOCTESTATA.DO11_GUID = IE91_GUID_DO11
LEFT JOIN FW07_APPUSER ON FW07_ID = IE91_ID_FW07
LEFT JOIN IE92_NSOTESTATAXML ON IE92_ID_IE91 = IE91_ID;
)";

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
            const std::string id = "C" + std::to_string(chain) + "-" + std::to_string(level);
            const std::string date = "2024-" + std::to_string(1 + level % 9 + 1).insert(0, level + 2 < 10 ? "0" : "") +
                                     "-1" + std::to_string(chain % 9) + " 00:00:00";
            std::string rif = "NULL, NULL, NULL";
            if (level > 0) {
                const std::string prev = "C" + std::to_string(chain) + "-" + std::to_string(level - 1);
                const std::string prevDate = "2024-" + std::to_string(1 + (level - 1) % 9 + 1).insert(0, level + 1 < 10 ? "0" : "") +
                                             "-1" + std::to_string(chain % 9) + " 00:00:00";
                rif = "'" + prev + "', '" + prevDate + "', 'UF" + std::to_string(chain % 50) + "'";
            }
            std::string guid = "NULL";
            if (level < length - 1 && (chain + level) % 5 == 0) {
                ++numreg;
                guid = "'G" + std::to_string(numreg) + "'";
                sql += "INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, DO11_GUID, "
                       "DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC, DO11_ANNODOC) "
                       "VALUES (1, " + std::to_string(numreg) + ", " + guid +
                       ", 'OCL', 'A', " + std::to_string(numreg) + ", '2024-01-01 00:00:00', 2024);"
                       "INSERT INTO DO31_DOCCORPOORD (DO31_DITTA_CG18, DO31_NUMREG_CO99, "
                       "DO31_PROGRIGA, DO31_QTA1CONS) VALUES (1, " + std::to_string(numreg) +
                       ", 1, " + (numreg % 2 == 0 ? "1" : "0") + ");";
            }
            sql += "INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_ID_FW07, "
                   "IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML, "
                   "IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID, IE91_PROCESSATO, "
                   "IE91_GUID_DO11) VALUES (1, 0, 1, '" + id + "', '" + date + "', 'UF" +
                   std::to_string(chain % 50) + "', " + (level > 0 ? "1" : "0") +
                   ", '<Order/>', " + rif + ", " + (chain % 10 == 0 ? "1" : "NULL") + ", " +
                   guid + ");";
        }
        ++chain;
    }
    sql += "COMMIT;";
    kvad::db::ExecuteNativeScript(db, sql);
}

} // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("kvad-chains-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    kvad::host::HostConfig config;
    config.cacheDir = (dir / "cache").string();
    auto host = kvad::host::RegisterStandIns(config);

    std::printf("LeggiOrdini (to process) on registered documents in chains of 1 to 4\n");
    std::printf("%9s %7s %12s %14s %14s %14s %10s\n", "documents", "rows", "LeggiOrdini",
                "us/document", "T-SQL stmt ms", "hand SQLite ms", "overhead");
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

        // The chain statement alone, through the translation layer and written by hand.
        const std::string tsql = kvad::nso::TestoCatene(
            "1", "#BENCH_ORD", " AND ISNULL(IE91_PROCESSATO, 0) = 0 \r\n");
        double translated = 0;
        double hand = 0;
        for (int i = 0; i < repeats; ++i) {
            db->Execute("IF NOT OBJECT_ID('tempdb..#BENCH_ORD') IS NULL DROP TABLE #BENCH_ORD");
            start = Clock::now();
            db->Execute(tsql);
            translated += MsSince(start);
            start = Clock::now();
            kvad::db::ExecuteNativeScript(*db, kHandWritten);
            hand += MsSince(start);
        }
        translated /= repeats;
        hand /= repeats;
        std::printf("%9d %7ld %10.1f ms %14.2f %14.1f %14.1f %9.1f%%\n", documents, rows, leggi,
                    leggi * 1000.0 / documents, translated, hand,
                    (translated - hand) * 100.0 / hand);
        object.SetConnessione(nullptr);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
