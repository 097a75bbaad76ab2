#include "config/configurazione.h"

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/text.h"

namespace kvad::nso {
namespace {

// A one-pass result is empty when it reports no records, or, where the count is unknown, when it
// has no first row.
bool IsEmptyResult(const Recordset& rs) {
    const long count = rs.RecordCount();
    return count < 0 ? rs.Eof() : count == 0;
}

} // namespace

void Inizializza(NsoState& state) {
    Guard(state, "Inizializza", [&] { LeggiParametri(state); });
}

void LeggiParametri(NsoState& state) {
    Guard(state, "LeggiParametri", [&] {
        state.Param_CodiceDocumento.clear();
        state.Param_DataImport = kDataImportDefault;
        state.Param_ModalitaImport = kaInteraCatena;
        state.Param_Tracciato.clear();

        auto rs = Conn(state).Query("SELECT * FROM IE90_CONFIGNSO WITH (NOLOCK) WHERE "
                                    "IE90_DITTA_CG18 = " +
                                    CompanyCodeSql(state));
        if (IsEmptyResult(*rs)) {
            state.Stato = kaErrParametri;
            state.Errore = std::string("Parametri di configurazione assenti");
            return;
        }
        state.Param_CodiceDocumento =
            ValoreODefault(rs->Value("IE90_CODDOCUM_MG3G"), std::string()).Text();
        state.Param_DataImport = ValoreODefault(rs->Value("IE90_DATAORA_IMPORT"), std::string());
        if (state.Param_DataImport.Text().empty()) {
            state.Param_DataImport = kDataImportDefault;
        }
        if (state.Param_CodiceDocumento.empty()) {
            state.Stato = kaErrParametri;
            state.Errore = std::string("Codice documento assente nei parametri di configurazione");
        }
        state.Param_Tracciato =
            ValoreODefault(rs->Value("IE90_TRACCIATO_IE25"), std::string()).Text();
        if (state.Param_Tracciato.empty()) {
            state.Stato = kaErrParametri;
            state.Errore = std::string("Codice tracciato assente nei parametri di configurazione");
        }
    });
}

bool RecuperaSezionaleDepositoDefault(NsoState& state, const std::string& fDocumento,
                                      std::string& fSezionale, std::string& fDeposito) {
    bool found = false;
    fSezionale.clear();
    fDeposito.clear();
    Guard(state, "RecuperaSezionaleDepositoDefault", [&] {
        // The document code comes from the host's configuration; its quotes are doubled so
        // that it can never end the literal.
        const std::string documento =
            ReplaceAll(ValoreODefault(fDocumento, std::string()).Text(), "'", "''");
        auto rs = Conn(state).Query(
            "SELECT MG3G_SEZDEFAULT, MG3G_DEPDEFAULT_MG58 FROM MG3G_DOCDITTA WITH (NOLOCK) WHERE "
            "MG3G_DITTA_CG18    = " +
            CompanyCodeSql(state) + " AND       MG3G_CODDOCUM_MG36 = '" + documento + "'");
        if (!rs->Eof()) {
            fSezionale = ValoreODefault(rs->Value("MG3G_SEZDEFAULT"), std::string()).Text();
            fDeposito = ValoreODefault(rs->Value("MG3G_DEPDEFAULT_MG58"), std::string()).Text();
            found = true;
        }
    });
    return found;
}

} // namespace kvad::nso
