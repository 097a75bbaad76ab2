#include "kvad_nso/errors.h"

namespace kvad {

void ThrowTypeMismatch() {
    throw VbError(vberr::kTypeMismatch, "Type mismatch");
}

void ThrowInvalidUseOfNull() {
    throw VbError(vberr::kInvalidUseOfNull, "Invalid use of Null");
}

void ThrowOverflow() {
    throw VbError(vberr::kOverflow, "Overflow");
}

void ThrowObjectNotSet() {
    throw VbError(vberr::kObjectNotSet, "Object variable or With block variable not set");
}

} // namespace kvad
