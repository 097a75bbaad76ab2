#include "import/importa_singolo_ordine.h"

#include <string>

#include "frame/failure_path.h"
#include "import_members.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/recordset.h"

namespace kvad::nso {
namespace {

// The option the import object is run with.
constexpr std::int16_t kImportOption = 4;

DocumentImport& ImportObject(NsoState& state) {
    auto& bo = ImportMembersOf(state).boImport;
    if (!bo) {
        ThrowObjectNotSet();
    }
    return *bo;
}

} // namespace

void InitBOImport(NsoState& state) {
    Guard(state, "InitBOImport", [&] {
        auto& bo = ImportMembersOf(state).boImport;
        if (bo) {
            return;
        }
        bo = CreateObjectAs<DocumentImport>(progid::kDocumentImport);
        bo->SetConnection(state.Connessione);
        bo->SetHost(state.ActiveInterface);
    });
}

void TermBOImport(NsoState& state) {
    Guard(state, "TermBOImport", [&] {
        auto& bo = ImportMembersOf(state).boImport;
        if (!bo) {
            return;
        }
        bo->SetConnection(nullptr);
        bo->SetHost(nullptr);
        bo.reset();
    });
}

Variant ImportaSingoloOrdine(NsoState& state, std::int32_t fId) {
    Variant documento = Variant::Null();
    ResetStatus(state);
    Guard(state, "ImportaSingoloOrdine", [&] {
        const std::string id = std::to_string(fId);
        InitBOImport(state);
        DocumentImport& bo = ImportObject(state);
        bo.SetLayout(state.Param_Tracciato);
        bo.SetOption(kImportOption);
        bo.SetFilter("IE91_ID = " + id);
        bo.Run();
        // From here on the state reports the import's own outcome.
        state.Stato = static_cast<kaEnumNSOErrStato>(bo.OutcomeCode());
        state.Errore = bo.OutcomeText();
        TermBOImport(state);
        if (state.Stato != kaOK) {
            return;
        }
        // The document the import made carries the order's NSO identity in its reference row.
        auto rs =
            Conn(state).Query("SELECT DO11_GUID FROM IE91_NSOFILES WITH (NOLOCK) "
                              "INNER JOIN DO12_DOCTESTARIF WITH (NOLOCK) "
                              "ON DO12_DITTA_CG18              = IE91_DITTA_CG18  AND "
                              "   ISNULL(DO12_FEIDDOC,'')      = ISNULL(IE91_IDORD,'')      AND "
                              "   ISNULL(DO12_FEDATADOC,'')    = ISNULL(IE91_ISSUEDATE,'')  AND "
                              "   ISNULL(DO12_FEIDSOGGETTO,'') = ISNULL(IE91_ENDPOINTID,'') "
                              "INNER JOIN DO11_DOCTESTATA WITH (NOLOCK) "
                              "ON DO11_DITTA_CG18  = DO12_DITTA_CG18 AND "
                              "   DO11_NUMREG_CO99 = DO12_NUMREG_CO99 "
                              "WHERE IE91_ID = " +
                              id);
        if (rs->Eof()) {
            state.Stato = kaErrImportXML;
            state.Errore = std::string("Errore nel recupero informazioni ordine importato");
            return;
        }
        documento = rs->Value("DO11_GUID");
    });
    return documento;
}

} // namespace kvad::nso
