#include "retrieval/recupero_ordini.h"

#include "config/configurazione.h"
#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "frame/transaction.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"
#include "retrieval/document_intake.h"
#include "web_service_writer.h"
#include "xml/xml_document.h"

namespace kvad::nso {
namespace {

HostApplication& Host(const NsoState& state) {
    if (!state.ActiveInterface) {
        ThrowObjectNotSet();
    }
    return *state.ActiveInterface;
}

// Registers one listed document when its identifying triple is new and takes it in, all in one
// transaction; returns true when it was new. The transaction also covers the look-up, so that
// two retrievals never register the same document twice.
bool RegisterDocument(NsoState& state, const std::string& company, const Variant& hubId,
                      const Variant& number, const Variant& issueDate, const Variant& endpoint) {
    RetrievalReport& report = OwnWebService(state).report;
    DocumentOutcome outcome;
    outcome.number = number.Text();
    outcome.hubId = hubId.Text();
    Transaction document(state);
    auto rs = Conn(state).OpenRecordset(
        "SELECT * FROM IE91_NSOFILES WITH (NOLOCK) WHERE IE91_DITTA_CG18 = " + company +
        " AND       IE91_IDORD      = '" + ReplaceAll(number.Text(), "'", "''") +
        "' AND       IE91_ISSUEDATE  = " + FormatoDB(state, issueDate, kLiteralDate, false).Text() +
        " AND       IE91_ENDPOINTID = " + FormatoDB(state, endpoint, kLiteralText, false).Text());
    if (!rs->Eof()) {
        document.Commit();
        outcome.id = rs->Value("IE91_ID").ToLong();
        report.alreadyRegistered.push_back(std::move(outcome));
        return false;
    }
    rs->AddNew();
    rs->SetValue("IE91_STATUS", std::int16_t{0});
    rs->SetValue("IE91_DITTA_CG18", state.CodiceDitta);
    rs->SetValue("IE91_DATAORA_RICEZIONE", DateTime::Now());
    rs->SetValue("IE91_ID_FW07", Host(state).CurrentUserId());
    rs->SetValue("IE91_HUBID", hubId);
    rs->SetValue("IE91_IDORD", number);
    rs->SetValue("IE91_ISSUEDATE", issueDate);
    rs->SetValue("IE91_ENDPOINTID", endpoint);
    rs->SetValue("IE91_OPERAZIONE", static_cast<std::int16_t>(operation::kOrder));
    rs->Update();

    const std::int32_t id = rs->Value("IE91_ID").ToLong();
    const DocumentOutcome taken = TakeInDocument(state, id, IntakeMode::NewDocument);
    document.CommitOrRethrowFault();
    outcome.id = id;
    outcome.outcome = taken.outcome;
    outcome.reason = taken.reason;
    report.registered.push_back(std::move(outcome));
    return true;
}

// Each document of the listing in turn, with its progress: registered and taken in when new.
// True when at least one was new. Stato is not tested between documents.
bool TakeInListedDocuments(NsoState& state, const std::string& company) {
    WebServiceState& ws = OwnWebService(state);
    if (!ws.CollezioneNSO || ws.CollezioneNSO->RecordCount() <= 0) {
        return false;
    }
    const auto total = static_cast<std::int32_t>(ws.CollezioneNSO->RecordCount());
    ws.report.listed = total;
    bool anyNew = false;
    std::int32_t i = 0;
    for (const auto& document : ws.CollezioneNSO->Items()) {
        ws.DocumentoNSO = document;
        ++i;
        const Variant hubId = document->HubId();
        const Variant number = document->FileDocNum();
        const Variant issueDate = document->FileDocData();
        const Variant endpoint = document->EndPointId();
        RaiseOnProgress(state, kaRecuperoOrdiniDaNuvolix, i, total,
                        "Id : " + number.Text() + " (" + issueDate.Text() + ") - " +
                            endpoint.Text());
        if (RegisterDocument(state, company, hubId, number, issueDate, endpoint)) {
            anyNew = true;
        }
    }
    return anyNew;
}

// The time and outcome of the retrieval in the company's configuration row, when it has one.
void RecordRetrieval(NsoState& state, const std::string& company, bool anyNew) {
    auto rs = Conn(state).OpenRecordset(
        "SELECT IE90_DATAORA_IMPORT, IE90_ESITO_IMPORT FROM IE90_CONFIGNSO WHERE "
        "IE90_DITTA_CG18 = " +
        company);
    if (rs->Eof()) {
        return;
    }
    rs->SetValue("IE90_DATAORA_IMPORT", DateTime::Now());
    rs->SetValue("IE90_ESITO_IMPORT",
                 static_cast<std::int16_t>(anyNew ? retrieval_outcome::kNewDocuments
                                                  : retrieval_outcome::kNothingNew));
    rs->Update();
}

} // namespace

NsoService& Service(const NsoState& state) {
    if (!WebService(state).ServizioNSO) {
        ThrowObjectNotSet();
    }
    return *WebService(state).ServizioNSO;
}

std::string RetrievalStartText(const Variant& dataImport) {
    return dataImport.ToDate().DateOnly().AddDays(-1).ToIsoDate() + " 00:00:00";
}

void RecuperaOrdiniNSO(NsoState& state) {
    ResetStatus(state);
    WebServiceState& ws = OwnWebService(state);
    ws.report = RetrievalReport{};
    ShowBusyPointer(state, true);
    GuardOptions options;
    options.restorePointer = true;
    Guard(
        state, "RecuperaOrdiniNSO",
        [&] {
            RaiseOnProgress(state, kaRecuperoOrdiniDaNuvolix, 0, 0, std::string());
            if (!LogInToPlatform(state)) {
                ShowBusyPointer(state, false);
                return;
            }
            LeggiParametri(state);
            const std::string ditta = CompanyCodeSql(state);
            const std::string azienda = "IT" + RTrimN(Host(state).CurrentCompanyId()).Text();
            const std::string inizio = RetrievalStartText(state.Param_DataImport);

            std::string errorText;
            Service(state).ListOrders(azienda, inizio, ws.CollezioneNSO, errorText);
            if (!errorText.empty()) {
                state.Errore = errorText;
                state.Stato = kaErrConnessioneNSO;
            } else {
                const bool nuovi = TakeInListedDocuments(state, ditta);
                if (state.Stato == kaOK) {
                    RecordRetrieval(state, ditta, nuovi);
                }
                ws.report.completed = true;
            }
            NSOLogout(state);
            ShowBusyPointer(state, false);
        },
        options);
}

bool NSOLogin(NsoState& state, std::string& errorText, Variant& extra) {
    bool loggedIn = false;
    const bool ok = Guard(state, "NSOLogin", [&] {
        WebServiceState& ws = OwnWebService(state);
        ws.ServizioNSO = CreateObjectAs<NsoService>(progid::kNsoService);
        ws.DocumentoNSO = CreateObjectAs<NsoDocument>(progid::kNsoDocument);
        ws.CollezioneNSO = CreateObjectAs<NsoCollection>(progid::kNsoCollection);
        ws.AccountNSO = CreateObjectAs<NsoAccount>(progid::kNsoAccount);
        ws.AccountNSO->SetCodiceDitta(state.CodiceDitta.ToLong());
        ws.AccountNSO->SetConnessione(state.Connessione);
        ws.ServizioNSO->SetUsername(ws.AccountNSO->Username());
        ws.ServizioNSO->SetPassword(ws.AccountNSO->Password());
        ws.ServizioNSO->SetConfigXML(ws.AccountNSO->ConfigXML());
        ws.ServizioNSO->Login(std::string(), extra, errorText);
        ws.AccountNSO->SetConnessione(nullptr);
        ws.AccountNSO.reset();
        loggedIn = errorText.empty();
    });
    if (!ok) {
        errorText = state.Errore.Text();
        return false;
    }
    return loggedIn;
}

bool LogInToPlatform(NsoState& state) {
    std::string errorText;
    Variant extra;
    if (NSOLogin(state, errorText, extra)) {
        return true;
    }
    state.Stato = kaErrConnessioneNSO;
    state.Errore = errorText;
    return false;
}

bool NSOLogout(NsoState& state) {
    Guard(state, "NSOLogout", [&] {
        WebServiceState& ws = OwnWebService(state);
        ws.DocumentoNSO.reset();
        ws.CollezioneNSO.reset();
        Service(state).Terminate();
    });
    return true;
}

bool ScaricaXMLOrdine(NsoState& state, std::int32_t fId, bool fForzaDownload) {
    WebServiceState& ws = OwnWebService(state);
    ws.downloadOutcome = IntakeOutcome::DownloadFailed;
    ws.downloadProblem.clear();
    try {
        const std::string where = " WHERE IE91_DITTA_CG18 = " + CompanyCodeSql(state) +
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
            Service(state).DownloadOrders(hubId, ws.CollezioneNSO, errorText);
            if (!errorText.empty()) {
                ws.downloadProblem = "the download failed: " + errorText;
                return false;
            }
            if (!ws.CollezioneNSO) {
                ThrowObjectNotSet();
            }
            ws.DocumentoNSO = ws.CollezioneNSO->Item(0);
            text = ws.DocumentoNSO->Content();
        }
        if (text.find('\0') != std::string::npos) {
            // Not text: the statement could not carry it, so it is not sent.
            ws.downloadOutcome = IntakeOutcome::Unreadable;
            ws.downloadProblem = "the platform delivered bytes that are not text (NUL bytes): its "
                                 "encoding cannot be read";
            return false;
        }
        if (kvad::FirstInvalidUtf8(text) != std::string::npos) {
            // Bytes that are not UTF-8: a server database cannot hold them as text, and the
            // loader would refuse them anyway. The reason is the loader's, on every backend.
            xml::ParseFailure failure;
            (void)xml::Document::Load(text, failure);
            ws.downloadOutcome = IntakeOutcome::Unreadable;
            ws.downloadProblem = failure.Plain();
            return false;
        }
        if (!IsBlankText(text)) {
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
        // Unexpected errors are cleared: the row stays without XML. A database that failed is
        // noted, so that the document can be undone whole.
        NoteDatabaseFault(state, std::current_exception());
        ws.downloadProblem =
            "the download failed: " + DescribeException(std::current_exception()).description;
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
