#include "kvad_nso/read_model/users.h"

#include "kvad_nso/date_time.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "rows.h"

namespace kvad::read_model {
namespace {

constexpr std::size_t kLongestName = 50;

std::string CheckedName(const std::string& name) {
    std::string trimmed = Trim(name);
    if (trimmed.empty()) {
        throw Refusal("the user name must not be blank");
    }
    if (Utf8Length(trimmed) > kLongestName) {
        throw Refusal("the user name '" + trimmed + "' is longer than 50 characters");
    }
    return trimmed;
}

} // namespace

void StoreUserHash(Connection& db, const std::string& name, const std::string& hash) {
    const std::string user = CheckedName(name);
    auto rs = db.OpenRecordset("SELECT * FROM KVAD_WEB_USER WHERE WEB_USER_NAME = " +
                               detail::Quoted(user));
    if (rs->Eof()) {
        rs->AddNew();
        rs->SetValue("WEB_USER_NAME", user);
    }
    rs->SetValue("WEB_USER_HASH", hash);
    rs->SetValue("WEB_USER_CHANGED", DateTime::Now());
    rs->Update();
}

std::optional<std::string> UserHash(Connection& db, const std::string& name) {
    const std::string user = Trim(name);
    if (user.empty() || Utf8Length(user) > kLongestName) {
        return std::nullopt;
    }
    auto row = db.Query("SELECT WEB_USER_HASH FROM KVAD_WEB_USER WHERE WEB_USER_NAME = " +
                        detail::Quoted(user));
    if (row->Eof()) {
        return std::nullopt;
    }
    return row->Value("WEB_USER_HASH").Text();
}

} // namespace kvad::read_model
