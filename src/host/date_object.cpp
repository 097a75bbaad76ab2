#include "date_object.h"

#include "kvad_nso/errors.h"
#include "kvad_nso/variant.h"

namespace kvad::host {

void StandInDate::SetValue(const std::string& text) {
    value_ = DateTime::Parse(Trim(text));
    if (value_ && !value_->IsValid()) {
        value_.reset();
    }
}

std::int32_t StandInDate::ErrorIndicator() const {
    return value_ ? 0 : kInvalidDate;
}

std::string StandInDate::DBFormat() const {
    if (!value_) {
        throw VbError(vberr::kTypeMismatch, "Type mismatch: the value is not a valid date");
    }
    return value_->ToIso();
}

} // namespace kvad::host
