#include "workspace/ordini.h"

#include <set>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/text.h"

namespace kvad::nso {
// The chain list: every leaf (a document with XML that no other such document refers to) with
// the documents it replaced beneath it, their linked ERP orders, the user who retrieved them and
// the buyer from the staged header.
namespace {

/// A code as the statements write it.
std::string Code(std::int32_t code) {
    return std::to_string(code);
}

/// "TABLE.*", or TABLE's columns named one by one.
std::string ColumnsOf(const std::string& table, const std::vector<std::string>& columns) {
    if (columns.empty()) {
        return table + ".*";
    }
    std::string list;
    for (const std::string& column : columns) {
        if (!list.empty()) {
            list += ", ";
        }
        list += table;
        list += '.';
        list += column;
    }
    return list;
}

/// The extra condition on the leaves of LeggiOrdini's kind of chains.
std::string LeafFilter(kaenumTipoOrdiniProcessati fTipoOrdiniProcessati) {
    if (fTipoOrdiniProcessati == kaOrdiniDaProcessare) {
        return " AND ISNULL(IE91_PROCESSATO, 0) = 0 \r\n";
    }
    if (fTipoOrdiniProcessati == kaOrdiniProcessati) {
        return " AND ISNULL(IE91_PROCESSATO, 0) = 1 \r\n";
    }
    return "";
}

/// Marks the main rows of `table` whose chain holds an older document with a delivered ERP
/// order, and opens its rows newest first.
std::shared_ptr<Recordset> MarkAndOpen(NsoState& state, const std::string& table,
                                       const std::string& columns = "*") {
    // Main rows whose chain holds an older document with a delivered ERP order.
    Conn(state).Execute("UPDATE TEMP_MAIN \r\n"
                        "SET TMP_IMG_SEL = " +
                        Code(selection::kBlocked) +
                        " \r\n"
                        "FROM " +
                        table +
                        " AS TEMP_EVASI \r\n"
                        "INNER JOIN " +
                        table +
                        " AS TEMP_MAIN \r\n"
                        "ON TEMP_MAIN.ID_RIGA = TEMP_EVASI.ID_PADRE \r\n"
                        "WHERE TEMP_EVASI.TMP_ORDINE_CONSEGNATO > 0");
    return Conn(state).OpenRecordset("SELECT " + columns + " \r\nFROM " + table +
                                     " \r\nORDER BY IE91_ISSUEDATE DESC, "
                                     "ID_PADRE, LIVELLO \r\n");
}

} // namespace

std::string ChainStatement(const std::string& company, const std::string& table,
                           const std::string& leafFilter,
                           const std::vector<std::string>& registerColumns) {
    std::string sql;
    sql.reserve(8192);
    sql += ";WITH \r\n";
    sql += "  CTE_RIF AS ( \r\n";
    sql += "    SELECT IE91_DITTA_CG18, \r\n";
    sql += "           IE91_RIF_IDORD, \r\n";
    sql += "           IE91_RIF_ISSUEDATE, \r\n";
    sql += "           IE91_RIF_ENDPOINTID \r\n";
    sql += "    FROM IE91_NSOFILES WITH (NOLOCK) \r\n";
    sql += "    WHERE IE91_DITTA_CG18 = " + company + " AND \r\n";
    sql += "          IE91_RIF_IDORD IS NOT NULL AND \r\n";
    sql += "          IE91_XML       IS NOT NULL ), \r\n";
    sql += "  CTE_FOGLIE AS ( \r\n";
    sql += "    SELECT " + ColumnsOf("IE91_NSOFILES", registerColumns) + " \r\n";
    sql += "    FROM IE91_NSOFILES WITH (NOLOCK) \r\n";
    sql += "    LEFT OUTER JOIN CTE_RIF WITH (NOLOCK) \r\n";
    sql += "    ON CTE_RIF.IE91_RIF_IDORD      = IE91_NSOFILES.IE91_IDORD AND \r\n";
    sql += "       CTE_RIF.IE91_RIF_ISSUEDATE  = IE91_NSOFILES.IE91_ISSUEDATE AND \r\n";
    sql += "       CTE_RIF.IE91_RIF_ENDPOINTID = IE91_NSOFILES.IE91_ENDPOINTID AND \r\n";
    sql += "       CTE_RIF.IE91_DITTA_CG18     = IE91_NSOFILES.IE91_DITTA_CG18 \r\n";
    sql += "    WHERE CTE_RIF.IE91_RIF_IDORD IS NULL AND \r\n";
    sql += "          IE91_NSOFILES.IE91_XML IS NOT NULL AND \r\n";
    sql += "          IE91_NSOFILES.IE91_DITTA_CG18 = " + company + " \r\n";
    sql += leafFilter;
    sql += "), \r\n";
    sql += "  CTE_ORDINAZIONI AS ( \r\n";
    sql += "    SELECT CONVERT (VARCHAR(50), IE91_IDORD) + '#' + CONVERT (VARCHAR, IE91_ISSUEDATE, "
           "23) + '#' + IE91_ENDPOINTID AS ID_RIGA, \r\n";
    sql += "           CONVERT (VARCHAR(50), NULL)    AS ID_PADRE, \r\n";
    sql += "           0 AS LIVELLO, \r\n";
    sql += "           CTE_FOGLIE.* \r\n";
    sql += "    FROM CTE_FOGLIE \r\n";
    sql += "    UNION ALL \r\n";
    sql += "    SELECT CONVERT (VARCHAR(50), FIGLIO.IE91_IDORD) + '#' + CONVERT (VARCHAR, "
           "FIGLIO.IE91_ISSUEDATE, 23) + '#' + FIGLIO.IE91_ENDPOINTID AS ID_RIGA, \r\n";
    sql += "           CONVERT (VARCHAR(50), CTE_FOGLIE.IE91_IDORD) + '#' + CONVERT (VARCHAR, "
           "CTE_FOGLIE.IE91_ISSUEDATE, 23) + '#' + CTE_FOGLIE.IE91_ENDPOINTID AS ID_PADRE, \r\n";
    sql += "           1 AS LIVELLO, \r\n";
    sql += "           " + ColumnsOf("FIGLIO", registerColumns) + " \r\n";
    sql += "    FROM CTE_FOGLIE \r\n";
    sql += "    INNER JOIN IE91_NSOFILES AS FIGLIO WITH (NOLOCK) \r\n";
    sql += "    ON FIGLIO.IE91_ENDPOINTID = CTE_FOGLIE.IE91_RIF_ENDPOINTID     AND \r\n";
    sql += "       FIGLIO.IE91_IDORD      = CTE_FOGLIE.IE91_RIF_IDORD  AND \r\n";
    sql += "       FIGLIO.IE91_ISSUEDATE  = CTE_FOGLIE.IE91_RIF_ISSUEDATE AND \r\n";
    sql += "       FIGLIO.IE91_DITTA_CG18 = CTE_FOGLIE.IE91_DITTA_CG18 \r\n";
    sql += "    UNION ALL \r\n";
    sql += "    SELECT CONVERT (VARCHAR(50), FIGLIO.IE91_IDORD) + '#' + CONVERT (VARCHAR, "
           "FIGLIO.IE91_ISSUEDATE, 23) + '#' + FIGLIO.IE91_ENDPOINTID AS ID_RIGA, \r\n";
    sql += "           CTE_ORDINAZIONI.ID_PADRE, \r\n";
    sql += "           LIVELLO + 1, \r\n";
    sql += "           " + ColumnsOf("FIGLIO", registerColumns) + " \r\n";
    sql += "    FROM CTE_ORDINAZIONI \r\n";
    sql += "    INNER JOIN IE91_NSOFILES AS FIGLIO WITH (NOLOCK) \r\n";
    sql += "    ON FIGLIO.IE91_ENDPOINTID = CTE_ORDINAZIONI.IE91_RIF_ENDPOINTID     AND \r\n";
    sql += "       FIGLIO.IE91_IDORD      = CTE_ORDINAZIONI.IE91_RIF_IDORD  AND \r\n";
    sql += "       FIGLIO.IE91_ISSUEDATE  = CTE_ORDINAZIONI.IE91_RIF_ISSUEDATE AND \r\n";
    sql += "       FIGLIO.IE91_DITTA_CG18 = CTE_ORDINAZIONI.IE91_DITTA_CG18 \r\n";
    sql += "    WHERE CTE_ORDINAZIONI.LIVELLO > 0 \r\n";
    sql += ") \r\n";
    sql += "SELECT CONVERT (TINYINT, (CASE WHEN LIVELLO = 0 THEN " + Code(selection::kNotSelected) +
           " ELSE " + Code(selection::kOlder) + " END)) AS TMP_IMG_SEL, \r\n";
    sql += "       CONVERT (TINYINT, " + Code(processing::kNothing) +
           ")                                         AS TMP_ELABORA, \r\n";
    sql += "       CONVERT (TINYINT, 0)                                         AS "
           "TMP_FLGNONPIUEV, \r\n";
    sql += "       CONVERT (TINYINT, " + Code(import_outcome::kNone) +
           ")                                         AS TMP_ESITO, \r\n";
    sql += "       CONVERT (TINYINT, " + Code(import_outcome::kNone) +
           ")                                         AS TMP_GESTIONE, \r\n";
    sql += "       (CASE WHEN IE91_OPERAZIONE = " + Code(operation::kRevision) + " THEN " +
           Code(image::kRevision) + " \r\n";
    sql += "             WHEN IE91_OPERAZIONE = " + Code(operation::kCancellation) + " THEN " +
           Code(image::kCancellation) + " \r\n";
    sql += "             ELSE " + Code(image::kNone) + " \r\n";
    sql += "        END) AS TMP_IMG_OPERAZIONE, \r\n";
    sql += "       (CASE WHEN DO11_DOCTESTATA.DO11_NUMREG_CO99 IS NULL THEN " + Code(image::kNone) +
           " ELSE " + Code(image::kHasErpOrder) +
           " END) AS "
           "TMP_IMG_GESTIONEDOC,       CTE_ORDINAZIONI.*, \r\n";
    sql += "       ISNULL (ORDINE.TMP_ORDINE_CONSEGNATO,0) AS TMP_ORDINE_CONSEGNATO, \r\n";
    sql += "       DO11_NUMREG_CO99, DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC, "
           "DO11_ANNODOC, \r\n";
    sql += "       FW07_USERNAME, \r\n";
    sql += "       IE92_BuyerCustomerParty_Party_PartyTaxScheme_CompanyID, \r\n";
    sql += "       IE92_BuyerCustomerParty_Party_PartyName_Name, \r\n";
    sql += "       IE92_BuyerCustomerParty_Party_PostalAddress_StreetName, \r\n";
    sql += "       IE92_BuyerCustomerParty_Party_PostalAddress_CityName, \r\n";
    sql += "       IE92_BuyerCustomerParty_Party_PostalAddress_PostalZone \r\n";
    sql += "INTO " + table + " \r\n";
    sql += "FROM CTE_ORDINAZIONI \r\n";
    sql += "LEFT OUTER JOIN DO11_DOCTESTATA WITH (NOLOCK) \r\n";
    sql += "ON DO11_DOCTESTATA.DO11_DITTA_CG18 = " + company + " AND \r\n";
    sql += "   DO11_DOCTESTATA.DO11_GUID       = IE91_GUID_DO11 \r\n";
    sql += "LEFT OUTER JOIN FW07_APPUSER WITH (NOLOCK) \r\n";
    sql += "ON FW07_ID = IE91_ID_FW07 \r\n";
    sql += "LEFT OUTER JOIN IE92_NSOTESTATAXML WITH (NOLOCK) \r\n";
    sql += "ON IE92_ID_IE91 = IE91_ID \r\n";
    sql +=
        "OUTER APPLY (SELECT TOP 1 " + Code(image::kDelivered) + " AS TMP_ORDINE_CONSEGNATO \r\n";
    sql += "             FROM DO31_DOCCORPOORD WITH (NOLOCK) \r\n";
    sql += "             WHERE DO31_DOCCORPOORD.DO31_DITTA_CG18  = DO11_DOCTESTATA.DO11_DITTA_CG18 "
           "AND \r\n";
    sql += "                   DO31_DOCCORPOORD.DO31_NUMREG_CO99 = "
           "DO11_DOCTESTATA.DO11_NUMREG_CO99 AND \r\n";
    sql += "                   DO31_QTA1CONS <> 0) AS ORDINE \r\n";
    return sql;
}

std::string FilterLiteral(const std::string& value) {
    // Quoted from a named string: GCC 12 at -O3 reports '"'" + temporary' as an overlapping copy
    // (-Wrestrict).
    const std::string doubled = ReplaceAll(value, "'", "''");
    return "'" + doubled + "'";
}

void LeggiOrdini(NsoState& state, kaenumTipoOrdiniProcessati fTipoOrdiniProcessati) {
    ResetStatus(state);
    Guard(state, "LeggiOrdini", [&] {
        const std::string& tabella = state.NomeTempOrdini;
        EliminaTabellaTemp(state, tabella);
        Conn(state).Execute(
            ChainStatement(CompanyCodeSql(state), tabella, LeafFilter(fTipoOrdiniProcessati)));
        state.RstOrdini.reset();
        state.RstOrdini = MarkAndOpen(state, tabella);
    });
}

namespace {

/// "a, b, c" for an IN list of ids.
std::string IdList(const std::set<std::int32_t>& ids) {
    std::string list;
    for (const std::int32_t id : ids) {
        if (!list.empty()) {
            list += ", ";
        }
        list += std::to_string(id);
    }
    return list;
}

/// `documentIds` with every document of the company that refers to one of them, directly or
/// through others: the leaves of the chains that hold the given documents are among them.
std::set<std::int32_t> DocumentsAndLaterOnes(NsoState& state,
                                             const std::vector<std::int32_t>& documentIds) {
    std::set<std::int32_t> reached(documentIds.begin(), documentIds.end());
    std::set<std::int32_t> frontier = reached;
    const std::string company = CompanyCodeSql(state);
    while (!frontier.empty()) {
        auto later =
            Conn(state).Query("SELECT LATER.IE91_ID FROM IE91_NSOFILES AS EARLIER "
                              "INNER JOIN IE91_NSOFILES AS LATER "
                              "ON LATER.IE91_RIF_IDORD = EARLIER.IE91_IDORD AND "
                              "LATER.IE91_RIF_ISSUEDATE = EARLIER.IE91_ISSUEDATE AND "
                              "LATER.IE91_RIF_ENDPOINTID = EARLIER.IE91_ENDPOINTID AND "
                              "LATER.IE91_DITTA_CG18 = EARLIER.IE91_DITTA_CG18 "
                              "WHERE EARLIER.IE91_DITTA_CG18 = " +
                              company + " AND EARLIER.IE91_ID IN (" + IdList(frontier) + ")");
        frontier.clear();
        for (; !later->Eof(); later->MoveNext()) {
            const std::int32_t id = later->Value("IE91_ID").ToLong();
            if (reached.insert(id).second) {
                frontier.insert(id);
            }
        }
    }
    return reached;
}

/// The register columns the chain statement links the documents by, and marks them by
/// (operation, ERP order, user); the rest of the register is for a listing to show.
std::vector<std::string> ChainKeyColumns() {
    return {"IE91_ID",         "IE91_DITTA_CG18", "IE91_IDORD",         "IE91_ISSUEDATE",
            "IE91_ENDPOINTID", "IE91_RIF_IDORD",  "IE91_RIF_ISSUEDATE", "IE91_RIF_ENDPOINTID",
            "IE91_OPERAZIONE", "IE91_PROCESSATO", "IE91_GUID_DO11",     "IE91_ID_FW07"};
}

/// Every register column but the XML, as the table has them now.
std::vector<std::string> RegisterColumnsButXml(NsoState& state) {
    std::vector<std::string> columns;
    auto shape = Conn(state).Query("SELECT * FROM IE91_NSOFILES WHERE 1 = 0");
    for (int i = 0; i < shape->FieldCount(); ++i) {
        if (!EqualsNoCase(shape->FieldName(i), "IE91_XML")) {
            columns.push_back(shape->FieldName(i));
        }
    }
    return columns;
}

} // namespace

std::vector<std::int32_t> ReadChainsOf(NsoState& state,
                                       const std::vector<std::int32_t>& documentIds) {
    const std::set<std::int32_t> reached = DocumentsAndLaterOnes(state, documentIds);
    // The leaves among the documents reached head the chains; the statement's own leaf condition
    // picks them out, so only its leaves are restricted.
    const std::string leaves = reached.empty()
                                   ? std::string(" AND 1 = 0 \r\n")
                                   : " AND IE91_NSOFILES.IE91_ID IN (" + IdList(reached) + ") \r\n";
    const std::string& tabella = state.NomeTempOrdini;
    EliminaTabellaTemp(state, tabella);
    Conn(state).Execute(
        ChainStatement(CompanyCodeSql(state), tabella, leaves, RegisterColumnsButXml(state)));
    state.RstOrdini.reset();
    state.RstOrdini = MarkAndOpen(state, tabella);

    std::set<std::int32_t> listed;
    auto rows = Conn(state).Query("SELECT IE91_ID FROM " + tabella);
    for (; !rows->Eof(); rows->MoveNext()) {
        listed.insert(rows->Value("IE91_ID").ToLong());
    }
    std::vector<std::int32_t> inNoChain;
    for (const std::int32_t id : documentIds) {
        if (listed.count(id) == 0) {
            inNoChain.push_back(id);
        }
    }
    return inNoChain;
}

std::shared_ptr<Recordset>
ListChains(NsoState& state, kaenumTipoOrdiniProcessati fTipoOrdiniProcessati, bool keysOnly) {
    const std::vector<std::string> columns =
        keysOnly ? ChainKeyColumns() : RegisterColumnsButXml(state);
    const std::string tabella = state.NomeTempOrdini + "_ELENCO";
    EliminaTabellaTemp(state, tabella);
    Conn(state).Execute(
        ChainStatement(CompanyCodeSql(state), tabella, LeafFilter(fTipoOrdiniProcessati), columns));
    if (!keysOnly) {
        return MarkAndOpen(state, tabella);
    }
    // The keys' recordset carries the chain's links and marks and the document's key only, and
    // is read whole: its table goes at once, so that a backlog's list holds no table beside it.
    auto keys = MarkAndOpen(state, tabella,
                            "ID_RIGA, ID_PADRE, LIVELLO, TMP_IMG_SEL, TMP_IMG_OPERAZIONE, "
                            "TMP_IMG_GESTIONEDOC, TMP_ORDINE_CONSEGNATO, IE91_ID, IE91_IDORD, "
                            "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_PROCESSATO");
    EliminaTabellaTemp(state, tabella);
    return keys;
}

void SetSelezione(NsoState& state, kaEnumNSOSelez pParSelez) {
    ResetStatus(state);
    Guard(state, "SetSelezione", [&] {
        std::string valore;
        switch (pParSelez) {
        case kaTutti:
            valore = Code(selection::kSelected);
            break;
        case kaNessuno:
            valore = Code(selection::kNotSelected);
            break;
        case kaInverti:
            valore = "(CASE WHEN TMP_IMG_SEL = " + Code(selection::kSelected) + " THEN " +
                     Code(selection::kNotSelected) + " ELSE " + Code(selection::kSelected) +
                     " END)";
            break;
        }
        // Any other value leaves the statement without a value, and the database refuses it.
        Conn(state).Execute("UPDATE " + state.NomeTempOrdini + " \r\nSET TMP_IMG_SEL = " + valore +
                            " \r\nWHERE TMP_IMG_SEL <= " + Code(selection::kSelected) +
                            " AND \r\n      LIVELLO = 0 \r\n");
    });
}

} // namespace kvad::nso
