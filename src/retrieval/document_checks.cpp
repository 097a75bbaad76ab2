#include "retrieval/document_checks.h"

#include "frame/failure_path.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "retrieval/recupero_ordini.h"
#include "retrieval/riferimenti.h"
#include "ubl/xml_loader.h"
#include "xml/xml_document.h"

namespace kvad::nso {

std::vector<std::int32_t> DownloadMissingDocuments(NsoState& state) {
    ResetStatus(state);
    std::vector<std::int32_t> ids;
    const bool listed = Guard(state, "DownloadMissingDocuments", [&] {
        for (auto rows = Conn(state).Query("SELECT IE91_ID FROM IE91_NSOFILES WHERE "
                                           "IE91_DITTA_CG18 = " +
                                           SqlCodiceDitta(state) +
                                           " AND IE91_XML IS NULL ORDER BY IE91_ID");
             !rows->Eof(); rows->MoveNext()) {
            ids.push_back(rows->Value(0).ToLong());
        }
    });
    if (!listed || ids.empty()) {
        return ids;
    }
    std::string errorText;
    Variant extra;
    if (!NSOLogin(state, errorText, extra)) {
        state.Stato = kaErrConnessioneNSO;
        state.Errore = errorText;
        return ids;
    }
    // The platform downloads what its listing shows: list everything the company received.
    WebServiceState& ws = WebService(state);
    Guard(state, "DownloadMissingDocuments", [&] {
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
        return ids;
    }
    for (const std::int32_t id : ids) {
        ResetStatus(state);
        if (!ScaricaXMLOrdine(state, id, true) || GetXML(state, id).empty()) {
            continue;
        }
        GetOrderFromXML(state, id, false);
        if (state.Stato == kaOK) {
            AggiornaRiferimenti(state, id);
        }
    }
    NSOLogout(state);
    return ids;
}

std::string ExplainDocument(NsoState& state, std::int32_t fId) {
    const std::string key = std::to_string(fId);
    Connection& db = Conn(state);
    auto row = db.Query("SELECT IE91_XML, IE92_ID FROM IE91_NSOFILES LEFT OUTER JOIN "
                        "IE92_NSOTESTATAXML ON IE92_ID_IE91 = IE91_ID WHERE IE91_ID = " +
                        key);
    if (row->Eof()) {
        return "not registered";
    }
    if (row->Value("IE91_XML").IsNull()) {
        return "the download failed (`nso fetch --retry-missing` tries again)";
    }
    auto log = db.Query("SELECT IE98_ERRORMESSAGE, IE97_MESSAGE FROM IE98_NSO_LOGERRORS LEFT "
                        "OUTER JOIN IE97_NSO_ERRORS ON IE97_CODE = IE98_CODE_IE97 WHERE "
                        "IE98_ID_IE91 = " +
                        key + " AND IE98_CODE_IE97 = 12 ORDER BY IE98_ID");
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
        std::string reason;
        const auto document = xml::Document::Load(row->Value("IE91_XML").Text(), reason);
        return document ? "no order data could be read" : "not a readable XML order: " + reason;
    }
    return {};
}

} // namespace kvad::nso
