#include "verification/error_log.h"

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"

namespace kvad::nso {
namespace {

constexpr std::size_t kMaxMessage = 1024;

} // namespace

void ScriviErrorLog(NsoState& state, std::int32_t fId, std::int32_t fIdIE94, std::int32_t fProgRiga,
                    std::int32_t fCodice, const std::string& fCampo, std::int32_t fTipo,
                    std::int32_t fContesto, const Variant& fMessaggio,
                    const VariantArray* fParametri) {
    Guard(state, "ScriviErrorLog", [&] {
        std::string message = fMessaggio.Text();
        if (fParametri != nullptr) {
            if (LunghezzaTesto(fMessaggio) == 0) {
                auto rs = Conn(state).Query(
                    "SELECT IE97_MESSAGE FROM IE97_NSO_ERRORS WITH (NOLOCK) WHERE IE97_CODE = " +
                    std::to_string(fCodice));
                if (!rs->Eof()) {
                    const Variant text = rs->Value("IE97_MESSAGE");
                    if (text.IsNull()) {
                        ThrowInvalidUseOfNull();
                    }
                    message = text.Text();
                }
            }
            if (!RightTrim(message).empty()) {
                // Index order: %1 is replaced before %10.
                for (std::size_t i = 0; i < fParametri->size(); ++i) {
                    // Appended, not '"%" + temporary', which GCC 12 at -O3 reports as an
                    // overlapping copy (-Wrestrict).
                    std::string placeholder = "%";
                    placeholder += std::to_string(i + 1);
                    message = ReplaceAll(message, placeholder, RightTrim((*fParametri)[i].Text()));
                }
            }
        }
        message = Utf8Left(message, kMaxMessage);
        const std::string campo = FormatoDB(state, fCampo, kLiteralText, true).Text();
        const std::string testo = FormatoDB(state, message, kLiteralText, true).Text();
        Conn(state).Execute("INSERT INTO IE98_NSO_LOGERRORS   VALUES ( " + std::to_string(fId) +
                            ", " + std::to_string(fIdIE94) + ", " + std::to_string(fProgRiga) +
                            ", " + std::to_string(fCodice) + ", " + campo + ", " +
                            std::to_string(fTipo) + ", " + std::to_string(fContesto) + ", " +
                            testo + ") ");
    });
}

void EliminaLogErrors(NsoState& state, std::int32_t fId, const Variant& fTestata,
                      const Variant& fCorpo, std::int32_t fContesto, std::int32_t fProgRiga,
                      const std::string& fCampo) {
    ResetStatus(state);
    Guard(state, "EliminaLogErrors", [&] {
        // The field is always a column name chosen by the program; doubling keeps a stray
        // quote from ending the literal.
        const std::string campo = ReplaceAll(fCampo, "'", "''");
        if (fTestata.IsExactlyTrue()) {
            std::string sql =
                "DELETE FROM IE98_NSO_LOGERRORS WHERE IE98_ID_IE91       = " + std::to_string(fId) +
                " AND       IE98_PROGRIGA_DO30 = 0 ";
            if (fContesto != 0) {
                sql += "AND IE98_CONTESTO      = " + std::to_string(fContesto) + " ";
            }
            if (!fCampo.empty()) {
                sql += "AND IE98_FIELD = '" + campo + "' ";
            }
            Conn(state).Execute(sql);
        }
        if (fCorpo.IsExactlyTrue()) {
            std::string sql =
                "DELETE FROM IE98_NSO_LOGERRORS WHERE IE98_ID_IE91 = " + std::to_string(fId) +
                " AND       IE98_PROGRIGA_DO30 <> 0 ";
            if (fContesto != 0) {
                sql += "AND IE98_CONTESTO      = " + std::to_string(fContesto) + " ";
            }
            if (fProgRiga != 0) {
                sql += "AND IE98_PROGRIGA_DO30 = " + std::to_string(fProgRiga) + " ";
            }
            if (!fCampo.empty()) {
                sql += "AND IE98_FIELD = '" + campo + "' ";
            }
            Conn(state).Execute(sql);
        }
    });
}

void DeleteLogEntries(NsoState& state, std::int32_t fId, std::int32_t code, std::int32_t context) {
    std::string sql = "DELETE FROM IE98_NSO_LOGERRORS WHERE IE98_ID_IE91 = " + std::to_string(fId) +
                      " AND IE98_CODE_IE97 = " + std::to_string(code);
    if (context != 0) {
        sql += " AND IE98_CONTESTO = " + std::to_string(context);
    }
    Conn(state).Execute(sql);
}

} // namespace kvad::nso
