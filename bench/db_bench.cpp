// The embedded database's figures, in one run: the chain list statement sent through the T-SQL
// translation against the same statement written by hand for SQLite, on 10,000 documents (the
// aim is a translated statement within 10% of the hand-written one), the translation itself,
// and the throughput of working recordsets: loading rows, updating them one by one (each in its
// own transaction, and all in one), filtering and adding rows.

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "kvad_nso/connection.h"
#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"
#include "tsql/tsql_functions.h"
#include "tsql/tsql_translator.h"
#include "workspace/ordini.h"

namespace {

using kvad::db::ColumnDecl;
using kvad::db::SchemaLookup;
using kvad::db::Translation;

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message != nullptr ? message : "?";
        sqlite3_free(message);
        throw std::runtime_error(text);
    }
}

class PragmaLookup final : public SchemaLookup {
  public:
    explicit PragmaLookup(sqlite3* db) : db_(db) {}
    std::optional<std::vector<ColumnDecl>> TableColumns(std::string_view table) override {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db_, "SELECT name, type, pk FROM pragma_table_info(?1, ?2)", -1, &stmt,
                           nullptr);
        sqlite3_bind_text(stmt, 1, table.data(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, table.starts_with('#') ? "temp" : "main", -1, SQLITE_STATIC);
        std::vector<ColumnDecl> columns;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            ColumnDecl column;
            column.name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            column.declType = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
            column.identity = sqlite3_column_int(stmt, 2) == 1 && column.declType == "INTEGER";
            columns.push_back(std::move(column));
        }
        sqlite3_finalize(stmt);
        if (columns.empty()) {
            return std::nullopt;
        }
        return columns;
    }

  private:
    sqlite3* db_;
};

const char* kSchema = R"(
CREATE TABLE IE91_NSOFILES (IE91_ID INTEGER PRIMARY KEY AUTOINCREMENT, IE91_DITTA_CG18 int NOT NULL,
    IE91_STATUS smallint NULL DEFAULT 0, IE91_DATAORA_RICEZIONE datetime NULL, IE91_ID_FW07 int NULL,
    IE91_HUBID varchar(100) COLLATE NOCASE NULL, IE91_IDORD varchar(50) COLLATE NOCASE NULL,
    IE91_ISSUEDATE datetime NULL, IE91_ENDPOINTID varchar(50) COLLATE NOCASE NULL,
    IE91_OPERAZIONE smallint NULL DEFAULT 0, IE91_XML ntext NULL,
    IE91_RIF_IDORD varchar(50) COLLATE NOCASE NULL, IE91_RIF_ISSUEDATE datetime NULL,
    IE91_RIF_ENDPOINTID varchar(50) COLLATE NOCASE NULL, IE91_PROCESSATO smallint NULL DEFAULT 0,
    IE91_GUID_DO11 varchar(36) COLLATE NOCASE NULL);
CREATE UNIQUE INDEX IE91_DOC ON IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID);
CREATE INDEX IE91_RIF ON IE91_NSOFILES (IE91_DITTA_CG18, IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID);
CREATE TABLE IE92_NSOTESTATAXML (IE92_ID INTEGER PRIMARY KEY AUTOINCREMENT, IE92_ID_IE91 int NOT NULL,
    IE92_BuyerCustomerParty_Party_PartyName_Name nvarchar(200) COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PostalAddress_StreetName nvarchar(200) COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PostalAddress_CityName nvarchar(100) COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone varchar(20) COLLATE NOCASE NULL,
    IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID varchar(50) COLLATE NOCASE NULL);
CREATE INDEX IE92_ID_IE91 ON IE92_NSOTESTATAXML (IE92_ID_IE91);
CREATE TABLE FW07_APPUSER (FW07_ID int NOT NULL PRIMARY KEY, FW07_USERNAME nvarchar(100) COLLATE NOCASE);
CREATE TABLE DO11_DOCTESTATA (DO11_DITTA_CG18 int NOT NULL, DO11_NUMREG_CO99 int NOT NULL,
    DO11_GUID varchar(36) COLLATE NOCASE NULL, DO11_DOCUM_MG36 varchar(10) COLLATE NOCASE NULL,
    DO11_SEZDOC varchar(10) COLLATE NOCASE NULL, DO11_NUMDOC int NULL, DO11_DATADOC datetime NULL,
    DO11_ANNODOC smallint NULL, PRIMARY KEY (DO11_DITTA_CG18, DO11_NUMREG_CO99));
CREATE INDEX DO11_GUID ON DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_GUID);
CREATE TABLE DO31_DOCCORPOORD (DO31_DITTA_CG18 int NOT NULL, DO31_NUMREG_CO99 int NOT NULL,
    DO31_PROGRIGA int NOT NULL, DO31_QTA1CONS decimal(19,6) NOT NULL DEFAULT 0,
    PRIMARY KEY (DO31_DITTA_CG18, DO31_NUMREG_CO99, DO31_PROGRIGA));
)";

// Chains of one, two and three documents (order, revisions) up to `documents` rows; every
// other document has an ERP order, every third of those a delivered line.
void Fill(sqlite3* db, int documents) {
    Exec(db, "BEGIN");
    Exec(db, "INSERT INTO FW07_APPUSER VALUES (1, 'mrossi'), (2, 'lbianchi')");
    sqlite3_stmt* doc = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_ID_FW07, IE91_IDORD, "
                       "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML, "
                       "IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID, IE91_GUID_DO11) "
                       "VALUES (1, ?1 % 2 + 1, ?2, ?3, ?4, ?5, '<Order/>', ?6, ?7, ?8, ?9)",
                       -1, &doc, nullptr);
    int id = 0;
    int chain = 0;
    while (id < documents) {
        const int length = chain % 10 < 6 ? 1 : (chain % 10 < 9 ? 2 : 3);
        std::string previous;
        std::string previousDate;
        for (int level = 0; level < length && id < documents; ++level) {
            ++id;
            const std::string number = "ORD-" + std::to_string(chain) + "-" + std::to_string(level);
            const std::string date = "2024-" + std::string(level < 1 ? "01" : "02") + "-" +
                                     std::to_string(10 + chain % 18) + " 00:00:00";
            const std::string guid = id % 2 == 0 ? "G-" + std::to_string(id) : "";
            sqlite3_bind_int(doc, 1, id);
            sqlite3_bind_text(doc, 2, number.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(doc, 3, date.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(doc, 4, "UFABC1", -1, SQLITE_STATIC);
            sqlite3_bind_int(doc, 5, level == 0 ? 0 : 1);
            if (level == 0) {
                sqlite3_bind_null(doc, 6);
                sqlite3_bind_null(doc, 7);
                sqlite3_bind_null(doc, 8);
            } else {
                sqlite3_bind_text(doc, 6, previous.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(doc, 7, previousDate.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(doc, 8, "UFABC1", -1, SQLITE_STATIC);
            }
            if (guid.empty()) {
                sqlite3_bind_null(doc, 9);
            } else {
                sqlite3_bind_text(doc, 9, guid.c_str(), -1, SQLITE_TRANSIENT);
                Exec(db, "INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, "
                         "DO11_GUID, DO11_DOCUM_MG36, DO11_NUMDOC) VALUES (1, " +
                             std::to_string(id) + ", '" + guid + "', 'OC', " + std::to_string(id) +
                             ")");
                Exec(db, "INSERT INTO DO31_DOCCORPOORD VALUES (1, " + std::to_string(id) +
                             ", 1, 0), (1, " + std::to_string(id) + ", 2, " +
                             (id % 3 == 0 ? "5" : "0") + ")");
            }
            sqlite3_step(doc);
            sqlite3_reset(doc);
            Exec(db, "INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91, "
                     "IE92_BuyerCustomerParty_Party_PartyName_Name) VALUES (" +
                         std::to_string(id) + ", 'Buyer " + std::to_string(id) + "')");
            previous = number;
            previousDate = date;
        }
        ++chain;
    }
    sqlite3_finalize(doc);
    Exec(db, "COMMIT; ANALYZE");
}

// The chain statement exactly as the component sends it (every chain, no leaf filter).
const std::string kChain = kvad::nso::ChainStatement("1", "#TEMP_ORD", "");

// The same statement as one would write it for SQLite.
const char* kHandWritten =
    "WITH RECURSIVE CTE_RIF AS (SELECT IE91_DITTA_CG18, IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, "
    "IE91_RIF_ENDPOINTID FROM IE91_NSOFILES WHERE IE91_DITTA_CG18 = 1 AND IE91_RIF_IDORD IS NOT "
    "NULL AND IE91_XML IS NOT NULL), "
    "CTE_FOGLIE AS (SELECT IE91_NSOFILES.* FROM IE91_NSOFILES LEFT JOIN CTE_RIF ON "
    "CTE_RIF.IE91_RIF_IDORD = IE91_NSOFILES.IE91_IDORD AND CTE_RIF.IE91_RIF_ISSUEDATE = "
    "IE91_NSOFILES.IE91_ISSUEDATE AND CTE_RIF.IE91_RIF_ENDPOINTID = IE91_NSOFILES.IE91_ENDPOINTID "
    "AND CTE_RIF.IE91_DITTA_CG18 = IE91_NSOFILES.IE91_DITTA_CG18 WHERE CTE_RIF.IE91_RIF_IDORD IS "
    "NULL AND IE91_NSOFILES.IE91_XML IS NOT NULL AND IE91_NSOFILES.IE91_DITTA_CG18 = 1), "
    "CTE_ORDINAZIONI AS ("
    "SELECT IE91_IDORD || '#' || substr(IE91_ISSUEDATE, 1, 10) || '#' || IE91_ENDPOINTID AS "
    "ID_RIGA, NULL AS ID_PADRE, 0 AS LIVELLO, CTE_FOGLIE.* FROM CTE_FOGLIE "
    "UNION ALL SELECT FIGLIO.IE91_IDORD || '#' || substr(FIGLIO.IE91_ISSUEDATE, 1, 10) || '#' || "
    "FIGLIO.IE91_ENDPOINTID, CTE_FOGLIE.IE91_IDORD || '#' || substr(CTE_FOGLIE.IE91_ISSUEDATE, 1, "
    "10) || '#' || CTE_FOGLIE.IE91_ENDPOINTID, 1, FIGLIO.* FROM CTE_FOGLIE JOIN IE91_NSOFILES AS "
    "FIGLIO ON FIGLIO.IE91_ENDPOINTID = CTE_FOGLIE.IE91_RIF_ENDPOINTID AND FIGLIO.IE91_IDORD = "
    "CTE_FOGLIE.IE91_RIF_IDORD AND FIGLIO.IE91_ISSUEDATE = CTE_FOGLIE.IE91_RIF_ISSUEDATE AND "
    "FIGLIO.IE91_DITTA_CG18 = CTE_FOGLIE.IE91_DITTA_CG18 "
    "UNION ALL SELECT FIGLIO.IE91_IDORD || '#' || substr(FIGLIO.IE91_ISSUEDATE, 1, 10) || '#' || "
    "FIGLIO.IE91_ENDPOINTID, CTE_ORDINAZIONI.ID_PADRE, LIVELLO + 1, FIGLIO.* FROM CTE_ORDINAZIONI "
    "JOIN IE91_NSOFILES AS FIGLIO ON FIGLIO.IE91_ENDPOINTID = CTE_ORDINAZIONI.IE91_RIF_ENDPOINTID "
    "AND FIGLIO.IE91_IDORD = CTE_ORDINAZIONI.IE91_RIF_IDORD AND FIGLIO.IE91_ISSUEDATE = "
    "CTE_ORDINAZIONI.IE91_RIF_ISSUEDATE AND FIGLIO.IE91_DITTA_CG18 = "
    "CTE_ORDINAZIONI.IE91_DITTA_CG18 WHERE CTE_ORDINAZIONI.LIVELLO > 0) "
    "SELECT CASE WHEN LIVELLO = 0 THEN 0 ELSE 9 END, 0, 0, 0, 0, CASE WHEN IE91_OPERAZIONE = 1 "
    "THEN 15 WHEN IE91_OPERAZIONE = 2 THEN 16 ELSE 99 END, CASE WHEN "
    "DO11_DOCTESTATA.DO11_NUMREG_CO99 IS NULL THEN 99 ELSE 8 END, CTE_ORDINAZIONI.*, "
    "IFNULL((SELECT 13 FROM DO31_DOCCORPOORD WHERE DO31_DOCCORPOORD.DO31_DITTA_CG18 = "
    "DO11_DOCTESTATA.DO11_DITTA_CG18 AND DO31_DOCCORPOORD.DO31_NUMREG_CO99 = "
    "DO11_DOCTESTATA.DO11_NUMREG_CO99 AND DO31_QTA1CONS <> 0 LIMIT 1), 0), DO11_NUMREG_CO99, "
    "DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC, DO11_ANNODOC, FW07_USERNAME, "
    "IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID, "
    "IE92_BuyerCustomerParty_Party_PartyName_Name, "
    "IE92_BuyerCustomerParty_Party_PostalAddress_StreetName, "
    "IE92_BuyerCustomerParty_Party_PostalAddress_CityName, "
    "IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone "
    "FROM CTE_ORDINAZIONI LEFT JOIN DO11_DOCTESTATA ON DO11_DOCTESTATA.DO11_DITTA_CG18 = 1 AND "
    "DO11_DOCTESTATA.DO11_GUID = IE91_GUID_DO11 LEFT JOIN FW07_APPUSER ON FW07_ID = IE91_ID_FW07 "
    "LEFT JOIN IE92_NSOTESTATAXML ON IE92_ID_IE91 = IE91_ID";

// The working table as the backend creates it from the translation's column types.
std::string CreateWorkingTable(sqlite3* db, const Translation& translation) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, translation.sql.c_str(), -1, &stmt, nullptr);
    std::string create = "CREATE TABLE temp.\"#TEMP_ORD\" (";
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const std::string name = sqlite3_column_name(stmt, i);
        std::string type;
        for (const auto& [hintName, hintType] : translation.columnTypes) {
            if (sqlite3_stricmp(hintName.c_str(), name.c_str()) == 0) {
                type = hintType;
            }
        }
        create += i == 0 ? "\"" : ", \"";
        create += name;
        create += "\" ";
        create += type;
    }
    sqlite3_finalize(stmt);
    return create + ")";
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename F> double TimeMs(F&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Report(const char* what, long rows, double seconds) {
    std::printf("%-44s %8ld rows %9.3f s %12.0f rows/s\n", what, rows, seconds,
                seconds > 0 ? static_cast<double>(rows) / seconds : 0.0);
}

/// Updates one column of every row through the recordset, row by row.
long UpdateAll(kvad::Recordset& rs, std::int32_t value) {
    long rows = 0;
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
        rs.SetValue("IE95_STATUS", value);
        rs.Update();
        ++rows;
    }
    return rows;
}

} // namespace

int ChainComparison() {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    try {
        kvad::db::RegisterTsqlFunctions(db);
        Exec(db, kSchema);
        constexpr int kDocuments = 10000;
        Fill(db, kDocuments);
        PragmaLookup lookup(db);

        constexpr int kTranslations = 200;
        Translation translation;
        const double translateMs = TimeMs([&] {
            for (int i = 0; i < kTranslations; ++i) {
                translation = kvad::db::TranslateTsql(kChain, lookup);
            }
        });
        const std::string create = CreateWorkingTable(db, translation);
        const char* kRead = "SELECT IE91_XML FROM IE91_NSOFILES WITH (NOLOCK) WHERE IE91_ID = 5";
        constexpr int kReads = 5000;
        const double readMs = TimeMs([&] {
            for (int i = 0; i < kReads; ++i) {
                (void)kvad::db::TranslateTsql(kRead, lookup);
            }
        });

        constexpr int kRuns = 9;
        std::vector<double> translated;
        std::vector<double> handWritten;
        long rows = 0;
        for (int run = 0; run < kRuns; ++run) {
            for (const bool ours : {true, false}) {
                Exec(db, "DROP TABLE IF EXISTS temp.\"#TEMP_ORD\"");
                Exec(db, create);
                const std::string insert = std::string("INSERT INTO temp.\"#TEMP_ORD\" ") +
                                           (ours ? translation.sql : kHandWritten);
                (ours ? translated : handWritten).push_back(TimeMs([&] { Exec(db, insert); }));
                rows = static_cast<long>(sqlite3_changes(db));
            }
        }
        const double ourMs = Median(translated);
        const double handMs = Median(handWritten);
        std::printf("chain list on %d documents, %ld rows, median of %d runs\n", kDocuments, rows,
                    kRuns);
        std::printf("  translated statement:   %8.2f ms\n", ourMs);
        std::printf("  hand-written statement: %8.2f ms\n", handMs);
        std::printf("  overhead:               %+8.1f %%\n", (ourMs / handMs - 1.0) * 100.0);
        std::printf("  translation:            %8.1f us per call (%zu bytes of T-SQL)\n",
                    translateMs * 1000.0 / kTranslations, kChain.size());
        std::printf("  translation of a one-row read: %.1f us per call\n",
                    readMs * 1000.0 / kReads);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tsql_chain_bench: %s\n", e.what());
        sqlite3_close(db);
        return 1;
    }
    sqlite3_close(db);
    return 0;
}

int RecordsetThroughput(long count) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvad_bench_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path dir = pattern;
    {
        auto connection = kvad::db::OpenSqlite((dir / "bench.db").string());
        kvad::db::ExecuteNativeScript(
            *connection,
            "CREATE TABLE IE95_NSOCORPO (IE95_ID INTEGER PRIMARY KEY, IE95_ID_IE91 int, "
            "IE95_DO30_PROGRIGA int, IE95_DO30_CODART_MG66 varchar(50) COLLATE NOCASE, "
            "IE95_DO30_QTA1 decimal(18,5), IE95_DO31_DATACONS datetime, IE95_STATUS int);"
            "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < " +
                std::to_string(count) +
                ") INSERT INTO IE95_NSOCORPO (IE95_ID_IE91, IE95_DO30_PROGRIGA, "
                "IE95_DO30_CODART_MG66, IE95_DO30_QTA1, IE95_DO31_DATACONS, IE95_STATUS) "
                "SELECT I / 10, I, 'ART' || I, I * 1.25, '2024-03-05 00:00:00', 0 FROM N;");
        connection->Execute("SELECT * INTO #WORK FROM IE95_NSOCORPO");

        auto start = Clock::now();
        auto rs = connection->OpenRecordset("SELECT * FROM IE95_NSOCORPO");
        Report("open working recordset (load)", rs->RecordCount(), Seconds(start));

        start = Clock::now();
        long rows = UpdateAll(*rs, 1);
        Report("update, one transaction per row", rows, Seconds(start));

        start = Clock::now();
        connection->BeginTrans();
        rows = UpdateAll(*rs, 2);
        connection->CommitTrans();
        Report("update, all rows in one transaction", rows, Seconds(start));

        auto work = connection->OpenRecordset("SELECT * FROM #WORK");
        start = Clock::now();
        rows = UpdateAll(*work, 3);
        Report("update of a temporary table (by rowid)", rows, Seconds(start));

        start = Clock::now();
        rs->SetFilter("IE95_ID_IE91 = 7 OR IE95_DO30_CODART_MG66 LIKE 'art1*'");
        const long filtered = rs->RecordCount();
        rs->SetSort("IE95_DO30_QTA1 DESC");
        Report("filter and sort in memory", filtered, Seconds(start));

        start = Clock::now();
        connection->BeginTrans();
        const long added = count / 5;
        for (long i = 0; i < added; ++i) {
            rs->AddNew();
            rs->SetValue("IE95_ID_IE91", std::int32_t{9999});
            rs->SetValue("IE95_DO30_CODART_MG66", "NEW");
            rs->Update();
        }
        connection->CommitTrans();
        Report("add new rows, one transaction", added, Seconds(start));
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 5000;
    if (ChainComparison() != 0) {
        return 1;
    }
    std::printf("\nworking recordsets on %ld rows\n", count);
    return RecordsetThroughput(count);
}
