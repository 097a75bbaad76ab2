#pragma once
// The runtime errors that recordsets raise, with ADO's numbers and texts.

#include <string_view>

namespace kvad::db {

/// 3001: a filter or sort text that cannot be read, or a value that does not fit it.
[[noreturn]] void ThrowBadArguments();
/// 3021: the operation needs a current row and there is none.
[[noreturn]] void ThrowNoCurrentRecord();
/// 3251: the recordset cannot be updated (one-pass results).
[[noreturn]] void ThrowNotUpdatable();
/// 3251: the recordset does not support the operation (one-pass results).
[[noreturn]] void ThrowNotSupported();
/// 3265: no field (or property) of that name or position.
[[noreturn]] void ThrowItemNotFound();
/// 3704: the recordset is closed.
[[noreturn]] void ThrowClosed();

} // namespace kvad::db
