#include "support/register_snapshot.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <vector>

#include "kvad_nso/recordset.h"

namespace kvad::test {
namespace {

struct Table {
    const char* name;
    const char* key;
};

constexpr Table kTables[] = {
    {"IE91_NSOFILES", "IE91_ID"},
    {"IE92_NSOTESTATAXML", "IE92_ID"},
    {"IE96_NSOTESTATASCONTIXML", "IE96_ID"},
    {"IE94_NSOCORPOXML", "IE94_ID"},
    {"IE9A_NSOCORPOSCONTIXML", "IE9A_ID"},
    {"IE98_NSO_LOGERRORS", "IE98_ID"},
    {"KVAD_DOCUMENT_INTAKE", "INTAKE_ID_IE91"},
};

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

std::string RegisterSnapshot(Connection& connection) {
    // Documents by id; lines by their document's position, then id.
    std::map<std::string, int> documents;
    {
        auto rs = connection.Query("SELECT IE91_ID FROM IE91_NSOFILES ORDER BY IE91_ID");
        for (int n = 1; !rs->Eof(); rs->MoveNext()) {
            documents[rs->Value(0).Text()] = n++;
        }
    }
    std::map<std::string, int> lines;
    {
        std::vector<std::pair<std::pair<int, long>, std::string>> order;
        auto rs = connection.Query("SELECT IE94_ID, IE94_ID_IE91 FROM IE94_NSOCORPOXML");
        for (; !rs->Eof(); rs->MoveNext()) {
            order.push_back(
                {{documents[rs->Value(1).Text()], rs->Value(0).ToLong()}, rs->Value(0).Text()});
        }
        std::sort(order.begin(), order.end());
        for (std::size_t i = 0; i < order.size(); ++i) {
            lines[order[i].second] = static_cast<int>(i + 1);
        }
    }
    std::string out;
    for (const Table& table : kTables) {
        out += std::string("[") + table.name + "]\n";
        // Rows in the order of their document, then of their key.
        std::vector<std::pair<std::pair<int, long>, std::string>> rows;
        auto rs = connection.Query(std::string("SELECT * FROM ") + table.name);
        for (; !rs->Eof(); rs->MoveNext()) {
            int document = 0;
            std::string row;
            for (int i = 0; i < rs->FieldCount(); ++i) {
                const std::string field = rs->FieldName(i);
                const Variant value = rs->Value(i);
                const bool isKey = field == table.key;
                std::string text = value.IsNull() ? "null" : value.Text();
                if (field == "IE91_ID" || EndsWith(field, "_ID_IE91")) {
                    document = documents[text];
                    text = "doc" + std::to_string(document);
                } else if (!value.IsNull() && (field == "IE94_ID" || EndsWith(field, "_ID_IE94"))) {
                    text = "line" + std::to_string(lines[text]);
                } else if (isKey || field == "IE91_DATAORA_RICEZIONE") {
                    continue;
                }
                row.append(field).append("=").append(text).append("|");
            }
            rows.push_back({{document, rs->Value(table.key).ToLong()}, row});
        }
        std::sort(rows.begin(), rows.end());
        for (const auto& [key, row] : rows) {
            out += row + "\n";
        }
    }
    return out;
}

std::string SnapshotDifference(const std::string& expected, const std::string& actual) {
    std::size_t a = 0;
    std::size_t b = 0;
    while (a < expected.size() || b < actual.size()) {
        const std::size_t ea = std::min(expected.find('\n', a), expected.size());
        const std::size_t eb = std::min(actual.find('\n', b), actual.size());
        const std::string left = expected.substr(a, ea - a);
        const std::string right = actual.substr(b, eb - b);
        if (left != right) {
            return "expected: " + left.substr(0, 300) + "\n  actual: " + right.substr(0, 300);
        }
        a = ea + 1;
        b = eb + 1;
    }
    return {};
}

std::string IntegrityCheck(const std::string& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "cannot open " + file;
    }
    std::string result;
    sqlite3_exec(
        db, "PRAGMA integrity_check",
        [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) += values[0] != nullptr ? values[0] : "";
            return 0;
        },
        &result, nullptr);
    sqlite3_close(db);
    return result;
}

} // namespace kvad::test
