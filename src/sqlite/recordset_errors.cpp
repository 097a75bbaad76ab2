#include "recordset_errors.h"

#include "kvad_nso/errors.h"

namespace kvad::db {

void ThrowBadArguments() {
    throw VbError(3001, "Arguments are of the wrong type, are out of acceptable range, or are in "
                        "conflict with one another.");
}

void ThrowNoCurrentRecord() {
    throw VbError(3021, "Either BOF or EOF is True, or the current record has been deleted. "
                        "Requested operation requires a current record.");
}

void ThrowNotUpdatable() {
    throw VbError(3251, "Current Recordset does not support updating. This may be a limitation "
                        "of the provider, or of the selected locktype.");
}

void ThrowNotSupported() {
    throw VbError(3251, "Object or provider is not capable of performing requested operation.");
}

void ThrowItemNotFound() {
    throw VbError(3265, "Item cannot be found in the collection corresponding to the requested "
                        "name or ordinal.");
}

void ThrowClosed() {
    throw VbError(3704, "Operation is not allowed when the object is closed.");
}

} // namespace kvad::db
