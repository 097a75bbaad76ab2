#pragma once
// Retrieval of new documents from the document platform through the web-service component:
// login, listing since the last retrieval, registration, download, loading and linking.

#include <cstdint>
#include <memory>
#include <string>

#include "frame/nso_state.h"
#include "kvad_nso/document_outcome.h"
#include "kvad_nso/nso_ws.h"

namespace kvad::nso {

/// The web-service client objects, held between login and logout; why the last download that
/// stored nothing failed; and what the last retrieval did. Only the retrieval writes them
/// (src/retrieval/web_service_writer.h); others read them.
struct WebServiceState {
    class Writer;

    std::shared_ptr<NsoService> ServizioNSO;
    std::shared_ptr<NsoDocument> DocumentoNSO;
    std::shared_ptr<NsoCollection> CollezioneNSO;
    std::shared_ptr<NsoAccount> AccountNSO;

    IntakeOutcome downloadOutcome = IntakeOutcome::DownloadFailed;
    std::string downloadProblem;
    RetrievalReport report;
};

/// The web-service objects of this instance, read-only.
[[nodiscard]] inline const WebServiceState& WebService(const NsoState& state) {
    return state.Part<WebServiceState>();
}

/// The logged-in web service, or VbError 91 when there is none.
[[nodiscard]] NsoService& Service(const NsoState& state);

/// Brings in the company's documents received since the day before Param_DataImport, registers
/// each new one, downloads, loads and links it, and records the retrieval in the configuration.
/// Each listed document is handled in one transaction (a savepoint inside the host's): a new
/// document's register row, XML, staging rows, log entries, references and intake record are
/// kept together or not at all. A database failure undoes the document and stops the run
/// through its failure path. What the run did is in WebService(state).report.
void RecuperaOrdiniNSO(NsoState& state);

/// Creates the web-service objects and logs in with the account's credentials. True when
/// logged in; otherwise `errorText` says why.
bool NSOLogin(NsoState& state, std::string& errorText, Variant& extra);

/// NSOLogin as the routines that use the platform call it: when the login fails, Stato is
/// kaErrConnessioneNSO and Errore the platform's text, and the result is false.
bool LogInToPlatform(NsoState& state);

/// Releases the document and collection and logs out. Always true.
bool NSOLogout(NsoState& state);

/// Downloads the XML of a registered document into its row when it has none (or always, with
/// fForzaDownload). False when the download reported an error or anything failed; the reason is
/// then in WebService(state).downloadProblem. Text holding NUL bytes is not stored (it cannot be
/// text): false.
bool ScaricaXMLOrdine(NsoState& state, std::int32_t fId, bool fForzaDownload);

/// The platform's start-date text for a first retrieval date: the day before, as
/// "yyyy-mm-dd 00:00:00".
[[nodiscard]] std::string RetrievalStartText(const Variant& dataImport);

} // namespace kvad::nso
