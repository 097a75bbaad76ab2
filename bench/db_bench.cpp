// Throughput of the embedded database's working recordsets: loading rows, updating them one by
// one (each in its own transaction, and all in one), and adding rows. Prints rows per second.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "kvad_nso/connection.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/sqlite_database.h"

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

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 5000;
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
