#include "app/working_table.h"

#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

bool Missing(const kvad::Variant& value) {
    return value.IsNull() || value.IsEmpty();
}

} // namespace

std::int32_t Whole(const kvad::Variant& value) {
    return Missing(value) ? 0 : value.ToLong();
}

std::string DocumentKind(const kvad::Variant& operazione) {
    const std::int32_t op = Whole(operazione);
    return op == 1 ? "revision" : op == 2 ? "cancellation" : "order";
}

std::string FilterText(const std::string& text) {
    return "'" + kvad::ReplaceAll(text, "'", "''") + "'";
}

std::string DateText(const kvad::Variant& value) {
    try {
        return Missing(value) ? "" : value.ToDate().DateOnly().ToText();
    } catch (const kvad::Error&) {
        return "";
    }
}

std::string IsoDateText(const kvad::Variant& value) {
    try {
        return Missing(value) ? "" : value.ToDate().ToIsoDate();
    } catch (const kvad::Error&) {
        return "";
    }
}

} // namespace nsoapp
