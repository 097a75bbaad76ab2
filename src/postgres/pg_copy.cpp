// Copying a database (the embedded one, as a rule) into an empty server database: each table's
// rows sent with COPY, ids included, then read back and compared by count and checksum before
// the one transaction that holds it all is committed.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "pg_connection.h"
#include "postgres/pg_database.h"

namespace kvad::db {

namespace {

constexpr const char* kCopySource = "KVAD_NSO.PostgreSQL";
// PostgreSQL keeps the first 63 bytes of a longer name.
constexpr std::size_t kNameBytes = 63;

[[noreturn]] void FailCopy(const std::string& message, const std::string& statement = {}) {
    throw DbError(message, "HY000", statement, kCopySource);
}

std::string UpperName(std::string_view name) {
    std::string upper(name.substr(0, kNameBytes));
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

std::string Quoted(std::string_view name) {
    std::string quoted = "\"";
    for (const char c : name) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

// A value as both sides are compared: its text as PostgreSQL reads it, or none.
std::optional<std::string> ComparedText(const Variant& value) {
    if (const Variant::Bytes* bytes = value.AsBytes()) {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string text = "\\x";
        for (const std::uint8_t b : *bytes) {
            text += kHex[b >> 4];
            text += kHex[b & 0xf];
        }
        return text;
    }
    return ParameterText(value);
}

// An order-independent checksum of a table: the sum of each row's FNV-1a hash.
class TableChecksum {
  public:
    void AddRow(const std::vector<std::optional<std::string>>& values) {
        std::uint64_t hash = 14695981039346656037ULL;
        const auto mix = [&hash](unsigned char byte) {
            hash ^= byte;
            hash *= 1099511628211ULL;
        };
        for (const auto& value : values) {
            mix(value ? 1 : 0);
            if (value) {
                for (const char c : *value) {
                    mix(static_cast<unsigned char>(c));
                }
            }
            mix(0x1f);
        }
        sum_ += hash;
        ++rows_;
    }
    [[nodiscard]] std::uint64_t Sum() const noexcept { return sum_; }
    [[nodiscard]] long Rows() const noexcept { return rows_; }

  private:
    std::uint64_t sum_ = 0;
    long rows_ = 0;
};

// Appends one value to a line of COPY's text format.
void AppendCopyValue(std::string& line, const std::optional<std::string>& value) {
    if (!value) {
        line += "\\N";
        return;
    }
    for (const char c : *value) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
}

// The server's tables (upper-case name as the translation quotes it -> stored name).
std::map<std::string, std::string> ServerTables(PgConnection& pg) {
    const PgResult tables = pg.ExecuteNative(
        "SELECT relname FROM pg_class WHERE relkind = 'r' "
        "AND relnamespace = current_schema()::regnamespace AND relname <> 'KVAD_SCHEMA_VERSION'");
    std::map<std::string, std::string> names;
    for (int r = 0; r < PQntuples(tables.get()); ++r) {
        const std::string name = PQgetvalue(tables.get(), r, 0);
        names.emplace(UpperName(name), name);
    }
    return names;
}

// The columns of a server table, by upper-case name.
std::map<std::string, std::string> ServerColumns(PgConnection& pg, const std::string& table) {
    const PgResult columns = pg.RunPrepared(
        "SELECT a.attname FROM pg_attribute AS a JOIN pg_class AS c ON c.oid = a.attrelid "
        "WHERE c.relname = $1 AND c.relnamespace = current_schema()::regnamespace "
        "AND a.attnum > 0 AND NOT a.attisdropped",
        {table});
    std::map<std::string, std::string> names;
    for (int r = 0; r < PQntuples(columns.get()); ++r) {
        const std::string name = PQgetvalue(columns.get(), r, 0);
        names.emplace(UpperName(name), name);
    }
    return names;
}

CopiedTable CopyTable(Connection& source, PgConnection& pg, const std::string& sourceName,
                      const std::string& serverName) {
    const std::shared_ptr<Recordset> rows = source.Query("SELECT * FROM " + sourceName);
    const std::map<std::string, std::string> serverColumns = ServerColumns(pg, serverName);
    std::string columnList;
    for (int i = 0; i < rows->FieldCount(); ++i) {
        const auto column = serverColumns.find(UpperName(rows->FieldName(i)));
        if (column == serverColumns.end()) {
            FailCopy("the server database's table " + serverName + " has no column " +
                     rows->FieldName(i) + ": is it at the same schema version?");
        }
        columnList += (i == 0 ? "" : ", ") + Quoted(column->second);
    }

    TableChecksum sourceSum;
    std::string data;
    std::vector<std::optional<std::string>> values(static_cast<std::size_t>(rows->FieldCount()));
    for (; !rows->Eof(); rows->MoveNext()) {
        for (int i = 0; i < rows->FieldCount(); ++i) {
            values[static_cast<std::size_t>(i)] = ComparedText(rows->Value(i));
            if (i > 0) {
                data += '\t';
            }
            AppendCopyValue(data, values[static_cast<std::size_t>(i)]);
        }
        data += '\n';
        sourceSum.AddRow(values);
    }
    const std::string table = Quoted(serverName);
    // The rows the schema scripts put in (the message catalogue, the default layout) are the
    // source's too, perhaps changed there: the source's replace them.
    (void)pg.ExecuteNative("DELETE FROM " + table);
    pg.CopyIn("COPY " + table + " (" + columnList + ") FROM STDIN", data);

    // Read back what the server holds, in the same column order.
    const PgResult stored = pg.ExecuteNative("SELECT " + columnList + " FROM " + table);
    const std::shared_ptr<PgRows> copied = PgConnection::ReadRows(stored.get());
    TableChecksum copiedSum;
    for (const auto& row : copied->rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            values[i] = ComparedText(row[i]);
        }
        copiedSum.AddRow(values);
    }
    return CopiedTable{sourceName, sourceSum.Rows(), copiedSum.Rows(), sourceSum.Sum(),
                       copiedSum.Sum()};
}

} // namespace

std::vector<CopiedTable> CopyIntoPostgres(Connection& source, Connection& target) {
    PgConnection& pg = AsPostgres(target);
    TransactionScope transaction(target);
    const std::map<std::string, std::string> serverTables = ServerTables(pg);
    std::vector<CopiedTable> copied;
    const std::shared_ptr<Recordset> tables =
        source.Query("SELECT name FROM sys.tables ORDER BY name");
    for (; !tables->Eof(); tables->MoveNext()) {
        const std::string name = tables->Value("name").Text();
        if (EqualsNoCase(name, "KVAD_SCHEMA_VERSION")) {
            continue; // the server's own records its schema
        }
        const auto server = serverTables.find(UpperName(name));
        if (server == serverTables.end()) {
            FailCopy("the server database has no table " + name +
                     ": is it at the same schema version?");
        }
        copied.push_back(CopyTable(source, pg, name, server->second));
        const CopiedTable& table = copied.back();
        if (table.copiedRows != table.sourceRows || table.copiedChecksum != table.sourceChecksum) {
            FailCopy("the copy of table " + name + " differs from its source (" +
                     std::to_string(table.copiedRows) + " rows copied of " +
                     std::to_string(table.sourceRows) + "): nothing was copied");
        }
    }
    ResetIdentitySequences(target);
    transaction.Commit();
    return copied;
}

} // namespace kvad::db
