#pragma once
// The instance trace lines: "KWRX:|{IdIstanza}|{INI|TER}|KVAD_NSO|CLSIE_NSO".

#include <string>
#include <string_view>

namespace kvad::nso {

/// Writes one trace line to the sink set by SetTraceSink, or to the system log at debug level.
void WriteTrace(const std::string& idIstanza, std::string_view phase);

} // namespace kvad::nso
