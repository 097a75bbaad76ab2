#include "retrieval/document_checks.h"

#include <optional>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "frame/transaction.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "retrieval/document_intake.h"
#include "retrieval/recupero_ordini.h"
#include "ubl/expected_rows.h"
#include "ubl/xml_loader.h"
#include "web_service_writer.h"
#include "xml/xml_document.h"

namespace kvad::nso {
namespace {

constexpr const char* kNeverStored =
    "it was registered but its XML was never stored: the download failed";

DocumentOutcome Named(DocumentOutcome outcome, const Recordset& row) {
    outcome.number = row.Value("IE91_IDORD").Text();
    outcome.hubId = row.Value("IE91_HUBID").Text();
    return outcome;
}

// True when a revision or cancellation whose staged header refers to another order carries the
// reference that AggiornaRiferimenti writes (number and date at least).
bool LinkedAsStaged(NsoState& state, std::int32_t fId) {
    auto rs = Conn(state).Query(
        "SELECT IE92_OrderDocumentReference_ID, IE91_RIF_ISSUEDATE FROM IE91_NSOFILES INNER JOIN "
        "IE92_NSOTESTATAXML ON IE92_ID_IE91 = IE91_ID WHERE IE91_ID = " +
        std::to_string(fId));
    if (rs->Eof()) {
        return true;
    }
    const std::string reference = rs->Value("IE92_OrderDocumentReference_ID").Text();
    return LunghezzaTesto(reference) == 0 || reference.find('#') == std::string::npos ||
           !rs->Value("IE91_RIF_ISSUEDATE").IsNull();
}

// A document registered without an intake record whose staging rows, link and log are what a
// load of its XML leaves: an older program took it in whole.
bool TakenInWhole(NsoState& state, std::int32_t fId) {
    const std::optional<StagingRows> expected = ExpectedStagingRows(state, GetXML(state, fId));
    if (!expected || expected->headers == 0 || *expected != StagedRows(state, fId)) {
        return false;
    }
    auto logged = Conn(state).Query(
        "SELECT TOP 1 1 FROM IE98_NSO_LOGERRORS WHERE IE98_ID_IE91 = " + std::to_string(fId) +
        " AND IE98_CODE_IE97 = " + std::to_string(message::kXmlNotLoaded));
    return logged->Eof() && LinkedAsStaged(state, fId);
}

// Logs in, lists everything the company received (the platform downloads what its listing
// shows), then downloads, loads and links each document, each in one transaction, and logs
// out. Each outcome is set on its document; returns how many were taken in. A platform that
// cannot be used sets Stato to kaErrConnessioneNSO; a database failure stops with Stato kaErrVB.
std::size_t DownloadAgain(NsoState& state, std::vector<DocumentOutcome>& documents,
                          std::string_view routine) {
    std::size_t taken = 0;
    if (!LogInToPlatform(state)) {
        return taken;
    }
    std::string errorText;
    WebServiceState& ws = OwnWebService(state);
    Guard(state, routine, [&] {
        if (!state.ActiveInterface) {
            ThrowObjectNotSet();
        }
        ws.ServizioNSO->ListOrders("IT" + Trim(state.ActiveInterface->CurrentCompanyId()),
                                   "1900-01-01 00:00:00", ws.CollezioneNSO, errorText);
    });
    if (!errorText.empty()) {
        state.Stato = kaErrConnessioneNSO;
        state.Errore = errorText;
    }
    if (state.Stato != kaOK) {
        NSOLogout(state);
        return taken;
    }
    const bool done = Guard(state, routine, [&] {
        for (DocumentOutcome& document : documents) {
            ResetStatus(state);
            Transaction intake(state);
            const DocumentOutcome outcome =
                TakeInDocument(state, document.id, IntakeMode::MissingXml);
            intake.CommitOrRethrowFault();
            document.outcome = outcome.outcome;
            document.reason = outcome.reason;
            ++taken;
        }
    });
    if (done) {
        // The last document's load tells about itself only: its outcome is in its record.
        ResetStatus(state);
    }
    NSOLogout(state);
    return taken;
}

} // namespace

std::vector<std::int32_t> DownloadMissingDocuments(NsoState& state) {
    ResetStatus(state);
    std::vector<std::int32_t> ids;
    const bool listed = Guard(state, "DownloadMissingDocuments", [&] {
        for (auto rows = Conn(state).Query("SELECT IE91_ID FROM IE91_NSOFILES WHERE "
                                           "IE91_DITTA_CG18 = " +
                                           CompanyCodeSql(state) +
                                           " AND IE91_XML IS NULL ORDER BY IE91_ID");
             !rows->Eof(); rows->MoveNext()) {
            ids.push_back(rows->Value(0).ToLong());
        }
    });
    if (listed && !ids.empty()) {
        std::vector<DocumentOutcome> documents(ids.size());
        for (std::size_t i = 0; i < ids.size(); ++i) {
            documents[i].id = ids[i];
        }
        DownloadAgain(state, documents, "DownloadMissingDocuments");
    }
    return ids;
}

std::vector<DocumentOutcome> RepairDocuments(NsoState& state) {
    ResetStatus(state);
    std::vector<DocumentOutcome> repaired;
    std::vector<DocumentOutcome> unstored;
    const bool done = Guard(state, "RepairDocuments", [&] {
        // Documents without a record, or with fewer (or more) staging rows than it says. A
        // document that processing has decoded is past its intake: processing stages it again
        // from its XML in the import layout (header charges become lines), so its rows are no
        // longer those the intake counted.
        auto candidates = Conn(state).Query(
            "SELECT IE91_ID, IE91_IDORD, IE91_HUBID, "
            "CASE WHEN IE91_XML IS NULL THEN 1 ELSE 0 END AS SENZA_XML, "
            "CASE WHEN INTAKE_ID_IE91 IS NULL THEN 1 ELSE 0 END AS SENZA_ESITO "
            "FROM IE91_NSOFILES LEFT OUTER JOIN KVAD_DOCUMENT_INTAKE ON INTAKE_ID_IE91 = IE91_ID "
            "WHERE IE91_DITTA_CG18 = " +
            CompanyCodeSql(state) +
            " AND (INTAKE_ID_IE91 IS NULL OR "
            "INTAKE_HEADERS <> (SELECT COUNT(*) FROM IE92_NSOTESTATAXML WHERE IE92_ID_IE91 = "
            "IE91_ID) OR "
            "INTAKE_HEADER_CHARGES <> (SELECT COUNT(*) FROM IE96_NSOTESTATASCONTIXML WHERE "
            "IE96_ID_IE91 = IE91_ID) OR "
            "INTAKE_LINES <> (SELECT COUNT(*) FROM IE94_NSOCORPOXML WHERE IE94_ID_IE91 = IE91_ID) "
            "OR INTAKE_LINE_CHARGES <> (SELECT COUNT(*) FROM IE9A_NSOCORPOSCONTIXML WHERE "
            "IE9A_ID_IE91 = IE91_ID)) AND NOT EXISTS (SELECT IE93_ID_IE91 FROM IE93_NSOTESTATA "
            "WHERE IE93_ID_IE91 = IE91_ID) ORDER BY IE91_ID");
        for (; !candidates->Eof(); candidates->MoveNext()) {
            const std::int32_t id = candidates->Value("IE91_ID").ToLong();
            const bool noXml = candidates->Value("SENZA_XML").ToLong() == 1;
            const bool noRecord = candidates->Value("SENZA_ESITO").ToLong() == 1;
            if (noXml && noRecord) {
                // Registered by a run that ended before its download: downloaded below.
                DocumentOutcome missing;
                missing.id = id;
                unstored.push_back(Named(missing, *candidates));
                continue;
            }
            ResetStatus(state);
            Transaction document(state);
            std::optional<DocumentOutcome> outcome;
            if (noXml) {
                WriteIntake(state, id, IntakeOutcome::DownloadFailed, kNeverStored);
                DocumentOutcome missing;
                missing.id = id;
                missing.outcome = IntakeOutcome::DownloadFailed;
                missing.reason = kNeverStored;
                outcome = missing;
            } else if (noRecord && TakenInWhole(state, id)) {
                WriteIntake(state, id, IntakeOutcome::Loaded, std::string());
            } else {
                outcome = TakeInDocument(state, id, IntakeMode::Reload);
            }
            document.CommitOrRethrowFault();
            if (outcome) {
                repaired.push_back(Named(*outcome, *candidates));
            }
        }
    });
    if (!done) {
        return repaired;
    }
    ResetStatus(state);
    if (!unstored.empty()) {
        const std::size_t taken = DownloadAgain(state, unstored, "RepairDocuments");
        repaired.insert(repaired.end(), unstored.begin(),
                        unstored.begin() + static_cast<std::ptrdiff_t>(taken));
    }
    return repaired;
}

std::vector<DocumentOutcome> DocumentsNotLoaded(NsoState& state) {
    std::vector<DocumentOutcome> documents;
    for (auto rows = Conn(state).Query(
             "SELECT IE91_ID, IE91_IDORD, IE91_HUBID, INTAKE_OUTCOME, INTAKE_REASON FROM "
             "IE91_NSOFILES INNER JOIN KVAD_DOCUMENT_INTAKE ON INTAKE_ID_IE91 = IE91_ID WHERE "
             "IE91_DITTA_CG18 = " +
             CompanyCodeSql(state) + " AND INTAKE_OUTCOME <> " +
             std::to_string(static_cast<int>(IntakeOutcome::Loaded)) + " ORDER BY IE91_ID");
         !rows->Eof(); rows->MoveNext()) {
        DocumentOutcome document;
        document.id = rows->Value("IE91_ID").ToLong();
        document.outcome = static_cast<IntakeOutcome>(rows->Value("INTAKE_OUTCOME").ToLong());
        document.reason = rows->Value("INTAKE_REASON").Text();
        documents.push_back(Named(document, *rows));
    }
    return documents;
}

std::string ExplainDocument(NsoState& state, std::int32_t fId) {
    const std::string key = std::to_string(fId);
    Connection& db = Conn(state);
    auto row = db.Query("SELECT IE91_XML, IE92_ID, INTAKE_OUTCOME, INTAKE_REASON FROM "
                        "IE91_NSOFILES LEFT OUTER JOIN IE92_NSOTESTATAXML ON IE92_ID_IE91 = "
                        "IE91_ID LEFT OUTER JOIN KVAD_DOCUMENT_INTAKE ON INTAKE_ID_IE91 = "
                        "IE91_ID WHERE IE91_ID = " +
                        key);
    if (row->Eof()) {
        return "not registered";
    }
    if (!row->Value("INTAKE_OUTCOME").IsNull()) {
        return row->Value("INTAKE_REASON").Text();
    }
    // Taken in by a program that kept no record: what the register and the log show.
    if (row->Value("IE91_XML").IsNull()) {
        return kNeverStored;
    }
    auto log = db.Query("SELECT IE98_ERRORMESSAGE, IE97_MESSAGE FROM IE98_NSO_LOGERRORS LEFT "
                        "OUTER JOIN IE97_NSO_ERRORS ON IE97_CODE = IE98_CODE_IE97 WHERE "
                        "IE98_ID_IE91 = " +
                        key + " AND IE98_CODE_IE97 = " + std::to_string(message::kXmlNotLoaded) +
                        " ORDER BY IE98_ID");
    if (!log->Eof()) {
        const Variant own = log->Value("IE98_ERRORMESSAGE");
        std::string text = own.IsNull() ? log->Value("IE97_MESSAGE").Text() : own.Text();
        for (char& c : text) {
            if (c == '\r' || c == '\n') {
                c = ' ';
            }
        }
        return text;
    }
    if (row->Value("IE92_ID").IsNull()) {
        xml::ParseFailure failure;
        const auto document = xml::Document::Load(row->Value("IE91_XML").Text(), failure);
        return document ? "no order data could be read" : failure.Plain();
    }
    return {};
}

} // namespace kvad::nso
