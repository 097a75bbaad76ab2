#include "retrieval/recupero_ordini.h"

#include "component/failure_path.h"
#include "config/configurazione.h"
#include "db/formato_db.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"
#include "retrieval/riferimenti.h"
#include "ubl/xml_loader.h"

namespace kvad::nso {
namespace {

void Puntatore(NsoState& state, bool busy) {
    if (!state.ActiveInterface) {
        return;
    }
    try {
        state.ActiveInterface->SetBusyPointer(busy);
    } catch (...) {
    }
}

HostApplication& Host(const NsoState& state) {
    if (!state.ActiveInterface) {
        ThrowObjectNotSet();
    }
    return *state.ActiveInterface;
}

NsoService& Servizio(const NsoState& state) {
    if (!state.ServizioNSO) {
        ThrowObjectNotSet();
    }
    return *state.ServizioNSO;
}

// Registers one listed document when its identifying triple is new; returns true when it was.
bool RegistraDocumento(NsoState& state, const std::string& ditta, const Variant& hubId,
                       const Variant& numero, const Variant& data, const Variant& endpoint) {
    auto rs = Conn(state).OpenRecordset(
        "SELECT * FROM IE91_NSOFILES WITH (NOLOCK) WHERE IE91_DITTA_CG18 = " + ditta +
        " AND       IE91_IDORD      = '" + ReplaceAll(numero.Text(), "'", "''") +
        "' AND       IE91_ISSUEDATE  = " + FormatoDB(state, data, kFmtData, false).Text() +
        " AND       IE91_ENDPOINTID = " + FormatoDB(state, endpoint, kFmtTesto, false).Text());
    if (!rs->Eof()) {
        return false;
    }
    rs->AddNew();
    rs->SetValue("IE91_STATUS", std::int16_t{0});
    rs->SetValue("IE91_DITTA_CG18", state.CodiceDitta);
    rs->SetValue("IE91_DATAORA_RICEZIONE", DateTime::Now());
    rs->SetValue("IE91_ID_FW07", Host(state).CurrentUserId());
    rs->SetValue("IE91_HUBID", hubId);
    rs->SetValue("IE91_IDORD", numero);
    rs->SetValue("IE91_ISSUEDATE", data);
    rs->SetValue("IE91_ENDPOINTID", endpoint);
    rs->SetValue("IE91_OPERAZIONE", std::int16_t{0});
    rs->Update();

    const std::int32_t id = rs->Value("IE91_ID").ToLong();
    if (ScaricaXMLOrdine(state, id, false)) {
        GetOrderFromXML(state, id, false);
    }
    if (state.Stato == kaOK) {
        AggiornaRiferimenti(state, id);
    }
    return true;
}

} // namespace

std::string DataInizioRecupero(const Variant& dataImport) {
    return dataImport.ToDate().DateOnly().AddDays(-1).ToIsoDate() + " 00:00:00";
}

void RecuperaOrdiniNSO(NsoState& state) {
    ResetStato(state);
    Puntatore(state, true);
    GuardOptions options;
    options.restorePointer = true;
    Guard(
        state, "RecuperaOrdiniNSO",
        [&] {
            RaiseOnProgress(state, kaRecuperoOrdiniDaNuvolix, 0, 0, std::string());
            std::string errorText;
            Variant extra;
            if (!NSOLogin(state, errorText, extra)) {
                state.Stato = kaErrConnessioneNSO;
                state.Errore = errorText;
                Puntatore(state, false);
                return;
            }
            LeggiParametri(state);
            const std::string ditta = SqlCodiceDitta(state);
            const std::string azienda = "IT" + RTrimN(Host(state).CurrentCompanyId()).Text();
            const std::string inizio = DataInizioRecupero(state.Param_DataImport);

            Servizio(state).ListOrders(azienda, inizio, state.CollezioneNSO, errorText);
            if (!errorText.empty()) {
                state.Errore = errorText;
                state.Stato = kaErrConnessioneNSO;
            } else {
                bool nuovi = false;
                if (state.CollezioneNSO && state.CollezioneNSO->RecordCount() > 0) {
                    const auto totale =
                        static_cast<std::int32_t>(state.CollezioneNSO->RecordCount());
                    std::int32_t i = 0;
                    for (const auto& documento : state.CollezioneNSO->Items()) {
                        state.DocumentoNSO = documento;
                        ++i;
                        const Variant hubId = documento->HubId();
                        const Variant numero = documento->FileDocNum();
                        const Variant data = documento->FileDocData();
                        const Variant endpoint = documento->EndPointId();
                        RaiseOnProgress(state, kaRecuperoOrdiniDaNuvolix, i, totale,
                                        "Id : " + numero.Text() + " (" + data.Text() + ") - " +
                                            endpoint.Text());
                        if (RegistraDocumento(state, ditta, hubId, numero, data, endpoint)) {
                            nuovi = true;
                        }
                    }
                }
                if (state.Stato == kaOK) {
                    auto rs = Conn(state).OpenRecordset(
                        "SELECT IE90_DATAORA_IMPORT, IE90_ESITO_IMPORT FROM IE90_CONFIGNSO WHERE "
                        "IE90_DITTA_CG18 = " +
                        ditta);
                    if (!rs->Eof()) {
                        rs->SetValue("IE90_DATAORA_IMPORT", DateTime::Now());
                        rs->SetValue("IE90_ESITO_IMPORT", static_cast<std::int16_t>(nuovi ? 1 : 0));
                        rs->Update();
                    }
                }
            }
            NSOLogout(state);
            Puntatore(state, false);
        },
        options);
}

bool NSOLogin(NsoState& state, std::string& errorText, Variant& extra) {
    bool loggedIn = false;
    const bool ok = Guard(state, "NSOLogin", [&] {
        state.ServizioNSO = CreateObjectAs<NsoService>(progid::kNsoService);
        state.DocumentoNSO = CreateObjectAs<NsoDocument>(progid::kNsoDocument);
        state.CollezioneNSO = CreateObjectAs<NsoCollection>(progid::kNsoCollection);
        state.AccountNSO = CreateObjectAs<NsoAccount>(progid::kNsoAccount);
        state.AccountNSO->SetCodiceDitta(state.CodiceDitta.ToLong());
        state.AccountNSO->SetConnessione(state.Connessione);
        state.ServizioNSO->SetUsername(state.AccountNSO->Username());
        state.ServizioNSO->SetPassword(state.AccountNSO->Password());
        state.ServizioNSO->SetConfigXML(state.AccountNSO->ConfigXML());
        state.ServizioNSO->Login(std::string(), extra, errorText);
        state.AccountNSO->SetConnessione(nullptr);
        state.AccountNSO.reset();
        loggedIn = errorText.empty();
    });
    if (!ok) {
        errorText = state.Errore.Text();
        return false;
    }
    return loggedIn;
}

bool NSOLogout(NsoState& state) {
    Guard(state, "NSOLogout", [&] {
        state.DocumentoNSO.reset();
        state.CollezioneNSO.reset();
        Servizio(state).Terminate();
    });
    return true;
}

bool ScaricaXMLOrdine(NsoState& state, std::int32_t fId, bool fForzaDownload) {
    try {
        const std::string where = " WHERE IE91_DITTA_CG18 = " + SqlCodiceDitta(state) +
                                  " AND       IE91_ID         = " + std::to_string(fId);
        auto rs = Conn(state).Query("SELECT IE91_HUBID, IE91_XML FROM IE91_NSOFILES WITH (NOLOCK)" +
                                    where);
        if (rs->Eof() || (LunghezzaTesto(rs->Value("IE91_XML")) > 0 && !fForzaDownload)) {
            return true;
        }
        std::string text;
        const Variant hubId = rs->Value("IE91_HUBID");
        if (!hubId.IsBlank()) {
            std::string errorText;
            Servizio(state).DownloadOrders(hubId, state.CollezioneNSO, errorText);
            if (!errorText.empty()) {
                return false;
            }
            if (!state.CollezioneNSO) {
                ThrowObjectNotSet();
            }
            state.DocumentoNSO = state.CollezioneNSO->Item(0);
            text = state.DocumentoNSO->Content();
        }
        if (!Variant(text).IsBlank()) {
            if (text.front() != '<') {
                // A leading byte-order mark (or stray character) is one character: all its bytes
                // go.
                text = Utf8Right(text, Utf8Length(text) - 1);
            }
            Conn(state).Execute("UPDATE IE91_NSOFILES SET IE91_XML = '" +
                                ReplaceAll(text, "'", "''") + "' " + where.substr(1));
        }
        return true;
    } catch (...) {
        // Unexpected errors are cleared: the row stays without XML.
        try {
            if (state.Connessione) {
                state.Connessione->Errors().clear();
            }
        } catch (...) {
        }
        return false;
    }
}

} // namespace kvad::nso
