#include "import/esito_ordine.h"

#include <memory>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/host.h"
#include "kvad_nso/recordset.h"

namespace kvad::nso {
namespace {

// The line range and option the document object closes an order with.
constexpr std::int16_t kFirstLine = 1;
constexpr std::int32_t kLastLine = 999999;
constexpr std::int32_t kDocumentOption = 0;

// The document object's settings, taken afresh for each call.
DocumentSettings& SettingsOf(DocumentObject& document) {
    auto settings = document.Settings();
    if (!settings) {
        ThrowObjectNotSet();
    }
    return *settings;
}

} // namespace

void SettaInfoOrdine(NsoState& state, std::int32_t fId, bool processato, const Variant& documento) {
    Guard(state, "SettaInfoOrdine", [&] {
        Conn(state).Execute(
            std::string("UPDATE IE91_NSOFILES SET IE91_PROCESSATO = ") + (processato ? "1" : "0") +
            ",     IE91_GUID_DO11  = " + FormatoDB(state, documento, kLiteralText, true).Text() +
            " WHERE IE91_ID = " + std::to_string(fId));
    });
}

void SettaEsitoOrdine(NsoState& state, std::int32_t fId, bool fallito) {
    Guard(state, "SettaEsitoOrdine", [&] {
        const std::string id = std::to_string(fId);
        const std::string& tabella = state.NomeTempOrdini;
        Conn(state).Execute(
            "UPDATE " + tabella + " SET TMP_ESITO        = " +
            std::to_string(fallito ? import_outcome::kFailed : import_outcome::kImported) +
            ",     TMP_GESTIONE     = " +
            std::to_string(fallito ? import_outcome::kHandlingFailed
                                   : import_outcome::kHandlingImported) +
            ",     DO11_NUMREG_CO99 = DO11_DOCTESTATA.DO11_NUMREG_CO99 "
            "FROM " +
            tabella +
            " AS TEMP_ORD "
            "LEFT OUTER JOIN IE91_NSOFILES WITH (NOLOCK) "
            "ON IE91_NSOFILES.IE91_DITTA_CG18 = " +
            CompanyCodeSql(state) +
            " AND    IE91_NSOFILES.IE91_ID         = TEMP_ORD.IE91_ID "
            "LEFT OUTER JOIN DO11_DOCTESTATA WITH (NOLOCK) "
            "ON DO11_DOCTESTATA.DO11_GUID     = IE91_NSOFILES.IE91_GUID_DO11 "
            "WHERE TEMP_ORD.IE91_ID = " +
            id);
        Conn(state).Execute("UPDATE IE93_NSOTESTATA SET IE93_STATUS = " +
                            std::to_string(fallito ? kaVerificaCritical : kaVerificaOk) +
                            " WHERE IE93_ID_IE91 = " + id);
    });
}

void RendiNonPiuEvadibile(NsoState& state, const std::string& lista) {
    ResetStatus(state);
    Guard(state, "RendiNonPiuEvadibile", [&] {
        auto ordini =
            Conn(state).Query("SELECT DO11_NUMREG_CO99 "
                              "FROM IE91_NSOFILES WITH (NOLOCK) "
                              "INNER JOIN DO11_DOCTESTATA WITH (NOLOCK) "
                              "ON DO11_DITTA_CG18 = IE91_DITTA_CG18 AND "
                              "   DO11_GUID       = IE91_GUID_DO11 "
                              "WHERE IE91_DITTA_CG18 = " +
                              CompanyCodeSql(state) + " AND       IE91_ID IN (" + lista + ") ");
        if (ordini->RecordCount() <= 0) {
            return;
        }
        auto documento = CreateObjectAs<DocumentObject>(progid::kDocument);
        SettingsOf(*documento).SetConnection(state.Connessione);
        SettingsOf(*documento).SetCompany(state.CodiceDitta.ToLong());
        SettingsOf(*documento).SetOption(kDocumentOption);
        for (; !ordini->Eof(); ordini->MoveNext()) {
            documento->CloseLines(ordini->Value("DO11_NUMREG_CO99"), kFirstLine, kLastLine);
            documento->RefreshState(ordini->Value("DO11_NUMREG_CO99"));
        }
        documento->Finish();
        SettingsOf(*documento).SetReference(nullptr);
        SettingsOf(*documento).SetConnection(nullptr);
        documento->SetSettings(nullptr);
    });
}

} // namespace kvad::nso
