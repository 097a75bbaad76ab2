#pragma once
// The state of one CLSIE_NSO instance: its public properties and the private members that the
// routines of every subsystem share. Routines are free functions taking this state.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/connection.h"
#include "kvad_nso/enums.h"
#include "kvad_nso/host.h"
#include "kvad_nso/nso_ws.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/variant.h"

namespace kvad::nso {

struct NsoState {
    // Public properties.
    std::string StringaDiConnessione;
    std::shared_ptr<Connection> Connessione;
    Variant CodiceDitta;
    bool Transazione = true;
    std::shared_ptr<HostApplication> ActiveInterface;
    kaEnumNSOErrStato Stato = kaOK;
    std::int16_t ErrorCode = 0;
    Variant Errore;
    std::string NomeTempOrdini = "#TEMP_ORD";
    std::shared_ptr<Recordset> RstOrdini;
    std::shared_ptr<Recordset> RstTestata;
    std::shared_ptr<Recordset> RstCorpo;
    std::shared_ptr<Recordset> RstLogMessages;
    std::string Param_CodiceDocumento;
    Variant Param_DataImport;
    kaEnumModalitaImportazione Param_ModalitaImport = kaInteraCatena;
    std::string Param_Tracciato;

    // Private members.
    std::string idIstanza;
    std::shared_ptr<NumberFormatter> numberFormatter;
    std::shared_ptr<DateObject> dateObject;

    // XPath building blocks of the XML loader, recomputed by every load.
    std::string PrefissoCAC;
    std::string PrefissoCBC;
    std::string ApriCAC;
    std::string ChiudiCAC;
    std::string ApriCBC;
    std::string ChiudiCBC;

    // Web-service objects, held between login and logout.
    std::shared_ptr<NsoService> ServizioNSO;
    std::shared_ptr<NsoDocument> DocumentoNSO;
    std::shared_ptr<NsoCollection> CollezioneNSO;
    std::shared_ptr<NsoAccount> AccountNSO;

    // The import business object and the nesting level of the import's transaction.
    std::shared_ptr<ComObject> boImport;
    int transactionLevel = 0;

    // OnProgress listeners with their tokens.
    std::vector<std::pair<int, ProgressListener>> progressListeners;
    int nextListenerToken = 1;
};

/// Raises OnProgress to every listener, in the order they were added.
void RaiseOnProgress(NsoState& state, kaenumTipoOperazione operation, std::int32_t current,
                     std::int32_t maximum, std::string message);

/// The company code as it is written into statements: its text form, unquoted.
[[nodiscard]] std::string SqlCodiceDitta(const NsoState& state);

/// Resets Stato to kaOK and Errore to "", as the operations that start afresh do.
void ResetStato(NsoState& state);

/// The connection, or VbError 91 ("Object variable or With block variable not set").
[[nodiscard]] Connection& Conn(const NsoState& state);

} // namespace kvad::nso
