// Fuzzes the master-data loader with what a clerk's CSV file can hold: the first byte of an
// input chooses the kind of master data, the second the encoding named for the file (none, or
// one of a few that iconv converts), and the rest are the file's bytes. They are decoded, parsed
// as CSV, checked row by row and, when every row passes, loaded into an in-memory database that
// holds the demo master data (so that rows can refer to existing customers and items). A file
// is loaded or refused with a MasterDataError; anything else is a fault.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/master_data.h"
#include "kvad_nso/connection.h"
#include "sqlite/sqlite_database.h"

namespace {

/// Encodings an input can name: none (UTF-8, or what a byte-order mark says), then a few that
/// iconv converts one byte, two bytes and four bytes at a time.
constexpr std::array<const char*, 5> kEncodings{"", "ISO-8859-1", "windows-1252", "UTF-16LE",
                                                "UTF-32BE"};

struct Database {
    std::shared_ptr<kvad::Connection> connection;

    Database() : connection(kvad::db::OpenSqlite(":memory:")) {
        kvad::db::ApplySchema(*connection);
        (void)kvad::host::LoadDemoMasterData(*connection, 1);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Database database;
    if (size < 2) {
        return 0;
    }
    const auto& kinds = kvad::host::MasterKinds();
    const std::string& kind = kinds[data[0] % kinds.size()].name;
    const std::string encoding = kEncodings[data[1] % kEncodings.size()];
    std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

    // Each input starts from the demo data: what it loads is taken back.
    kvad::Connection& db = *database.connection;
    db.BeginTrans();
    try {
        (void)kvad::host::LoadMasterData(db, 1, kind, std::move(bytes), kind + ".csv", encoding);
    } catch (const kvad::host::MasterDataError&) {
        // A refusal: the file, the line and the column at fault.
    }
    db.RollbackTrans();
    return 0;
}
