#include "app/order_ref.h"

#include <charconv>
#include <optional>
#include <stdexcept>
#include <vector>

#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

/// The text as a register id, when it is one (digits only, within range).
std::optional<std::int32_t> AsRegisterId(const std::string& text) {
    std::int32_t id = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, id);
    if (text.empty() || text.front() == '-' || error != std::errc() || rest != end || id <= 0) {
        return std::nullopt;
    }
    return id;
}

} // namespace

std::int32_t ResolveDocument(kvad::Connection& db, std::int32_t company, const std::string& text) {
    const std::string ditta = std::to_string(company);
    if (const auto id = AsRegisterId(text)) {
        auto rows = db.Query("SELECT IE91_ID FROM IE91_NSOFILES WHERE IE91_DITTA_CG18 = " + ditta +
                             " AND IE91_ID = " + std::to_string(*id));
        if (!rows->Eof()) {
            return *id;
        }
    }
    auto rows = db.Query("SELECT IE91_ID, IE91_ISSUEDATE, IE91_ENDPOINTID FROM IE91_NSOFILES "
                         "WHERE IE91_DITTA_CG18 = " +
                         ditta + " AND IE91_IDORD = '" + kvad::ReplaceAll(text, "'", "''") +
                         "' ORDER BY IE91_ID");
    std::vector<std::int32_t> ids;
    std::string candidates;
    for (; !rows->Eof(); rows->MoveNext()) {
        ids.push_back(rows->Value("IE91_ID").ToLong());
        candidates += (candidates.empty() ? "" : ", ") + rows->Value("IE91_ID").Text() + " (" +
                      rows->Value("IE91_ISSUEDATE").Text() + ", " +
                      rows->Value("IE91_ENDPOINTID").Text() + ")";
    }
    if (ids.size() == 1) {
        return ids.front();
    }
    if (ids.empty()) {
        throw std::runtime_error("no document of company " + ditta +
                                 " has register id or order number \"" + text +
                                 "\" (`nso list --all` shows the received documents)");
    }
    throw std::runtime_error("order number \"" + text + "\" is ambiguous for company " + ditta +
                             ": give one of the register ids " + candidates);
}

} // namespace nsoapp
