#pragma once
// The PDF preview of a registered document: its stored XML is rendered by the web-service
// component, saved as a new file in the framework's fixed folder 5 and opened in the viewer.

#include <cstdint>
#include <string>

#include "frame/nso_state.h"
#include "kvad_nso/variant.h"

namespace kvad::nso {

/// Shows document fId as a PDF. Stato and Errore are not reset: a login failure sets
/// kaErrConnessioneNSO, a conversion error kaErrVB, both with the component's text; a document
/// without XML changes nothing. An error raised by the web-service component during the
/// conversion is not trapped: it reaches the caller, without a logout.
void AnteprimaPDF(NsoState& state, std::int32_t fId);

/// Saves the PDF bytes to a new file in fixed folder 5 and opens it in the registered viewer.
/// Every step runs with errors ignored: a step that fails is skipped.
void ApriPDF(const Variant& pdf);

/// A new GUID with "_" in place of "-", the base name of a preview file; Empty on error.
[[nodiscard]] Variant NomeFileTemporaneo();

/// Renders document fId through the web-service component and writes the PDF to `path`
/// (replaced when it exists), or to a new file in fixed folder 5 when `path` is empty; with
/// `open` the viewer then shows it. Resets Stato first and reports every failure in Stato and
/// Errore: no XML kaErrNessunDatoDaElaborare, login kaErrConnessioneNSO, XML that the component
/// cannot convert kaErrImportXML, a file that cannot be written or a viewer that is missing or
/// cannot be started kaErrParametri (the path is returned when the file was written), anything
/// else kaErrVB. Returns the file's path, "" when none was written.
[[nodiscard]] std::string WriteOrderPdf(NsoState& state, std::int32_t fId, const std::string& path,
                                        bool open);

} // namespace kvad::nso
