#include "workspace/recupera_ordini.h"

#include <memory>
#include <string>

#include "decoding/trascodifica_ordine.h"
#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "frame/transaction.h"
#include "kvad_nso/codes.h"
#include "ubl/xml_loader.h"
#include "verification/error_log.h"
#include "verification/verifica_dati.h"
#include "workspace/ordini.h"

namespace kvad::nso {
namespace {

void WriteCodes(Recordset& row, std::int32_t processingCode, std::int32_t toClose) {
    row.SetValue("TMP_ELABORA", processingCode);
    row.SetValue("TMP_FLGNONPIUEV", toClose);
    row.Update();
}

/// The code of a chain's main row from its own document, when no older one is delivered.
std::int32_t MainRowCode(const Recordset& main) {
    const Variant op = ValoreDecimale(main.Value("IE91_OPERAZIONE"));
    if (!op.IsNumber()) {
        return processing::kNothing;
    }
    const Decimal value = op.ToDecimal();
    if (value == Decimal(operation::kCancellation)) {
        return processing::kCancellation;
    }
    if (value == Decimal(operation::kOrder) || value == Decimal(operation::kRevision)) {
        return LunghezzaTesto(main.Value("DO11_NUMREG_CO99")) > 0 ? processing::kNothing
                                                                  : processing::kToImport;
    }
    return processing::kNothing;
}

/// Resets the working codes and writes those of the selected chains. Returns a clone of
/// RstOrdini over the selected main rows, or null (Stato set) when none is selected.
std::shared_ptr<Recordset> WriteProcessingCodes(NsoState& state) {
    Conn(state).Execute("UPDATE " + state.NomeTempOrdini +
                        " SET TMP_ELABORA = 0,     TMP_FLGNONPIUEV = 0,     TMP_ESITO = 0,     "
                        "TMP_GESTIONE = 0");
    if (!state.RstOrdini) {
        ThrowObjectNotSet();
    }
    state.RstOrdini->Requery();

    auto principali = state.RstOrdini->Clone();
    principali->SetFilter("TMP_IMG_SEL = 1");
    if (principali->Eof()) {
        state.Stato = kaErrNessunDatoDaElaborare;
        state.Errore = "Nessun dato da elaborare";
        return nullptr;
    }
    auto catena = state.RstOrdini->Clone();
    for (principali->MoveFirst(); !principali->Eof(); principali->MoveNext()) {
        bool consegnato = false;
        catena->SetFilter("ID_PADRE = " + FilterLiteral(principali->Value("ID_RIGA").Text()));
        if (!catena->Eof()) {
            catena->SetSort("LIVELLO DESC"); // the oldest document first
            for (catena->MoveFirst(); !catena->Eof(); catena->MoveNext()) {
                if (LunghezzaTesto(catena->Value("DO11_NUMREG_CO99")) > 0) {
                    if (IsDecimalAboveZero(catena->Value("TMP_ORDINE_CONSEGNATO"))) {
                        WriteCodes(*catena, processing::kDelivered, 0);
                        consegnato = true;
                    } else {
                        WriteCodes(*catena, processing::kToClose, 1);
                    }
                } else if (state.Param_ModalitaImport != kaInteraCatena) {
                    WriteCodes(*catena, processing::kNotImported, 0);
                } else {
                    WriteCodes(*catena, processing::kToImport, 1);
                }
            }
        }
        WriteCodes(*principali, consegnato ? processing::kDeliveredChain : MainRowCode(*principali),
                   0);
    }
    return principali;
}

/// One document's processing step as one unit of work (a transaction, or a savepoint inside the
/// host's): its XML loaded when needed, its log cleared, its decoding and its verification are
/// kept together when every step ends with Stato kaOK, and undone together otherwise, so that
/// its staging rows, decoded rows and log always agree. Stato and Errore of the failing step
/// stay for the caller; a database failure that a step got past (a later step reset Stato)
/// undoes the unit as well and ends RecuperaOrdini through its failure path. On SQLite the write
/// lock is held from the start, before any step asks what the document already has.
void ProcessDocument(NsoState& state, std::int32_t id, std::int16_t code) {
    Transaction unit(state);
    const bool done = [&] {
        GetOrderFromXML(state, id, false);
        if (state.Stato != kaOK) {
            return false;
        }
        EliminaLogErrors(state, id, true, true, Contesto_Tutti, 0, "");
        if (state.Stato != kaOK) {
            return false;
        }
        TrascodificaOrdine(state, id, false);
        if (state.Stato != kaOK) {
            return false;
        }
        VerificaDati(state, code, id, true, true, 0);
        return state.Stato == kaOK;
    }();
    if (done) {
        // A database failure that a step got past is undone and reported all the same.
        unit.CommitOrRethrowFault();
    } else {
        RollBackQuietly(unit);
    }
}

} // namespace

void RecuperaOrdini(NsoState& state) {
    ResetStatus(state);
    state.RstTestata.reset();
    state.RstCorpo.reset();
    state.RstLogMessages.reset();
    Guard(state, "RecuperaOrdini", [&] {
        auto documenti = WriteProcessingCodes(state);
        if (!documenti) {
            return;
        }
        documenti->SetFilter("TMP_ELABORA = " + std::to_string(processing::kToImport) +
                             " OR TMP_ELABORA = " + std::to_string(processing::kCancellation) +
                             " OR TMP_ELABORA = " + std::to_string(processing::kDelivered) +
                             " OR TMP_ELABORA = " + std::to_string(processing::kDeliveredChain));
        // Nothing resets Stato between documents: the first failure stops all that follow. The
        // filter leaves the cursor on its first row; with none (every selected chain has nothing
        // to load) there is nothing to walk.
        for (; !documenti->Eof(); documenti->MoveNext()) {
            const std::int32_t id = documenti->Value("IE91_ID").ToLong();
            if (state.Stato != kaOK) {
                continue;
            }
            ProcessDocument(state, id, documenti->Value("TMP_ELABORA").ToInteger());
        }
        state.RstOrdini->Requery();
    });
}

void AssignProcessingCodes(NsoState& state) {
    ResetStatus(state);
    Guard(state, "AssignProcessingCodes", [&] {
        if (WriteProcessingCodes(state)) {
            state.RstOrdini->Requery();
        }
    });
}

} // namespace kvad::nso
