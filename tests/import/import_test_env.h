#pragma once
// Chains of decoded orders ready to import: registered documents with their decoded header and
// lines written directly, the working table built by LeggiOrdini with the processing codes
// written into it, and the header and line grids opened as the host has them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "frame/nso_state.h"
#include "kvad_nso/recordset.h"
#include "support/failing_connection.h"
#include "support/log_entries.h"
#include "support/test_env.h"
#include "workspace/ordini.h"
#include "workspace/rst_elaborazione.h"

namespace kvad::nso::test {

using kvad::test::Q;

inline std::string N(std::int64_t value) {
    return std::to_string(value);
}

/// The result grids on the working table, as the host has them after processing.
inline void OpenResultGrids(NsoState& s) {
    (void)GetRstElaborazione(s, Contesto_Tutti);
    ASSERT_EQ(s.Stato, kaOK) << s.Errore.Text();
}

/// How many of the statements a connection recorded contain the text.
inline long Sent(const kvad::test::FailingConnection& recorder, const std::string& text) {
    return std::count_if(recorder.log.begin(), recorder.log.end(), [&](const std::string& sent) {
        return sent.find(text) != std::string::npos;
    });
}

/// One document of a chain to set up.
struct Doc {
    std::string number;        ///< IE91_IDORD
    std::string date;          ///< issue date, yyyy-mm-dd
    int operation = 0;         ///< 0 order, 1 revision, 2 cancellation
    std::string replaces = ""; ///< number of the document it replaces, "" for none
    std::int32_t customer = 1; ///< decoded customer (0: not decoded)
};

/// A company with its master data and the chains added to it.
class ImportScene {
  public:
    ImportScene() {
        env.S().Param_CodiceDocumento = "OCL";
        env.S().Param_Tracciato = "NSO";
        env.Native("INSERT INTO MG3G_DOCDITTA VALUES (1, 'OCL', NULL, 'A', '01');"
                   "INSERT INTO CG08_TABVALUTE VALUES ('001', 'EUR', NULL);"
                   "INSERT INTO CG28_TABCODIVA VALUES ('22', 'Aliquota 22%', 22);"
                   "INSERT INTO CG16_ANAGRAFICA (CG16_CODICE, CG16_RAGSOC) VALUES (501, 'ASL');"
                   "INSERT INTO CG44_CLIFOR VALUES (1, 0, 1, 501);"
                   "INSERT INTO MG22_CLIFORDEST (MG22_DITTA_CG18, MG22_TIPOCF_CG44, "
                   "MG22_CLIFOR_CG44, MG22_CODDESTIN) VALUES (1, 0, 1, 'MAG');"
                   "INSERT INTO MG66_ANAGRART (MG66_DITTA_CG18, MG66_CODART) VALUES (1, 'ART1');"
                   "INSERT INTO MG66_ANAGRART (MG66_DITTA_CG18, MG66_CODART) VALUES (1, 'ART2')");
    }

    /// Registers a document with stored XML, its staged header (buyer, office, delivery
    /// location) and its decoded header and two decoded lines; returns its IE91_ID.
    std::int32_t Add(const Doc& d) {
        std::string reference = "NULL, NULL, NULL";
        if (!d.replaces.empty()) {
            const auto& older = documents_.at(d.replaces);
            reference = Q(d.replaces) + ", " + Q(older.date + " 00:00:00") + ", 'UFTEST'";
        }
        env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, "
                   "IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML, IE91_RIF_IDORD, "
                   "IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID) VALUES (1, " +
                   Q(d.number) + ", " + Q(d.date + " 00:00:00") + ", 'UFTEST', " + N(d.operation) +
                   ", '<Order/>', " + reference + ")");
        const auto id = env.Scalar("SELECT MAX(IE91_ID) FROM IE91_NSOFILES").ToLong();
        documents_[d.number] = d;
        ids_[d.number] = id;
        env.Native("INSERT INTO IE92_NSOTESTATAXML (IE92_ID_IE91, "
                   "IE92_BuyerCustomerParty_Party_PartyName_Name, "
                   "IE92_BuyerCustomerParty_Party_PostalAddress_StreetName, "
                   "IE92_Delivery_DeliveryLocation_ID) VALUES (" +
                   N(id) + ", 'ASL Uno', 'Via Roma 1', 'LOC-" + d.number + "')");
        env.Native("INSERT INTO IE93_NSOTESTATA (IE93_ID_IE91, IE93_STATUS, IE93_DO12_FEIDDOC, "
                   "IE93_DO12_FEDATADOC, IE93_DO12_FEIDSOGGETTO, IE93_DO11_DATADOC, "
                   "IE93_DO11_CODDOCUM_MG3G, IE93_DO11_SEZDOC, IE93_DO11_CODDEP, "
                   "IE93_DO11_TIPOCF_CG44, IE93_DO11_CLIFOR_CG44, IE93_DO11_VALUTA_CG08, "
                   "IE93_DO11_UFFICIOPA_CG1M, IE93_DO11_CLIFORDEST, IE93_DO13_SCIMPCASSA) "
                   "VALUES (" +
                   N(id) + ", 1, " + Q(d.number) + ", " + Q(d.date + " 00:00:00") + ", 'UFTEST', " +
                   Q(d.date + " 00:00:00") + ", 'OCL', 'A', '01', 0, " + N(d.customer) +
                   ", '001', 'UFTEST', 'MAG', 1.5)");
        for (int line = 1; line <= 2; ++line) {
            env.Native("INSERT INTO IE94_NSOCORPOXML (IE94_ID_IE91, "
                       "IE94_LineItem_Item_StandardItemIdentification_ID) VALUES (" +
                       N(id) + ", 'GTIN-" + N(line) + "')");
            env.Native("INSERT INTO IE95_NSOCORPO (IE95_ID_IE91, IE95_ID_IE94, IE95_STATUS, "
                       "IE95_DO30_PROGRIGA, IE95_DO30_CODART_MG66, IE95_DO30_INDTIPORIGA, "
                       "IE95_DO30_DESCART, IE95_DO30_QTA1, IE95_DO30_PREZZO1, "
                       "IE95_DO30_ALIVA_CG28, IE95_DO31_DATACONS) VALUES (" +
                       N(id) + ", (SELECT MAX(IE94_ID) FROM IE94_NSOCORPOXML), 1, " + N(line) +
                       ", 'ART" + N(line) + "', 0, 'Articolo', " + N(line * 2) +
                       ", 10.25, '22', '2024-04-01 00:00:00')");
        }
        return id;
    }

    [[nodiscard]] std::int32_t Id(const std::string& number) const { return ids_.at(number); }

    /// An ERP order already made for a document: header, reference row and one line with a
    /// delivered quantity or none; returns its registration number.
    std::int32_t ErpOrder(const std::string& number, bool delivered = false) {
        const std::int32_t numreg = 900 + static_cast<std::int32_t>(ids_.at(number));
        const std::string guid = "GUID-" + number;
        env.Native("INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, DO11_GUID, "
                   "DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC, DO11_ANNODOC) "
                   "VALUES (1, " +
                   N(numreg) + ", " + Q(guid) + ", 'OCL', 'A', 7, '2024-01-01 00:00:00', 2024);" +
                   "INSERT INTO DO31_DOCCORPOORD (DO31_DITTA_CG18, DO31_NUMREG_CO99, "
                   "DO31_PROGRIGA, DO31_QTA1CONS) VALUES (1, " +
                   N(numreg) + ", 1, " + (delivered ? "2" : "0") + ");" +
                   "UPDATE IE91_NSOFILES SET IE91_GUID_DO11 = " + Q(guid) +
                   " WHERE IE91_ID = " + N(ids_.at(number)));
        return numreg;
    }

    /// Builds the working table on the state's connection and writes the processing codes:
    /// {number, TMP_ELABORA, TMP_FLGNONPIUEV} per document (a document the table does not list
    /// is passed over); then opens the header and line grids.
    void Process(const std::vector<std::tuple<std::string, int, int>>& codes) {
        LeggiOrdini(env.S(), kaOrdiniDaProcessare);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        for (const auto& [number, elabora, flag] : codes) {
            env.S().Connessione->Execute("UPDATE #TEMP_ORD SET TMP_ELABORA = " + N(elabora) +
                                         ", TMP_FLGNONPIUEV = " + N(flag) +
                                         " WHERE IE91_ID = " + N(ids_.at(number)));
        }
        env.S().RstOrdini->Requery();
        OpenResultGrids(env.S());
    }

    /// The rows of a table, or of "TABLE WHERE condition".
    long Count(const std::string& table) {
        return env.Scalar("SELECT COUNT(*) FROM " + table).ToLong();
    }

    /// IE93_STATUS of a document's decoded header.
    std::int32_t Status(const std::string& number) {
        return env
            .Scalar("SELECT IE93_STATUS FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + N(Id(number)))
            .ToLong();
    }

    /// A column of a document's working-table row (the table lives on the state's connection).
    Variant Work(const std::string& number, const std::string& column) {
        auto rs = env.S().Connessione->Query(
            "SELECT " + column + " FROM #TEMP_ORD WHERE IE91_ID = " + N(ids_.at(number)));
        return rs->Eof() ? Variant::Null() : rs->Value(0);
    }

    /// A column of a document's register row.
    Variant Register(const std::string& number, const std::string& column) {
        return env.Scalar("SELECT " + column +
                          " FROM IE91_NSOFILES WHERE IE91_ID = " + N(ids_.at(number)));
    }

    /// The import messages of a document, "code: text", in the order written.
    std::vector<std::string> ImportMessages(const std::string& number) {
        std::vector<std::string> out;
        for (const auto& entry :
             kvad::test::ReadLogOf(env.Db(), ids_.at(number),
                                   "IE98_CONTESTO = " + std::to_string(Contesto_ImportDati))) {
            out.push_back(std::to_string(entry.code) + " type " + std::to_string(entry.severity) +
                          ": " + entry.message.Text());
        }
        return out;
    }

    /// The registration number of the ERP order made for a document (Null when none).
    Variant Numreg(const std::string& number) {
        return env.Scalar("SELECT DO11_NUMREG_CO99 FROM IE91_NSOFILES INNER JOIN DO11_DOCTESTATA "
                          "ON DO11_GUID = IE91_GUID_DO11 WHERE IE91_ID = " +
                          N(ids_.at(number)));
    }

    kvad::test::TestEnv env;

  private:
    std::map<std::string, Doc> documents_;
    std::map<std::string, std::int32_t> ids_;
};

class ImportTest : public ::testing::Test, public ImportScene {};

} // namespace kvad::nso::test
