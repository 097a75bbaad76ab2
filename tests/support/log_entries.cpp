#include "support/log_entries.h"

#include "kvad_nso/recordset.h"

namespace kvad::test {
namespace {

std::int32_t WholeOrZero(const Variant& value) {
    return value.IsNull() ? 0 : value.ToLong();
}

} // namespace

std::vector<LogEntry> ReadLog(Connection& db, const std::string& where) {
    std::vector<LogEntry> entries;
    auto rs = db.Query("SELECT IE98_ID_IE91, IE98_ID_IE94, IE98_PROGRIGA_DO30, IE98_CODE_IE97, "
                       "IE98_FIELD, IE98_TYPE, IE98_CONTESTO, IE98_ERRORMESSAGE FROM "
                       "IE98_NSO_LOGERRORS" +
                       (where.empty() ? std::string() : " WHERE " + where) + " ORDER BY IE98_ID");
    for (; !rs->Eof(); rs->MoveNext()) {
        LogEntry entry;
        entry.document = WholeOrZero(rs->Value("IE98_ID_IE91"));
        entry.stagedLine = WholeOrZero(rs->Value("IE98_ID_IE94"));
        entry.line = WholeOrZero(rs->Value("IE98_PROGRIGA_DO30"));
        entry.code = WholeOrZero(rs->Value("IE98_CODE_IE97"));
        entry.field = rs->Value("IE98_FIELD");
        entry.severity = WholeOrZero(rs->Value("IE98_TYPE"));
        entry.context = WholeOrZero(rs->Value("IE98_CONTESTO"));
        entry.message = rs->Value("IE98_ERRORMESSAGE");
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<LogEntry> ReadLogOf(Connection& db, std::int32_t document, const std::string& where) {
    std::string condition = "IE98_ID_IE91 = " + std::to_string(document);
    if (!where.empty()) {
        condition += " AND (" + where + ")";
    }
    return ReadLog(db, condition);
}

std::string EntryLine(const LogEntry& entry) {
    return std::to_string(entry.code) + " " + entry.field.Text() + " type " +
           std::to_string(entry.severity) + " context " + std::to_string(entry.context) + " line " +
           std::to_string(entry.line);
}

} // namespace kvad::test
