#include "verification/verifica_dati.h"

#include <memory>
#include <string>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/text.h"
#include "verification/error_log.h"

namespace kvad::nso {
namespace {

// Message codes of the verification.
constexpr std::int32_t kCatenaConsegnata = 13;
constexpr std::int32_t kDocumentoMancante = 100;
constexpr std::int32_t kSezionaleMancante = 101;
constexpr std::int32_t kDepositoMancante = 102;
constexpr std::int32_t kClienteMancante = 103;
constexpr std::int32_t kValutaMancante = 104;
constexpr std::int32_t kDestinazioneMancante = 105;
constexpr std::int32_t kArticoloMancante = 200;
constexpr std::int32_t kDataConsegnaMancante = 201;
constexpr std::int32_t kIvaMancante = 202;
constexpr std::int32_t kIvaSconosciuta = 203;

// Line type of a description line, which is not checked.
constexpr std::int32_t kRigaDescrittiva = 2;

std::string N(std::int32_t value) {
    return std::to_string(value);
}

bool Vuoto(const Variant& value) {
    return LunghezzaTesto(value) == 0;
}

/// A whole number read as ValoreDecimale reads it: 0 for null or no number.
std::int32_t Intero(const Variant& value) {
    const Variant number = ValoreDecimale(value);
    return number.IsNumber() ? static_cast<std::int32_t>(number.ToDecimal().ToInt64Rounded()) : 0;
}

/// The highest severity a query returns, or 1 when it returns nothing above 0.
std::int32_t GravitaMassima(NsoState& state, const std::string& sql) {
    auto rs = Conn(state).Query(sql);
    const Variant highest = rs->Eof() ? Variant::Null() : rs->Value("MAX_IE98_TYPE");
    return IsDecimalAboveZero(highest) ? Intero(highest) : kaVerificaOk;
}

/// A clone of a host's recordset showing only the rows of `filter`.
std::shared_ptr<Recordset> Filtrato(Recordset& rs, const std::string& filter) {
    auto clone = rs.Clone();
    clone->SetFilter(filter);
    return clone;
}

void ScriviTestata(NsoState& state, std::int32_t fId, std::int32_t code, const char* field,
                   std::int32_t severity) {
    ScriviErrorLog(state, fId, 0, 0, code, field, severity, Contesto_VerificaDati, "");
}

void VerificaTestata(NsoState& state, std::int32_t fId) {
    EliminaLogErrors(state, fId, true, false, Contesto_VerificaDati, 0, "");
    std::shared_ptr<Recordset> h;
    if (!state.RstTestata) {
        h = Conn(state).Query("SELECT * FROM IE92_NSOTESTATAXML WITH (NOLOCK) INNER JOIN "
                              "IE93_NSOTESTATA WITH (NOLOCK) ON IE93_ID_IE91 = IE92_ID_IE91 WHERE "
                              "IE92_ID_IE91 = " +
                              N(fId));
    } else {
        h = Filtrato(*state.RstTestata, "IE93_ID_IE91 = " + N(fId));
    }
    if (h->Eof()) {
        return;
    }
    if (Vuoto(h->Value("IE93_DO11_CODDOCUM_MG3G"))) {
        ScriviTestata(state, fId, kDocumentoMancante, "IE93_DO11_CODDOCUM_MG3G",
                      kaVerificaCritical);
    }
    if (Vuoto(h->Value("IE93_DO11_SEZDOC"))) {
        ScriviTestata(state, fId, kSezionaleMancante, "IE93_DO11_SEZDOC", kaVerificaCritical);
    }
    if (Vuoto(h->Value("IE93_DO11_CODDEP"))) {
        ScriviTestata(state, fId, kDepositoMancante, "IE93_DO11_CODDEP", kaVerificaCritical);
    }
    // A customer that decoding did not find is 0; a null was never decoded and is not reported.
    const Variant cliente = h->Value("IE93_DO11_CLIFOR_CG44");
    if (!cliente.IsNull() && !cliente.IsEmpty() && cliente.ToDecimal().IsZero()) {
        ScriviTestata(state, fId, kClienteMancante, "IE93_DO11_CLIFOR_CG44", kaVerificaCritical);
    }
    if (Vuoto(h->Value("IE93_DO11_VALUTA_CG08"))) {
        ScriviTestata(state, fId, kValutaMancante, "IE93_DO11_VALUTA_CG08", kaVerificaCritical);
    }
    if (Vuoto(h->Value("IE93_DO11_CLIFORDEST")) &&
        !Vuoto(h->Value("IE92_Delivery_DeliveryLocation_ID"))) {
        ScriviTestata(state, fId, kDestinazioneMancante, "IE93_DO11_CLIFORDEST", kaVerificaWarning);
    }
}

void VerificaRighe(NsoState& state, std::int32_t fId, std::int32_t fProgRiga) {
    EliminaLogErrors(state, fId, false, true, Contesto_VerificaDati, fProgRiga, "");
    std::shared_ptr<Recordset> righe;
    if (!state.RstCorpo) {
        std::string sql = "SELECT * FROM IE95_NSOCORPO WITH (NOLOCK) LEFT OUTER JOIN "
                          "IE94_NSOCORPOXML WITH (NOLOCK) ON IE94_ID = IE95_ID_IE94 WHERE "
                          "IE95_ID_IE91 = " +
                          N(fId);
        if (fProgRiga != 0) {
            sql += " AND IE95_DO30_PROGRIGA = " + N(fProgRiga);
        }
        righe = Conn(state).OpenRecordset(sql);
    } else {
        std::string filter = "IE95_ID_IE91 = " + N(fId);
        if (fProgRiga != 0) {
            filter += " AND IE95_DO30_PROGRIGA = " + N(fProgRiga);
        }
        righe = Filtrato(*state.RstCorpo, filter);
    }
    if (!righe->IsOpen() || righe->Eof()) {
        return;
    }
    for (righe->MoveFirst(); !righe->Eof(); righe->MoveNext()) {
        const std::int32_t idIE94 = Intero(righe->Value("IE94_ID"));
        const std::int32_t progRiga = Intero(righe->Value("IE95_DO30_PROGRIGA"));
        const auto scrivi = [&](std::int32_t code, const char* field, std::int32_t severity) {
            ScriviErrorLog(state, fId, idIE94, progRiga, code, field, severity,
                           Contesto_VerificaDati, "");
        };
        if (Intero(righe->Value("IE95_DO30_INDTIPORIGA")) != kRigaDescrittiva) {
            if (Vuoto(righe->Value("IE95_DO30_CODART_MG66")) &&
                !Vuoto(righe->Value("IE94_LineItem_Item_SellersItemIdentification_ID"))) {
                scrivi(kArticoloMancante, "IE95_DO30_CODART_MG66", kaVerificaWarning);
            }
            if (Vuoto(righe->Value("IE95_DO31_DATACONS"))) {
                scrivi(kDataConsegnaMancante, "IE95_DO31_DATACONS", kaVerificaWarning);
            }
            const Variant iva = righe->Value("IE95_DO30_ALIVA_CG28");
            if (Vuoto(iva)) {
                scrivi(kIvaMancante, "IE95_DO30_ALIVA_CG28", kaVerificaCritical);
            } else {
                // The code as stored, its quotes doubled; the VAT table has no company.
                auto codice = Conn(state).Query(
                    "SELECT TOP 1 1 FROM CG28_TABCODIVA WITH (NOLOCK) WHERE CG28_CODICE = '" +
                    ReplaceAll(iva.Text(), "'", "''") + "'");
                if (codice->Eof()) {
                    scrivi(kIvaSconosciuta, "IE95_DO30_ALIVA_CG28", kaVerificaCritical);
                }
            }
        }
        const std::int32_t status = GravitaMassima(
            state, "SELECT MAX(IE98_TYPE) AS MAX_IE98_TYPE FROM IE98_NSO_LOGERRORS WITH "
                   "(NOLOCK) WHERE IE98_ID_IE91       = " +
                       N(fId) + " AND       IE98_PROGRIGA_DO30 = " + N(progRiga) +
                       " AND       IE98_CONTESTO      = 1");
        righe->SetValue("IE95_STATUS", status);
        righe->Update();
    }
}

} // namespace

void VerificaDati(NsoState& state, std::int16_t fOperazione, std::int32_t fId, bool fTestata,
                  bool fCorpo, std::int32_t fProgRiga) {
    ResetStatus(state);
    Guard(state, "VerificaDati", [&] {
        std::int32_t stato = kaVerificaOk;
        switch (fOperazione) {
        case 4: // a cancellation
            EliminaLogErrors(state, fId, true, true, Contesto_VerificaDati, 0, "");
            break;
        case 5: // an older document whose ERP order has deliveries
            EliminaLogErrors(state, fId, true, true, Contesto_VerificaDati, 0, "");
            stato = kaVerificaPuntoEsclamativo;
            break;
        case 6: // a main row blocked by an older document with deliveries
            EliminaLogErrors(state, fId, true, true, Contesto_VerificaDati, 0, "");
            ScriviErrorLog(state, fId, 0, 0, kCatenaConsegnata, "", kaVerificaCritical,
                           Contesto_VerificaDati, "");
            stato = kaVerificaCerottoRosso;
            break;
        default:
            if (fTestata) {
                VerificaTestata(state, fId);
            }
            if (fCorpo) {
                VerificaRighe(state, fId, fProgRiga);
            }
            // Every entry of the order counts here, of any context, header and lines alike.
            stato = GravitaMassima(state,
                                   "SELECT MAX(IE98_TYPE) AS MAX_IE98_TYPE FROM IE98_NSO_LOGERRORS "
                                   "WITH (NOLOCK) WHERE IE98_ID_IE91  = " +
                                       N(fId));
            break;
        }

        if (!state.RstTestata) {
            Conn(state).Execute("UPDATE IE93_NSOTESTATA SET IE93_STATUS = " + N(stato) +
                                " WHERE IE93_ID_IE91 = " + N(fId));
        } else {
            auto h = Filtrato(*state.RstTestata, "IE93_ID_IE91 = " + N(fId));
            if (!h->Eof()) {
                h->SetValue("IE93_STATUS", stato);
                h->Update();
            }
        }
        if (state.RstLogMessages && state.RstLogMessages->IsOpen()) {
            state.RstLogMessages->Requery();
        }
    });
}

} // namespace kvad::nso
