#pragma once
// Chains of registered example orders with the demo master data, and ERP orders written
// directly, for the tests of the processing driver and the result recordsets.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "host/master_data.h"
#include "kvad_nso/recordset.h"
#include "support/test_env.h"
#include "workspace/ordini.h"

namespace kvad::nso::test {

using kvad::test::Q;

class ProcessingTest : public ::testing::Test {
  protected:
    ProcessingTest() {
        (void)host::LoadDemoMasterData(env.Db(), 1);
        env.S().Param_CodiceDocumento = "OCL";
    }

    /// Registers an example order (file under examples/inbox/IT01234567890) as number `idord`
    /// of `date` (yyyy-mm-dd); `operazione` 1 revises, 2 cancels the document `rif` (an id).
    std::int32_t Register(const std::string& file, const std::string& idord,
                          const std::string& date, int operazione = 0, std::int32_t rif = 0,
                          const std::string& xml = "") {
        const std::string text =
            xml.empty() ? kvad::test::ReadSourceFile("examples/inbox/IT01234567890/" + file) : xml;
        std::string reference = "NULL, NULL, NULL";
        if (rif != 0) {
            const std::string of = " FROM IE91_NSOFILES WHERE IE91_ID = " + std::to_string(rif);
            reference = "(SELECT IE91_IDORD" + of + "), (SELECT IE91_ISSUEDATE" + of +
                        "), (SELECT IE91_ENDPOINTID" + of + ")";
        }
        env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, "
                   "IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML, IE91_RIF_IDORD, "
                   "IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID) VALUES (1, " +
                   Q(idord) + ", " + Q(date + " 00:00:00") + ", 'UF7HQ2', " +
                   std::to_string(operazione) + ", " + Q(text) + ", " + reference + ")");
        return env.Scalar("SELECT MAX(IE91_ID) FROM IE91_NSOFILES").ToLong();
    }

    /// An ERP order made from document `id` (linked to it and carrying its NSO identification),
    /// with one line delivered or not.
    void ErpOrder(std::int32_t id, bool delivered) {
        const std::string numreg = std::to_string(500 + id);
        const std::string guid = Q("GUID-" + numreg);
        env.Native("INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, DO11_GUID, "
                   "DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC) VALUES (1, " +
                   numreg + ", " + guid + ", 'OCL', 'A', " + numreg +
                   ", '2024-03-20 00:00:00');"
                   "INSERT INTO DO31_DOCCORPOORD (DO31_DITTA_CG18, DO31_NUMREG_CO99, "
                   "DO31_PROGRIGA, DO31_QTA1CONS) VALUES (1, " +
                   numreg + ", 1, " + (delivered ? "3" : "0") +
                   ");"
                   "INSERT INTO DO12_DOCTESTARIF (DO12_DITTA_CG18, DO12_NUMREG_CO99, "
                   "DO12_FEIDDOC, DO12_FEDATADOC, DO12_FEIDSOGGETTO) SELECT 1, " +
                   numreg +
                   ", IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID FROM IE91_NSOFILES WHERE "
                   "IE91_ID = " +
                   std::to_string(id) +
                   ";"
                   "UPDATE IE91_NSOFILES SET IE91_GUID_DO11 = " +
                   guid + " WHERE IE91_ID = " + std::to_string(id));
    }

    /// Rebuilds the working table and selects the chains headed by `mains` through RstOrdini,
    /// as a host's list does (a blocked chain too).
    void Select(std::initializer_list<std::int32_t> mains) {
        LeggiOrdini(env.S(), kaOrdiniTutti);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        auto rows = env.S().RstOrdini->Clone();
        for (const std::int32_t id : mains) {
            rows->SetFilter("IE91_ID = " + std::to_string(id) + " AND LIVELLO = 0");
            ASSERT_FALSE(rows->Eof()) << "no chain headed by " << id;
            rows->SetValue("TMP_IMG_SEL", 1);
            rows->Update();
        }
    }

    /// TMP_ELABORA and TMP_FLGNONPIUEV of each document, as RstOrdini shows them.
    std::map<std::int32_t, std::pair<int, int>> Codes() {
        std::map<std::int32_t, std::pair<int, int>> codes;
        auto rows = env.S().RstOrdini->Clone();
        for (; !rows->Eof(); rows->MoveNext()) {
            codes[rows->Value("IE91_ID").ToLong()] = {rows->Value("TMP_ELABORA").ToLong(),
                                                      rows->Value("TMP_FLGNONPIUEV").ToLong()};
        }
        return codes;
    }

    /// The order's decoded header id (its place in the decoding order), 0 when not decoded.
    std::int32_t Decoded(std::int32_t id) {
        const Variant row = env.Scalar("SELECT IE93_ID FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " +
                                       std::to_string(id));
        return row.IsNull() ? 0 : row.ToLong();
    }

    bool Staged(std::int32_t id) {
        return env.Count("SELECT 1 FROM IE92_NSOTESTATAXML WHERE IE92_ID_IE91 = " +
                         std::to_string(id)) > 0;
    }

    /// IE93_STATUS of an order's decoded header.
    int Status(std::int32_t id) {
        return env
            .Scalar("SELECT IE93_STATUS FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " +
                    std::to_string(id))
            .ToLong();
    }

    /// The order's log entries as "code/context", in the order written.
    std::string Log(std::int32_t id) {
        std::string out;
        auto rs = env.Db().Query("SELECT IE98_CODE_IE97, IE98_CONTESTO FROM IE98_NSO_LOGERRORS "
                                 "WHERE IE98_ID_IE91 = " +
                                 std::to_string(id) + " ORDER BY IE98_ID");
        for (; !rs->Eof(); rs->MoveNext()) {
            out += (out.empty() ? "" : " ") + rs->Value(0).Text() + "/" + rs->Value(1).Text();
        }
        return out;
    }

    kvad::test::TestEnv env;
};

} // namespace kvad::nso::test
