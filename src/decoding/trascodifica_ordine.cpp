#include "decoding/trascodifica_ordine.h"

#include <string>

#include "decoding/decodifica_corpo.h"
#include "decoding/decodifica_testata.h"
#include "decoding/unreadable_numbers.h"
#include "frame/failure_path.h"
#include "frame/transaction.h"
#include "kvad_nso/codes.h"
#include "verification/error_log.h"

namespace kvad::nso {

void TrascodificaOrdine(NsoState& state, std::int32_t fId, bool fForza) {
    Guard(state, "TrascodificaOrdine", [&] {
        const std::string id = std::to_string(fId);
        // The order's decoding is kept whole or not at all: its messages, its header, its lines
        // (those of its own allowances too, with the staged lines added for them) and its cash
        // discount. A run cut short, by a failure or by the end of the process, leaves the order
        // as it was, so the next run decodes it again. On SQLite the transaction holds the
        // database's write lock from its start, before the "already decoded?" question below:
        // two processes never both decide to decode the same order.
        Transaction unit(state);
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
            CompanyCodeSql(state) + " AND       IE91_ID         = " + id);
        if (!documento->Eof()) {
            const VariantArray valori{
                documento->Value("DO11_DOCUM_MG36"), documento->Value("DO11_SEZDOC"),
                documento->Value("DO11_NUMDOC"), documento->Value("DO11_DATADOC")};
            ScriviErrorLog(state, fId, 0, 0, message::kAlreadyImported, "", severity::kError,
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
        // Every run, decoded now or earlier: a number the order could not give stays reported
        // until a clerk has corrected the value it fed.
        if (state.Stato == kaOK) {
            ReportUnreadableNumbers(state, fId);
        }
        // Step 2 set Stato to kaOK: anything else is a failure on the way. A database failure that
        // a routine got past (a later log clearing resets Stato) undoes the unit too, and is
        // reported here.
        if (state.Stato == kaOK) {
            unit.CommitOrRethrowFault();
        } else {
            RollBackQuietly(unit);
        }
    });
}

void RollBackQuietly(Transaction& unit) noexcept {
    try {
        unit.Rollback();
    } catch (...) {
        // The failure that made the work stop is the one reported.
    }
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
