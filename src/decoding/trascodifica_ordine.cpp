#include "decoding/trascodifica_ordine.h"

#include <string>

#include "decoding/decodifica_corpo.h"
#include "decoding/decodifica_testata.h"
#include "frame/failure_path.h"
#include "verification/error_log.h"

namespace kvad::nso {
namespace {

// Message 15: an ERP document already made from this order.
constexpr std::int32_t kGiaImportato = 15;

} // namespace

void TrascodificaOrdine(NsoState& state, std::int32_t fId, bool fForza) {
    Guard(state, "TrascodificaOrdine", [&] {
        const std::string id = std::to_string(fId);
        bool decodifica = true;
        EliminaLogErrors(state, fId, true, true, Contesto_DecodificaDati, 0, "");

        // The join to the document's reference data has no condition on the company: a document
        // made from the same NSO order counts whatever its company.
        auto documento = Conn(state).Query(
            "SELECT TOP 1 DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC "
            "FROM IE91_NSOFILES WITH (NOLOCK) "
            "INNER JOIN DO12_DOCTESTARIF WITH (NOLOCK) "
            "ON ISNULL(DO12_FEIDDOC,'')      = ISNULL(IE91_IDORD,'')      AND "
            "   ISNULL(DO12_FEDATADOC,'')    = ISNULL(IE91_ISSUEDATE,'')  AND "
            "   ISNULL(DO12_FEIDSOGGETTO,'') = ISNULL(IE91_ENDPOINTID,'') "
            "INNER JOIN DO11_DOCTESTATA WITH (NOLOCK) "
            "ON DO11_DITTA_CG18  = DO12_DITTA_CG18 AND "
            "   DO11_NUMREG_CO99 = DO12_NUMREG_CO99 "
            "WHERE IE91_DITTA_CG18 = " +
            SqlCodiceDitta(state) + " AND       IE91_ID         = " + id);
        if (!documento->Eof()) {
            const VariantArray valori{
                documento->Value("DO11_DOCUM_MG36"), documento->Value("DO11_SEZDOC"),
                documento->Value("DO11_NUMDOC"), documento->Value("DO11_DATADOC")};
            ScriviErrorLog(state, fId, 0, 0, kGiaImportato, "", kaVerificaCritical,
                           Contesto_DecodificaDati, "", &valori);
        }
        documento.reset();

        if (!fForza) {
            auto righe = Conn(state).Query(
                "SELECT TOP 1 1 FROM IE95_NSOCORPO WITH (NOLOCK) WHERE IE95_ID_IE91 = " + id);
            decodifica = righe->Eof();
        }
        if (decodifica) {
            EliminaTabellaTrascodifica(state, fId, true, true);
            DecodificaDati(state, fId);
        }
    });
}

void DecodificaDati(NsoState& state, std::int32_t fId) {
    Guard(state, "DecodificaDati", [&] {
        DecodificaTestata(state, fId);
        DecodificaCorpo(state, fId);
    });
}

void EliminaTabellaTrascodifica(NsoState& state, std::int32_t fId, const Variant& fTestata,
                                const Variant& fCorpo) {
    Guard(state, "EliminaTabellaTrascodifica", [&] {
        const std::string id = std::to_string(fId);
        if (fCorpo.IsExactlyTrue()) {
            Conn(state).Execute("DELETE IE95_NSOCORPO WHERE IE95_ID_IE91 = " + id);
        }
        if (fTestata.IsExactlyTrue()) {
            Conn(state).Execute("DELETE FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + id);
        }
    });
}

} // namespace kvad::nso
