#pragma once
/// CLSIE_NSO, the component's one class: the host sets its properties, calls its methods one at
/// a time, reads Stato and Errore after each call and listens to OnProgress.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kvad_nso/com.h"
#include "kvad_nso/connection.h"
#include "kvad_nso/document_outcome.h"
#include "kvad_nso/enums.h"
#include "kvad_nso/host.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/variant.h"

namespace kvad {

namespace nso {
struct NsoState;
} // namespace nso

/// The ProgID under which hosts create the class.
inline constexpr const char* kProgIdClsieNso = "KVAD_NSO.CLSIE_NSO";

class CLSIE_NSO : public ComObject {
  public:
    /// Starts an instance: writes the "INI" trace line, creates the framework objects, sets
    /// Transazione to True and NomeTempOrdini to "#TEMP_ORD".
    CLSIE_NSO();
    /// Ends the instance: writes the "TER" trace line and releases everything it holds. The
    /// host's connection is released, never closed.
    ~CLSIE_NSO() override;
    CLSIE_NSO(const CLSIE_NSO&) = delete;
    CLSIE_NSO& operator=(const CLSIE_NSO&) = delete;
    CLSIE_NSO(CLSIE_NSO&&) = delete;
    CLSIE_NSO& operator=(CLSIE_NSO&&) = delete;

    // Properties, in interface order. Reading gives back what was last stored.
    [[nodiscard]] const std::string& StringaDiConnessione() const;
    void SetStringaDiConnessione(std::string value);
    [[nodiscard]] std::shared_ptr<Connection> Connessione() const;
    void SetConnessione(std::shared_ptr<Connection> value);
    [[nodiscard]] const Variant& CodiceDitta() const;
    void SetCodiceDitta(Variant value);
    [[nodiscard]] bool Transazione() const;
    void SetTransazione(bool value);
    [[nodiscard]] std::shared_ptr<HostApplication> ActiveInterface() const;
    void SetActiveInterface(std::shared_ptr<HostApplication> value);
    [[nodiscard]] kaEnumNSOErrStato Stato() const;
    void SetStato(kaEnumNSOErrStato value);
    [[nodiscard]] std::int16_t ErrorCode() const;
    void SetErrorCode(std::int16_t value);
    [[nodiscard]] const Variant& Errore() const;
    void SetErrore(Variant value);
    [[nodiscard]] const std::string& NomeTempOrdini() const;
    void SetNomeTempOrdini(std::string value);
    [[nodiscard]] std::shared_ptr<Recordset> RstOrdini() const;
    void SetRstOrdini(std::shared_ptr<Recordset> value);
    [[nodiscard]] std::shared_ptr<Recordset> RstTestata() const;
    void SetRstTestata(std::shared_ptr<Recordset> value);
    [[nodiscard]] std::shared_ptr<Recordset> RstCorpo() const;
    void SetRstCorpo(std::shared_ptr<Recordset> value);
    [[nodiscard]] std::shared_ptr<Recordset> RstLogMessages() const;
    void SetRstLogMessages(std::shared_ptr<Recordset> value);
    [[nodiscard]] const std::string& Param_CodiceDocumento() const;
    void SetParam_CodiceDocumento(std::string value);
    [[nodiscard]] const Variant& Param_DataImport() const;
    void SetParam_DataImport(Variant value);
    [[nodiscard]] kaEnumModalitaImportazione Param_ModalitaImport() const;
    void SetParam_ModalitaImport(kaEnumModalitaImportazione value);
    [[nodiscard]] const std::string& Param_Tracciato() const;
    void SetParam_Tracciato(std::string value);

    // Methods.
    /// The text of Expression without trailing blanks; "" for an omitted, Empty or Null value.
    [[nodiscard]] Variant RTrimN(const Variant& Expression = Variant()) const;
    /// Brings in the new documents from the document platform (progress through OnProgress).
    void RecuperaOrdiniNSO();
    /// Rebuilds the chain list (the working table NomeTempOrdini) and RstOrdini.
    void LeggiOrdini(kaenumTipoOrdiniProcessati& fTipoOrdiniProcessati);
    /// Selects all, none or inverts the selection of the selectable chains.
    void SetSelezione(kaEnumNSOSelez& pParSelez);
    /// Loads the company's configuration into the Param_ properties (Stato is not reset first).
    void Inizializza();
    /// The default section and warehouse of a document code; true when the code has a row.
    bool RecuperaSezionaleDepositoDefault(const std::string& fDocumento, std::string& fSezionale,
                                          std::string& fDeposito);
    /// The columns of a staging table except its key (COLUMN_NAME, COLUMN_TYPE,
    /// COLUMN_TYPE_NAME), in column order; null on failure.
    [[nodiscard]] std::shared_ptr<Recordset> GetElencoCampiTabella(std::string& fNomeTabella);
    /// Processes the chains selected in RstOrdini: writes the processing code of each of their
    /// documents into the working table, then reloads, decodes and verifies the documents that
    /// take part, in list order; the first one that fails stops those after it. Releases
    /// RstTestata, RstCorpo and RstLogMessages first; kaErrNessunDatoDaElaborare when no chain
    /// is selected.
    void RecuperaOrdini();
    /// Opens RstTestata (headers of the rows with processing code 2, 4 or 6, updates going to
    /// the decoded header table only), RstCorpo (the decoded lines of the code-2 rows, updates
    /// going to the decoded line table only) and RstLogMessages (the log of every order in the
    /// working table, for context fContesto or all contexts). The result is always Empty;
    /// Stato is not reset.
    Variant GetRstElaborazione(kaEnumContesto& fContesto);
    /// Verifies order fId for its processing code fOperazione: its header (fTestata) and lines
    /// (fCorpo; only line fProgRiga when not 0) are checked into the error log and their
    /// statuses stored, through RstTestata and RstCorpo when they are open.
    void VerificaDati(std::int16_t& fOperazione, std::int32_t& fId, bool& fTestata, bool& fCorpo,
                      std::int32_t fProgRiga = 0);
    /// Imports the processed chains of the working table as ERP orders, chain by chain (one
    /// transaction per chain when Transazione is True), with OnProgress once per chain; closes the
    /// ERP orders of superseded documents and records each outcome in the working table, the
    /// decoded header and the error log. Stato is reset at the start of each chain.
    void ImportaDocumenti();
    /// Shows registered document fId as a PDF: the web-service component renders its stored
    /// XML, the file is saved in the framework's fixed folder 5 and opened in the registered
    /// viewer. Stato and Errore are not reset: a login failure sets kaErrConnessioneNSO, a
    /// conversion error kaErrVB; without XML nothing happens. The one method that can throw:
    /// an error the web-service component raises during the conversion reaches the caller.
    void AnteprimaPDF(std::int32_t& fId);

    // Extensions for hosts, beyond the given methods. Like the methods they report through Stato
    // and Errore and never throw. RecuperaOrdiniNSO takes each listed document in within one
    // transaction of the connection (a savepoint inside the host's when one is open): a new
    // document's register row, XML, staging rows, log entries and references are kept together
    // or not at all, with a record of how it was taken in (table KVAD_DOCUMENT_INTAKE).
    /// What the last RecuperaOrdiniNSO did: the documents listed, those it registered with what
    /// became of each, those already registered, and whether it went through the whole listing.
    /// Stato after RecuperaOrdiniNSO tells about its last document only; this tells about all.
    [[nodiscard]] RetrievalReport LastRetrieval();
    /// Finds the company's registered documents that were not taken in whole (by an older
    /// program, or cut short by a crash or a failure, or whose staging rows went missing since)
    /// and takes each in again: reloads it from its stored XML (reload mode) and links it, or,
    /// registered without XML by a run that ended before its download, downloads it first.
    /// Returns the documents taken in again with their outcome; a database failure sets Stato to
    /// kaErrVB and leaves the document it met as it was; a platform that cannot be used sets
    /// kaErrConnessioneNSO.
    std::vector<DocumentOutcome> RepairDocuments();
    /// The chains as LeggiOrdini reads them, for a listing: the same rows, order and blocked
    /// marks as RstOrdini, with every register column but IE91_XML. The working table and
    /// RstOrdini are left as they were. Resets Stato; a database failure sets kaErrVB and gives
    /// null.
    [[nodiscard]] std::shared_ptr<Recordset>
    ListChains(kaenumTipoOrdiniProcessati fTipoOrdiniProcessati);
    /// The same rows, order and marks as ListChains, each with the chain's links and marks
    /// (ID_RIGA, ID_PADRE, LIVELLO, TMP_IMG_SEL, TMP_IMG_OPERAZIONE, TMP_IMG_GESTIONEDOC,
    /// TMP_ORDINE_CONSEGNATO) and the document's key (IE91_ID, IE91_IDORD, IE91_ISSUEDATE,
    /// IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_PROCESSATO) only: for a host that needs to know
    /// which chains there are (the batched commands), so that the list of a large backlog stays
    /// small. The recordset is read whole and cannot be requeried.
    [[nodiscard]] std::shared_ptr<Recordset>
    ListChainKeys(kaenumTipoOrdiniProcessati fTipoOrdiniProcessati);
    /// Rebuilds the working table and RstOrdini as LeggiOrdini does, with the same chain links,
    /// levels, keys, blocked marks and order, and every column but IE91_XML (a document's XML is
    /// read from the register; the table holds no copy of it), but only with the chains that
    /// hold one of `documentIds`, processed or not (LeggiOrdini with kaOrdiniTutti, restricted
    /// to them): a host that works on a few documents reads their chains without reading every
    /// chain. As after LeggiOrdini, selections and processing codes start afresh. Returns the
    /// given documents that are in no chain. Resets Stato; a database failure sets kaErrVB,
    /// leaves no working table and gives none.
    std::vector<std::int32_t> ReadChainsOf(const std::vector<std::int32_t>& documentIds);
    /// The company's registered documents that were not loaded, with the reason of each. Resets
    /// Stato; a database failure sets kaErrVB and gives none.
    [[nodiscard]] std::vector<DocumentOutcome> DocumentsNotLoaded();
    /// Downloads again the company's registered documents whose XML was never stored, and loads
    /// and links each one that arrives. Returns the ids of the documents that had no XML; a
    /// platform failure sets Stato to kaErrConnessioneNSO.
    std::vector<std::int32_t> DownloadMissingDocuments();
    /// Why registered document fId is not, or not wholly, staged, in words for the user; "" when
    /// it is staged.
    [[nodiscard]] std::string ExplainDocument(std::int32_t fId);
    /// Decodes registered document fId into the decoded header and lines, staging its XML first
    /// when it is not staged. With fForce false an order that already has decoded lines keeps
    /// them (its decoding messages are written again); with fForce true it is decoded afresh.
    /// Stato and Errore are reset first; the decoding messages go to the error log.
    void DecodeOrder(std::int32_t fId, bool fForce = false);
    /// The first day the next RecuperaOrdiniNSO lists documents from: the day before
    /// Param_DataImport. Null when Param_DataImport is not a date.
    [[nodiscard]] Variant RetrievalStartDate() const;
    /// Renders registered document fId through the web-service component, as AnteprimaPDF
    /// does, and writes the PDF to `path` (replacing it), or to a new file in the framework's
    /// fixed folder 5 when `path` is empty; with `open` the registered viewer then shows it.
    /// Resets Stato; kaErrNessunDatoDaElaborare when the document has no XML,
    /// kaErrConnessioneNSO when the login fails, kaErrImportXML when the XML cannot be converted,
    /// kaErrParametri when the file cannot be written or the viewer is missing or cannot be
    /// started (the file is written all the same), kaErrVB for anything else. Returns the file's
    /// full path, "" when none was written.
    std::string WriteOrderPdf(std::int32_t fId, const std::string& path, bool open);
    /// Writes the processing codes of the chains selected in RstOrdini into the working table,
    /// as RecuperaOrdini does, without loading, decoding or verifying anything, and requeries
    /// RstOrdini. A host that rebuilt the working table calls it before GetRstElaborazione to
    /// find again the result rows of orders processed earlier. Resets Stato;
    /// kaErrNessunDatoDaElaborare when no chain is selected.
    void AssignProcessingCodes();
    /// Writes the unreadable-number messages (code 107) of order fId anew, as decoding does: a
    /// number of the order that could not be read keeps its message while the decoded value it fed
    /// is still what the 0 it was taken as made of it, and loses it once a clerk has corrected
    /// that value. A host that corrects decoded values calls it before VerificaDati, so that the
    /// order's status no longer counts a corrected number. Resets Stato; a failure sets kaErrVB.
    void RecheckUnreadableNumbers(std::int32_t fId);
    /// Deletes the messages the last import attempt wrote for order fId (context ImportDati):
    /// once a clerk has corrected the order they speak of values it no longer has, and the next
    /// import writes its own. A host that corrects decoded values calls it with
    /// RecheckUnreadableNumbers. Resets Stato; a failure sets kaErrVB.
    void ForgetImportAttempt(std::int32_t fId);
    /// The condition of the database in the last failure, for a host to act on: busy (another
    /// program holds it), read-only, full, not a database, cannot be opened, or written by a newer
    /// program; None when the last failure was not the database's or nothing failed. Errore
    /// carries the database's text, not its condition. Reset where Stato is reset.
    [[nodiscard]] DatabaseCondition LastDatabaseCondition() const noexcept;

    // Event.
    /// Adds an OnProgress listener; returns a token for RemoveOnProgress.
    int AddOnProgress(ProgressListener listener);
    void RemoveOnProgress(int token);

    /// The instance's trace identifier (a NuovoGuid value, made on first use).
    [[nodiscard]] std::string IdIstanza();

  private:
    std::unique_ptr<nso::NsoState> state_;
};

/// Where the "KWRX:" trace lines go. By default they go to the system log at debug level; a
/// sink set here receives them instead (an empty function restores the default).
void SetTraceSink(std::function<void(const std::string&)> sink);

} // namespace kvad

namespace kvad {

/// Registers CLSIE_NSO under its ProgID "KVAD_NSO.CLSIE_NSO" (what installing the component
/// does on a COM system); hosts then create it with CreateObject.
void RegisterComponentClasses();

} // namespace kvad
