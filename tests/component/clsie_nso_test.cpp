#include "kvad_nso/clsie_nso.h"

#include <gtest/gtest.h>

#include "host/stand_ins.h"
#include "kvad_nso/codes.h"
#include "support/broken_import.h"
#include "support/fake_connection.h"
#include "support/test_env.h"

namespace kvad {
namespace {

class TraceCapture {
  public:
    TraceCapture() {
        SetTraceSink([this](const std::string& line) { lines.push_back(line); });
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;
    TraceCapture(TraceCapture&&) = delete;
    TraceCapture& operator=(TraceCapture&&) = delete;
    ~TraceCapture() { SetTraceSink(nullptr); }
    std::vector<std::string> lines;
};

TEST(ClsieNso, HostCreatesItByProgIdAndSeesInitialValues) {
    RegisterComponentClasses();
    auto object = std::dynamic_pointer_cast<CLSIE_NSO>(CreateObject("kvad_nso.clsie_nso"));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Stato(), kaOK);
    EXPECT_EQ(object->NomeTempOrdini(), "#TEMP_ORD");
    EXPECT_TRUE(object->Transazione());
    EXPECT_TRUE(object->CodiceDitta().IsEmpty());
    EXPECT_TRUE(object->Errore().IsEmpty());
    EXPECT_EQ(object->Param_ModalitaImport(), kaInteraCatena);
    EXPECT_EQ(object->RstOrdini(), nullptr);
    EXPECT_EQ(object->RstTestata(), nullptr);
    EXPECT_EQ(object->RstCorpo(), nullptr);
    EXPECT_EQ(object->RstLogMessages(), nullptr);
    EXPECT_EQ(object->Connessione(), nullptr);
    EXPECT_EQ(object->RTrimN(" a  ").Text(), " a");
    EXPECT_THROW((void)CreateObject("KVAD_NSO.Unknown"), VbError);
}

TEST(ClsieNso, EndingAnInstanceReleasesButNeverClosesTheConnection) {
    auto connection = std::make_shared<test::FakeConnection>();
    {
        CLSIE_NSO object;
        object.SetConnessione(connection);
        EXPECT_EQ(connection.use_count(), 2);
    }
    EXPECT_EQ(connection.use_count(), 1);
    EXPECT_TRUE(connection->IsOpen());
    EXPECT_TRUE(connection->statements.empty()) << "nothing was sent on the way out";
}

using test::BrokenImport;

TEST(ClsieNso, EndingAnInstanceReleasesTheImportObjectAFailureLeftBehind) {
    test::TestEnv env;
    env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, "
               "IE91_ENDPOINTID, IE91_XML) VALUES (1, 'A', '2024-03-01 00:00:00', 'UF', '<x/>')");
    RegisterClass(progid::kDocumentImport, [] { return std::make_shared<BrokenImport>(); });
    {
        CLSIE_NSO object;
        object.SetConnessione(env.SharedDb());
        object.SetCodiceDitta(std::int32_t{1});
        kaenumTipoOrdiniProcessati all = kaOrdiniTutti;
        object.LeggiOrdini(all);
        auto chain = object.RstOrdini();
        chain->SetValue("TMP_ELABORA", static_cast<std::int16_t>(processing::kToImport));
        chain->Update();
        object.SetRstTestata(env.Db().OpenRecordset("SELECT * FROM #TEMP_ORD"));

        object.ImportaDocumenti();

        EXPECT_EQ(object.Stato(), kaErrVB);
        EXPECT_EQ(BrokenImport::alive, 1);
        EXPECT_TRUE(BrokenImport::attached);
    }
    EXPECT_EQ(BrokenImport::alive, 0);
    EXPECT_FALSE(BrokenImport::attached);
    (void)host::RegisterStandIns({});
}

TEST(ClsieNso, TraceLinesCarryOneIdentifierFromStartToEnd) {
    TraceCapture capture;
    std::string id;
    {
        CLSIE_NSO object;
        id = object.IdIstanza();
        EXPECT_EQ(object.IdIstanza(), id) << "kept for the instance's life";
    }
    ASSERT_EQ(capture.lines.size(), 2U);
    EXPECT_EQ(capture.lines[0], "KWRX:|" + id + "|INI|KVAD_NSO|CLSIE_NSO");
    EXPECT_EQ(capture.lines[1], "KWRX:|" + id + "|TER|KVAD_NSO|CLSIE_NSO");
}

} // namespace
} // namespace kvad
