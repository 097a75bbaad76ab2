// Fuzzes the recordset filter: any text is set as the filter of a working recordset over rows of
// every column kind (text, integer, decimal, float, bit, date, Nulls), and the visible rows are
// read. Text that is not a filter must end in the recordset's own errors and leave the filter
// as it was.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "sqlite/sqlite_database.h"

namespace {

struct Rows {
    std::shared_ptr<kvad::Connection> connection;
    std::shared_ptr<kvad::Recordset> recordset;
    long total = 0;

    Rows() {
        connection = kvad::db::OpenSqlite(":memory:");
        kvad::db::ExecuteNativeScript(
            *connection,
            "CREATE TABLE NODI (ID INTEGER PRIMARY KEY, CODICE varchar(20) COLLATE NOCASE, "
            "PADRE varchar(50) NULL, LIVELLO int, IMPORTO decimal(18,4), PESO float, "
            "ATTIVO bit, DATA datetime, [NOTE LIBERE] varchar(50));"
            "INSERT INTO NODI VALUES (1, 'AB1', NULL, 0, 12.5, 0.25, 1, '2024-03-05 00:00:00', "
            "'x');"
            "INSERT INTO NODI VALUES (2, 'O''Brien', 'A#1', -1, -0.0001, 1e300, 0, "
            "'1899-12-30 12:00:00', NULL);"
            "INSERT INTO NODI VALUES (3, '  12,5 ', '', 2147483647, 79228162514264337593543950335, "
            "-2.5, NULL, NULL, '*%');"
            "INSERT INTO NODI VALUES (4, NULL, 'true', NULL, NULL, NULL, 1, "
            "'9999-12-31 23:59:59', '');");
        recordset = connection->OpenRecordset("SELECT * FROM NODI ORDER BY ID");
        total = recordset->RecordCount();
    }
};

[[noreturn]] void Fail() {
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Rows rows;
    kvad::Recordset& rs = *rows.recordset;
    const std::string text(reinterpret_cast<const char*>(data), size);

    rs.SetFilter("");
    try {
        rs.SetFilter(text);
    } catch (const kvad::VbError& error) {
        // 3001: not a filter, or a value that cannot be compared; 3265: no such field.
        if (error.Number() != 3001 && error.Number() != 3265) {
            Fail();
        }
        if (!rs.Filter().empty() || rs.RecordCount() != rows.total) {
            Fail(); // a refused filter changed the recordset
        }
        return 0;
    }
    if (rs.Filter() != text && !rs.Filter().empty()) {
        Fail();
    }
    const long visible = rs.RecordCount();
    if (visible < 0 || visible > rows.total) {
        Fail();
    }
    long seen = 0;
    for (; !rs.Eof(); rs.MoveNext()) {
        for (int field = 0; field < rs.FieldCount(); ++field) {
            (void)rs.Value(field).Text();
        }
        ++seen;
    }
    if (seen != visible) {
        Fail();
    }
    return 0;
}
