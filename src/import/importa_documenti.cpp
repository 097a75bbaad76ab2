#include "import/importa_documenti.h"

#include <memory>
#include <string>
#include <vector>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "import/dati_aggiuntivi.h"
#include "import/esito_ordine.h"
#include "import/importa_singolo_ordine.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"
#include "verification/error_log.h"
#include "workspace/ordini.h"

namespace kvad::nso {
namespace {

// Log entries of the import: the order's own attempt succeeded, or the chain failed.
constexpr std::int32_t kImportRiuscito = 14;
constexpr std::int32_t kImportFallito = 0;

// One import attempt: the document and the state right after it.
struct Tentativo {
    std::int32_t id = 0;
    kaEnumNSOErrStato stato = kaOK;
    std::string errore;
};

std::string Messaggio(const Recordset& principale) {
    return "Id : " + principale.Value("IE91_IDORD").Text() + " (" +
           principale.Value("IE91_ISSUEDATE").Text() + ") - " +
           principale.Value("IE91_ENDPOINTID").Text();
}

// Additional data, the import itself and the processed mark of one document; the attempt is
// recorded whatever happened, so a document after a failure carries that failure.
void ImportaDocumento(NsoState& state, std::int32_t id, std::vector<Tentativo>& risultati) {
    if (state.Stato == kaOK) {
        ScriviDatiAggiuntivi(state, id);
    }
    if (state.Stato == kaOK) {
        const Variant documento = ImportaSingoloOrdine(state, id);
        if (state.Stato == kaOK) {
            SettaInfoOrdine(state, id, true, documento);
        }
    }
    risultati.push_back({id, state.Stato, state.Errore.Text()});
}

// The outcome of every attempt of a chain, written once its transaction has ended. Every entry
// gets the chain's outcome; the log tells which attempt failed.
void RegistraEsiti(NsoState& state, const std::vector<Tentativo>& risultati) {
    const bool fallita = state.Stato != kaOK;
    kaEnumNSOErrStato stato = state.Stato;
    Variant errore = state.Errore;
    // Clearing the log resets the state, so a failure to record is kept as it happens.
    bool registrazioneFallita = false;
    auto controlla = [&] {
        if (state.Stato != kaOK && !registrazioneFallita) {
            registrazioneFallita = true;
            stato = state.Stato;
            errore = state.Errore;
        }
    };
    bool primoErrore = true;
    for (const Tentativo& tentativo : risultati) {
        SettaEsitoOrdine(state, tentativo.id, fallita);
        controlla();
        EliminaLogErrors(state, tentativo.id, true, true, Contesto_ImportDati, 0, "");
        controlla();
        if (tentativo.stato == kaOK) {
            ScriviErrorLog(state, tentativo.id, 0, 0, kImportRiuscito, "", kaVerificaOk,
                           Contesto_ImportDati, "");
        } else if (primoErrore) {
            ScriviErrorLog(state, tentativo.id, 0, 0, kImportFallito, "", kaVerificaCritical,
                           Contesto_ImportDati, tentativo.errore);
            primoErrore = false;
        }
        controlla();
    }
    // The host reads the chain's outcome, or the first failure to record it.
    state.Stato = stato;
    state.Errore = errore;
}

} // namespace

void ImportaDocumenti(NsoState& state) {
    ImportMembers& membri = Importazione(state);
    GuardOptions opzioni;
    opzioni.beforeHandler = [&] {
        if (membri.livelloTransazione == 0) {
            return;
        }
        membri.livelloTransazione = 0;
        // The error text reports what failed, not the rollback.
        const std::vector<ProviderError> errori = Conn(state).Errors();
        try {
            Conn(state).RollbackTrans();
        } catch (...) {
        }
        Conn(state).Errors() = errori;
    };
    Guard(
        state, "ImportaDocumenti",
        [&] {
            if (!state.RstOrdini) {
                ThrowObjectNotSet();
            }
            auto principali = state.RstOrdini->Clone();
            auto catena = state.RstOrdini->Clone();
            principali->SetFilter("(ID_PADRE = NULL AND TMP_ELABORA = 2) OR (ID_PADRE = NULL "
                                  "AND TMP_ELABORA = 4)");
            const auto totale = static_cast<std::int32_t>(principali->RecordCount());
            std::int32_t posizione = 0;
            for (; !principali->Eof(); principali->MoveNext()) {
                std::vector<Tentativo> risultati;
                std::string daChiudere;
                ResetStatus(state);
                RaiseOnProgress(state, kaOperazioneImport, ++posizione, totale,
                                Messaggio(*principali));
                if (state.Transazione && membri.livelloTransazione == 0) {
                    membri.livelloTransazione = Conn(state).BeginTrans();
                }

                const std::int32_t id = principali->Value("IE91_ID").ToLong();
                const std::int32_t elabora = principali->Value("TMP_ELABORA").ToLong();
                if (elabora == kDaImportare) {
                    ImportaDocumento(state, id, risultati);
                } else if (elabora == kAnnullamento && state.Stato == kaOK) {
                    // A cancellation counts as processed, without a document.
                    SettaInfoOrdine(state, id, true, Variant());
                }

                const std::string padre =
                    "ID_PADRE = " + FilterLiteral(principali->Value("ID_RIGA").Text());
                // The older documents, oldest first. They are visited whatever happened: after
                // a failure a document to import is not attempted, but its entry carries the
                // failure.
                catena->SetFilter(padre);
                if (catena->RecordCount() > 0) {
                    catena->SetSort("LIVELLO DESC");
                    for (catena->MoveFirst(); !catena->Eof(); catena->MoveNext()) {
                        const std::int32_t vecchio = catena->Value("IE91_ID").ToLong();
                        const std::int32_t codice = catena->Value("TMP_ELABORA").ToLong();
                        if (codice == kDaImportare) {
                            ImportaDocumento(state, vecchio, risultati);
                        } else if ((codice == kNonImportato || codice == kAnnullamento) &&
                                   state.Stato == kaOK &&
                                   !IsDecimalAboveZero(catena->Value("IE91_PROCESSATO"))) {
                            SettaInfoOrdine(state, vecchio, true, Variant());
                        }
                    }
                }
                if (state.Stato == kaOK) {
                    catena->SetFilter(padre + " AND TMP_FLGNONPIUEV = 1");
                    if (catena->RecordCount() > 0) {
                        catena->SetSort("LIVELLO DESC");
                        for (catena->MoveFirst(); !catena->Eof(); catena->MoveNext()) {
                            daChiudere += catena->Value("IE91_ID").Text() + ",";
                        }
                    }
                }
                if (state.Stato == kaOK && !daChiudere.empty()) {
                    daChiudere.pop_back();
                    RendiNonPiuEvadibile(state, daChiudere);
                    if (state.Stato != kaOK) {
                        risultati.push_back({id, state.Stato, state.Errore.Text()});
                    }
                }
                if (membri.livelloTransazione > 0) {
                    if (state.Stato == kaOK) {
                        Conn(state).CommitTrans();
                    } else {
                        Conn(state).RollbackTrans();
                    }
                    membri.livelloTransazione = 0;
                }
                RegistraEsiti(state, risultati);
            }
            principali.reset();
            catena.reset();
            if (!state.RstTestata) {
                ThrowObjectNotSet();
            }
            state.RstTestata->Requery();
        },
        opzioni);
}

} // namespace kvad::nso
