#include "workspace/recupera_ordini.h"

#include <memory>
#include <string>

#include "decoding/trascodifica_ordine.h"
#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "ubl/xml_loader.h"
#include "verification/error_log.h"
#include "verification/verifica_dati.h"
#include "workspace/ordini.h"

namespace kvad::nso {
namespace {

// IE91_OPERAZIONE of a cancellation.
constexpr std::int32_t kOpAnnullamento = 2;

void ScriviCodici(Recordset& row, std::int32_t elabora, std::int32_t nonPiuEvadibile) {
    row.SetValue("TMP_ELABORA", elabora);
    row.SetValue("TMP_FLGNONPIUEV", nonPiuEvadibile);
    row.Update();
}

/// The code of a chain's main row from its own document, when no older one is delivered.
std::int32_t CodicePrincipale(const Recordset& main) {
    const Variant op = ValoreDecimale(main.Value("IE91_OPERAZIONE"));
    if (!op.IsNumber()) {
        return kNienteDaFare;
    }
    const Decimal value = op.ToDecimal();
    if (value == Decimal(kOpAnnullamento)) {
        return kAnnullamento;
    }
    if (value == Decimal(0) || value == Decimal(1)) {
        return LunghezzaTesto(main.Value("DO11_NUMREG_CO99")) > 0 ? kNienteDaFare : kDaImportare;
    }
    return kNienteDaFare;
}

/// Resets the working codes and writes those of the selected chains. Returns a clone of
/// RstOrdini over the selected main rows, or null (Stato set) when none is selected.
std::shared_ptr<Recordset> ScriviCodiciElaborazione(NsoState& state) {
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
                        ScriviCodici(*catena, kConsegnato, 0);
                        consegnato = true;
                    } else {
                        ScriviCodici(*catena, kDaChiudere, 1);
                    }
                } else if (state.Param_ModalitaImport != kaInteraCatena) {
                    ScriviCodici(*catena, kNonImportato, 0);
                } else {
                    ScriviCodici(*catena, kDaImportare, 1);
                }
            }
        }
        ScriviCodici(*principali, consegnato ? kCatenaConsegnata : CodicePrincipale(*principali),
                     0);
    }
    return principali;
}

} // namespace

void RecuperaOrdini(NsoState& state) {
    ResetStatus(state);
    state.RstTestata.reset();
    state.RstCorpo.reset();
    state.RstLogMessages.reset();
    Guard(state, "RecuperaOrdini", [&] {
        auto documenti = ScriviCodiciElaborazione(state);
        if (!documenti) {
            return;
        }
        documenti->SetFilter(
            "TMP_ELABORA = 2 OR TMP_ELABORA = 4 OR TMP_ELABORA = 5 OR TMP_ELABORA = 6");
        // Nothing resets Stato between documents: the first failure stops all that follow.
        for (documenti->MoveFirst(); !documenti->Eof(); documenti->MoveNext()) {
            const std::int32_t id = documenti->Value("IE91_ID").ToLong();
            if (state.Stato != kaOK) {
                continue;
            }
            GetOrderFromXML(state, id, false);
            if (state.Stato != kaOK) {
                continue;
            }
            EliminaLogErrors(state, id, true, true, Contesto_Tutti, 0, "");
            if (state.Stato != kaOK) {
                continue;
            }
            TrascodificaOrdine(state, id, false);
            if (state.Stato != kaOK) {
                continue;
            }
            VerificaDati(state, documenti->Value("TMP_ELABORA").ToInteger(), id, true, true, 0);
        }
        state.RstOrdini->Requery();
    });
}

void AssignProcessingCodes(NsoState& state) {
    ResetStatus(state);
    Guard(state, "AssignProcessingCodes", [&] {
        if (ScriviCodiciElaborazione(state)) {
            state.RstOrdini->Requery();
        }
    });
}

} // namespace kvad::nso
