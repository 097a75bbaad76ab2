#include "kvad_nso/clsie_nso.h"

#include "config/configurazione.h"
#include "decoding/trascodifica_ordine.h"
#include "decoding/unreadable_numbers.h"
#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "frame/nso_state.h"
#include "frame/trace.h"
#include "import/importa_documenti.h"
#include "import/importa_singolo_ordine.h"
#include "preview/anteprima_pdf.h"
#include "retrieval/document_checks.h"
#include "retrieval/recupero_ordini.h"
#include "ubl/staging_writer.h"
#include "ubl/xml_loader.h"
#include "verification/error_log.h"
#include "verification/verifica_dati.h"
#include "workspace/ordini.h"
#include "workspace/recupera_ordini.h"
#include "workspace/rst_elaborazione.h"

namespace kvad {

CLSIE_NSO::CLSIE_NSO() : state_(std::make_unique<nso::NsoState>()) {
    nso::WriteTrace(IdIstanza(), "INI");
    // From here on every error is ignored.
    nso::CreateFrameworkObjects(*state_);
    state_->Transazione = true;
    state_->NomeTempOrdini = "#TEMP_ORD";
}

CLSIE_NSO::~CLSIE_NSO() {
    try {
        nso::WriteTrace(IdIstanza(), "TER");
    } catch (...) {
    }
    auto& s = *state_;
    s.numberFormatter.reset();
    s.dateObject.reset();
    // The host owns the connection: only our reference goes.
    s.Connessione.reset();
    s.RstOrdini.reset();
    s.RstTestata.reset();
    s.RstCorpo.reset();
    s.RstLogMessages.reset();
    nso::TermBOImport(s);
}

const std::string& CLSIE_NSO::StringaDiConnessione() const {
    return state_->StringaDiConnessione;
}
void CLSIE_NSO::SetStringaDiConnessione(std::string value) {
    state_->StringaDiConnessione = std::move(value);
}
std::shared_ptr<Connection> CLSIE_NSO::Connessione() const {
    return state_->Connessione;
}
void CLSIE_NSO::SetConnessione(std::shared_ptr<Connection> value) {
    state_->Connessione = std::move(value);
}
const Variant& CLSIE_NSO::CodiceDitta() const {
    return state_->CodiceDitta;
}
void CLSIE_NSO::SetCodiceDitta(Variant value) {
    state_->CodiceDitta = std::move(value);
}
bool CLSIE_NSO::Transazione() const {
    return state_->Transazione;
}
void CLSIE_NSO::SetTransazione(bool value) {
    state_->Transazione = value;
}
std::shared_ptr<HostApplication> CLSIE_NSO::ActiveInterface() const {
    return state_->ActiveInterface;
}
void CLSIE_NSO::SetActiveInterface(std::shared_ptr<HostApplication> value) {
    state_->ActiveInterface = std::move(value);
}
kaEnumNSOErrStato CLSIE_NSO::Stato() const {
    return state_->Stato;
}
void CLSIE_NSO::SetStato(kaEnumNSOErrStato value) {
    state_->Stato = value;
}
std::int16_t CLSIE_NSO::ErrorCode() const {
    return state_->ErrorCode;
}
void CLSIE_NSO::SetErrorCode(std::int16_t value) {
    state_->ErrorCode = value;
}
const Variant& CLSIE_NSO::Errore() const {
    return state_->Errore;
}
void CLSIE_NSO::SetErrore(Variant value) {
    state_->Errore = std::move(value);
}
const std::string& CLSIE_NSO::NomeTempOrdini() const {
    return state_->NomeTempOrdini;
}
void CLSIE_NSO::SetNomeTempOrdini(std::string value) {
    state_->NomeTempOrdini = std::move(value);
}
std::shared_ptr<Recordset> CLSIE_NSO::RstOrdini() const {
    return state_->RstOrdini;
}
void CLSIE_NSO::SetRstOrdini(std::shared_ptr<Recordset> value) {
    state_->RstOrdini = std::move(value);
}
std::shared_ptr<Recordset> CLSIE_NSO::RstTestata() const {
    return state_->RstTestata;
}
void CLSIE_NSO::SetRstTestata(std::shared_ptr<Recordset> value) {
    state_->RstTestata = std::move(value);
}
std::shared_ptr<Recordset> CLSIE_NSO::RstCorpo() const {
    return state_->RstCorpo;
}
void CLSIE_NSO::SetRstCorpo(std::shared_ptr<Recordset> value) {
    state_->RstCorpo = std::move(value);
}
std::shared_ptr<Recordset> CLSIE_NSO::RstLogMessages() const {
    return state_->RstLogMessages;
}
void CLSIE_NSO::SetRstLogMessages(std::shared_ptr<Recordset> value) {
    state_->RstLogMessages = std::move(value);
}
const std::string& CLSIE_NSO::Param_CodiceDocumento() const {
    return state_->Param_CodiceDocumento;
}
void CLSIE_NSO::SetParam_CodiceDocumento(std::string value) {
    state_->Param_CodiceDocumento = std::move(value);
}
const Variant& CLSIE_NSO::Param_DataImport() const {
    return state_->Param_DataImport;
}
void CLSIE_NSO::SetParam_DataImport(Variant value) {
    state_->Param_DataImport = std::move(value);
}
kaEnumModalitaImportazione CLSIE_NSO::Param_ModalitaImport() const {
    return state_->Param_ModalitaImport;
}
void CLSIE_NSO::SetParam_ModalitaImport(kaEnumModalitaImportazione value) {
    state_->Param_ModalitaImport = value;
}
const std::string& CLSIE_NSO::Param_Tracciato() const {
    return state_->Param_Tracciato;
}
void CLSIE_NSO::SetParam_Tracciato(std::string value) {
    state_->Param_Tracciato = std::move(value);
}

Variant CLSIE_NSO::RTrimN(const Variant& Expression) const {
    return nso::RTrimN(Expression);
}

void CLSIE_NSO::RecuperaOrdiniNSO() {
    nso::RecuperaOrdiniNSO(*state_);
}

void CLSIE_NSO::LeggiOrdini(kaenumTipoOrdiniProcessati& fTipoOrdiniProcessati) {
    nso::LeggiOrdini(*state_, fTipoOrdiniProcessati);
}

void CLSIE_NSO::SetSelezione(kaEnumNSOSelez& pParSelez) {
    nso::SetSelezione(*state_, pParSelez);
}

void CLSIE_NSO::Inizializza() {
    nso::Inizializza(*state_);
}

bool CLSIE_NSO::RecuperaSezionaleDepositoDefault(const std::string& fDocumento,
                                                 std::string& fSezionale, std::string& fDeposito) {
    return nso::RecuperaSezionaleDepositoDefault(*state_, fDocumento, fSezionale, fDeposito);
}

std::shared_ptr<Recordset> CLSIE_NSO::GetElencoCampiTabella(std::string& fNomeTabella) {
    return nso::GetElencoCampiTabella(*state_, fNomeTabella);
}

void CLSIE_NSO::RecuperaOrdini() {
    nso::RecuperaOrdini(*state_);
}

Variant CLSIE_NSO::GetRstElaborazione(kaEnumContesto& fContesto) {
    return nso::GetRstElaborazione(*state_, fContesto);
}

void CLSIE_NSO::VerificaDati(std::int16_t& fOperazione, std::int32_t& fId, bool& fTestata,
                             bool& fCorpo, std::int32_t fProgRiga) {
    nso::VerificaDati(*state_, fOperazione, fId, fTestata, fCorpo, fProgRiga);
}

void CLSIE_NSO::ImportaDocumenti() {
    nso::ImportaDocumenti(*state_);
}

void CLSIE_NSO::AnteprimaPDF(std::int32_t& fId) {
    nso::AnteprimaPDF(*state_, fId);
}

RetrievalReport CLSIE_NSO::LastRetrieval() {
    return nso::WebService(*state_).report;
}

std::vector<DocumentOutcome> CLSIE_NSO::RepairDocuments() {
    return nso::RepairDocuments(*state_);
}

std::shared_ptr<Recordset> CLSIE_NSO::ListChains(kaenumTipoOrdiniProcessati fTipoOrdiniProcessati) {
    nso::ResetStatus(*state_);
    std::shared_ptr<Recordset> chains;
    nso::Guard(*state_, "ListChains",
               [&] { chains = nso::ListChains(*state_, fTipoOrdiniProcessati); });
    return chains;
}

std::shared_ptr<Recordset>
CLSIE_NSO::ListChainKeys(kaenumTipoOrdiniProcessati fTipoOrdiniProcessati) {
    nso::ResetStatus(*state_);
    std::shared_ptr<Recordset> chains;
    nso::Guard(*state_, "ListChainKeys",
               [&] { chains = nso::ListChains(*state_, fTipoOrdiniProcessati, true); });
    return chains;
}

std::vector<std::int32_t> CLSIE_NSO::ReadChainsOf(const std::vector<std::int32_t>& documentIds) {
    nso::ResetStatus(*state_);
    std::vector<std::int32_t> inNoChain;
    nso::Guard(*state_, "ReadChainsOf",
               [&] { inNoChain = nso::ReadChainsOf(*state_, documentIds); });
    return inNoChain;
}

std::vector<DocumentOutcome> CLSIE_NSO::DocumentsNotLoaded() {
    nso::ResetStatus(*state_);
    std::vector<DocumentOutcome> documents;
    nso::Guard(*state_, "DocumentsNotLoaded",
               [&] { documents = nso::DocumentsNotLoaded(*state_); });
    return documents;
}

std::vector<std::int32_t> CLSIE_NSO::DownloadMissingDocuments() {
    return nso::DownloadMissingDocuments(*state_);
}

std::string CLSIE_NSO::ExplainDocument(std::int32_t fId) {
    std::string reason;
    nso::Guard(*state_, "ExplainDocument", [&] { reason = nso::ExplainDocument(*state_, fId); });
    return reason;
}

void CLSIE_NSO::DecodeOrder(std::int32_t fId, bool fForce) {
    nso::GetOrderFromXML(*state_, fId, false);
    if (state_->Stato == kaOK) {
        nso::TrascodificaOrdine(*state_, fId, fForce);
    }
}

Variant CLSIE_NSO::RetrievalStartDate() const {
    try {
        return state_->Param_DataImport.ToDate().DateOnly().AddDays(-1);
    } catch (...) {
        return Variant::Null();
    }
}

std::string CLSIE_NSO::WriteOrderPdf(std::int32_t fId, const std::string& path, bool open) {
    return nso::WriteOrderPdf(*state_, fId, path, open);
}

void CLSIE_NSO::AssignProcessingCodes() {
    nso::AssignProcessingCodes(*state_);
}

void CLSIE_NSO::ForgetImportAttempt(std::int32_t fId) {
    nso::ResetStatus(*state_);
    nso::Guard(*state_, "ForgetImportAttempt", [&] {
        nso::EliminaLogErrors(*state_, fId, true, true, Contesto_ImportDati, 0, "");
    });
}

void CLSIE_NSO::RecheckUnreadableNumbers(std::int32_t fId) {
    nso::ResetStatus(*state_);
    nso::ReportUnreadableNumbers(*state_, fId);
}

DatabaseCondition CLSIE_NSO::LastDatabaseCondition() const noexcept {
    return state_->lastDatabaseCondition;
}

int CLSIE_NSO::AddOnProgress(ProgressListener listener) {
    return nso::AddProgressListener(*state_, std::move(listener));
}

void CLSIE_NSO::RemoveOnProgress(int token) {
    nso::RemoveProgressListener(*state_, token);
}

std::string CLSIE_NSO::IdIstanza() {
    if (state_->idIstanza.empty()) {
        state_->idIstanza = nso::NuovoGuid();
    }
    return state_->idIstanza;
}

void SetTraceSink(std::function<void(const std::string&)> sink) {
    nso::SetTraceSink(std::move(sink));
}

void RegisterComponentClasses() {
    RegisterClass(kProgIdClsieNso, [] { return std::make_shared<CLSIE_NSO>(); });
}

} // namespace kvad
