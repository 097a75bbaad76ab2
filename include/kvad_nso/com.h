#pragma once
/// Objects created by ProgID. Outside a COM environment, hosts bind classes by registering a
/// factory under the ProgID; the component creates the host framework's objects (and the
/// host creates the component) through CreateObject.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "kvad_nso/errors.h"

namespace kvad {

/// Base of every object that can be created by ProgID.
class ComObject {
  public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    ComObject(ComObject&&) = delete;
    ComObject& operator=(ComObject&&) = delete;
    virtual ~ComObject() = default;
};

using ObjectFactory = std::function<std::shared_ptr<ComObject>()>;

/// Registers (or replaces) the factory of a ProgID. ProgIDs compare case-insensitively.
void RegisterClass(std::string_view progId, ObjectFactory factory);
/// Removes a registration; later creations of that ProgID fail.
void UnregisterClass(std::string_view progId);
/// True when a factory is registered for the ProgID.
[[nodiscard]] bool IsClassRegistered(std::string_view progId);

/// Creates an object by ProgID. Throws VbError 429 ("ActiveX component can't create object")
/// when nothing is registered under it.
[[nodiscard]] std::shared_ptr<ComObject> CreateObject(std::string_view progId);

/// Creates an object by ProgID and asks it for interface T. Throws VbError 429 when the ProgID
/// is unknown and VbError 13 ("Type mismatch") when the object lacks the interface.
template <class T> [[nodiscard]] std::shared_ptr<T> CreateObjectAs(std::string_view progId) {
    auto object = std::dynamic_pointer_cast<T>(CreateObject(progId));
    if (!object) {
        ThrowTypeMismatch();
    }
    return object;
}

} // namespace kvad
