#include "kvad_nso/read_model/values.h"

#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"

namespace kvad::read_model {

ComponentFailure::ComponentFailure(std::string task, kaEnumNSOErrStato stato, std::string errore,
                                   DatabaseCondition condition)
    : std::runtime_error(task + " failed: " + errore), task_(std::move(task)), stato_(stato),
      errore_(std::move(errore)), condition_(condition) {}

std::string DisplayText(const Variant& value) {
    if (value.IsNull() || value.IsEmpty()) {
        return "";
    }
    if (value.Type() == VarType::Date) {
        return value.ToDate().DateOnly().ToText();
    }
    return RightTrim(value.Text());
}

std::string NoteText(const Variant& value) {
    std::string stored = DisplayText(value);
    if (stored == "null") {
        return "";
    }
    if (stored.size() < 2 || stored[0] != 'N' || stored[1] != '\'') {
        return stored;
    }
    std::string body = stored.substr(2);
    if (!body.empty() && body.back() == '\'' &&
        (body.size() - body.find_last_not_of('\'') - 1) % 2 == 1) {
        body.pop_back(); // the closing apostrophe, when the cut left it
    }
    return ReplaceAll(body, "''", "'");
}

std::string DateText(const Variant& value) {
    try {
        return value.IsNull() || value.IsEmpty() ? "" : value.ToDate().DateOnly().ToText();
    } catch (const Error&) {
        return "";
    }
}

std::string IsoDateText(const Variant& value) {
    try {
        return value.IsNull() || value.IsEmpty() ? "" : value.ToDate().ToIsoDate();
    } catch (const Error&) {
        return "";
    }
}

} // namespace kvad::read_model
