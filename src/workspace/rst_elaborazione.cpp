#include "workspace/rst_elaborazione.h"

#include <string>

#include "frame/failure_path.h"
#include "kvad_nso/codes.h"

namespace kvad::nso {
namespace {

/// "TMP_ELABORA = n" for a processing code.
std::string ProcessingIs(std::int32_t code) {
    return "TMP_ELABORA = " + std::to_string(code);
}

/// A display code of the message grid, as its statement writes it.
std::string Shown(std::int32_t display) {
    return std::to_string(display);
}

} // namespace

Variant GetRstElaborazione(NsoState& state, kaEnumContesto fContesto) {
    Guard(state, "GetRstElaborazione", [&] {
        const std::string& tabella = state.NomeTempOrdini;

        state.RstTestata.reset();
        state.RstTestata = Conn(state).OpenRecordset(
            "SELECT TEMP_ORD.*, "
            "       IE92_NSOTESTATAXML.*, "
            "       IE93_NSOTESTATA.* "
            "FROM " +
            tabella +
            " AS TEMP_ORD "
            "LEFT OUTER JOIN IE92_NSOTESTATAXML WITH (NOLOCK) "
            "ON IE92_NSOTESTATAXML.IE92_ID_IE91 = TEMP_ORD.IE91_ID "
            "LEFT OUTER JOIN IE93_NSOTESTATA WITH (NOLOCK) "
            "ON IE93_NSOTESTATA.IE93_ID_IE91 = TEMP_ORD.IE91_ID "
            "WHERE (" +
            ProcessingIs(processing::kToImport) + " OR " + ProcessingIs(processing::kCancellation) +
            " OR " + ProcessingIs(processing::kDeliveredChain) +
            ") "
            "ORDER BY ID_PADRE, LIVELLO ");
        state.RstTestata->SetProperty("Unique Table", "IE93_NSOTESTATA");

        state.RstCorpo.reset();
        state.RstCorpo =
            Conn(state).OpenRecordset("SELECT IE94_NSOCORPOXML .*, "
                                      "       IE95_NSOCORPO.* "
                                      "FROM " +
                                      tabella +
                                      " AS TEMP_ORD "
                                      "INNER JOIN IE95_NSOCORPO WITH (NOLOCK) "
                                      "ON IE95_NSOCORPO.IE95_ID_IE91 = TEMP_ORD.IE91_ID "
                                      "LEFT OUTER JOIN IE94_NSOCORPOXML WITH (NOLOCK) "
                                      "ON IE94_NSOCORPOXML.IE94_ID = IE95_NSOCORPO.IE95_ID_IE94 "
                                      "WHERE " +
                                      ProcessingIs(processing::kToImport) +
                                      " "
                                      "ORDER BY IE95_DO30_PROGRIGA");
        state.RstCorpo->SetProperty("Unique Table", "IE95_NSOCORPO");

        std::string sql =
            "SELECT IE98_ID, IE98_ID_IE91, IE98_ID_IE94, IE98_CODE_IE97, IE98_FIELD, "
            "IE98_PROGRIGA_DO30,  "
            "       (CASE WHEN IE98_TYPE = " +
            Shown(severity::kWarning) + " THEN " + Shown(severity::kShownAsWarning) +
            " "
            "             WHEN IE98_TYPE = " +
            Shown(severity::kError) + " THEN " + Shown(severity::kShownAsError) +
            " "
            "             ELSE " +
            Shown(severity::kShownAsOther) +
            " "
            "        END) AS IE98_TYPE, "
            "       IE97_CODE, "
            "       (CASE WHEN IE98_ERRORMESSAGE IS NOT NULL THEN IE98_ERRORMESSAGE ELSE "
            "IE97_MESSAGE END) AS IE97_MESSAGE  "
            "FROM " +
            tabella +
            " AS TEMP_ORD "
            "INNER JOIN IE98_NSO_LOGERRORS WITH (NOLOCK) "
            "ON IE98_ID_IE91 = TEMP_ORD.IE91_ID "
            "LEFT OUTER JOIN IE97_NSO_ERRORS WITH (NOLOCK) "
            "ON IE97_CODE = IE98_CODE_IE97 ";
        if (fContesto != Contesto_Tutti) {
            sql += " WHERE IE98_CONTESTO = " + std::to_string(static_cast<std::int32_t>(fContesto));
        }
        sql += "ORDER BY IE98_ID_IE91, IE98_PROGRIGA_DO30";
        state.RstLogMessages = Conn(state).Query(sql);
    });
    return {};
}

} // namespace kvad::nso
