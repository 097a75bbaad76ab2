#pragma once
// The instance trace lines: "KWRX:|{IdIstanza}|{INI|TER}|KVAD_NSO|CLSIE_NSO".

#include <functional>
#include <string>
#include <string_view>

namespace kvad::nso {

/// A new GUID as 32 upper-case hexadecimal digits without separators or braces; "" when the
/// system cannot make one.
[[nodiscard]] std::string NuovoGuid();

/// Sends the trace lines to `sink` instead of the system log (an empty function restores it).
void SetTraceSink(std::function<void(const std::string&)> sink);

/// Writes one trace line to the sink set by SetTraceSink, or to the system log at debug level.
void WriteTrace(const std::string& idIstanza, std::string_view phase);

} // namespace kvad::nso
