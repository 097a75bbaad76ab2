#include "workspace/rst_elaborazione.h"

#include <set>
#include <vector>

#include "kvad_nso/codes.h"
#include "processing_test_env.h"
#include "verification/error_log.h"
#include "verification/verifica_dati.h"
#include "workspace/recupera_ordini.h"

namespace kvad::nso {
namespace {

class RstElaborazioneTest : public test::ProcessingTest {
  protected:
    static std::vector<std::int32_t> Ids(Recordset& rs, const char* column) {
        std::vector<std::int32_t> ids;
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
            ids.push_back(rs.Value(column).ToLong());
        }
        return ids;
    }

    /// The message grid as "order:code:display:message" lines.
    std::vector<std::string> Messages() {
        std::vector<std::string> out;
        auto& rs = *env.S().RstLogMessages;
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
            out.push_back(
                rs.Value("IE98_ID_IE91").Text() + ":" + rs.Value("IE98_CODE_IE97").Text() + ":" +
                rs.Value("IE98_TYPE").Text() + ":" +
                (rs.Value("IE97_MESSAGE").IsNull() ? "null" : rs.Value("IE97_MESSAGE").Text()));
        }
        return out;
    }
};

TEST_F(RstElaborazioneTest, EachGridHoldsTheRowsOfItsProcessingCodes) {
    LeggiOrdini(env.S(), kaOrdiniTutti);
    (void)GetRstElaborazione(env.S(), Contesto_Tutti);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(env.S().RstTestata->RecordCount() + env.S().RstCorpo->RecordCount() +
                  env.S().RstLogMessages->RecordCount(),
              0);

    const std::int32_t order = Register("ORD-2024-0001.xml", "2024-FAR-0381", "2024-03-04");
    const std::int32_t latest =
        Register("ORD-2024-0003.xml", "2024-FAR-0397", "2024-03-06", 1, order);
    ErpOrder(order, true);
    const std::int32_t plain = Register("ORD-2024-0002.xml", "87/2024", "2024-03-05");
    const std::int32_t cancelled = Register("ORD-2024-0005.xml", "86/2024", "2024-02-20");
    const std::int32_t cancellation =
        Register("ORD-2024-0004.xml", "93/2024", "2024-02-28", 2, cancelled);
    ErpOrder(cancelled, false);
    Process({latest, plain, cancellation});
    // An import outcome and an entry whose code the catalogue does not know.
    ScriviErrorLog(env.S(), plain, 0, 0, message::kImported, "", severity::kInfo,
                   Contesto_ImportDati, "");
    ScriviErrorLog(env.S(), cancellation, 0, 0, 999, "", severity::kWarning, Contesto_ImportDati,
                   "");

    (void)GetRstElaborazione(env.S(), Contesto_Tutti);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    const auto headers = Ids(*env.S().RstTestata, "IE91_ID");
    EXPECT_EQ(std::set<std::int32_t>(headers.begin(), headers.end()),
              (std::set<std::int32_t>{latest, plain, cancellation}))
        << "codes 2, 4 and 6; the delivered older order (5) is not there";
    const auto lines = Ids(*env.S().RstCorpo, "IE95_ID_IE91");
    EXPECT_EQ(lines, std::vector<std::int32_t>(6, plain)) << "only the lines of code 2";
    EXPECT_EQ(Ids(*env.S().RstCorpo, "IE95_DO30_PROGRIGA"),
              (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));

    const auto messages = Messages();
    const auto has = [&](const std::string& m) {
        return std::find(messages.begin(), messages.end(), m) != messages.end();
    };
    EXPECT_TRUE(has(std::to_string(order) + ":15:12:Ordine già importato nel documento OCL "
                                            "sezionale A numero 501 del 20/03/2024"));
    EXPECT_TRUE(has(std::to_string(latest) +
                    ":13:12:Ordine non importabile: un ordine precedente della stessa catena ha "
                    "quantità già consegnate"));
    EXPECT_TRUE(has(std::to_string(plain) + ":201:13:Data di consegna mancante"));
    EXPECT_TRUE(has(std::to_string(plain) + ":14:99:Ordine importato correttamente"));
    EXPECT_TRUE(has(std::to_string(cancellation) + ":999:13:null"));

    kaEnumContesto import = Contesto_ImportDati;
    (void)GetRstElaborazione(env.S(), import);
    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              std::to_string(plain) + ":14:99:Ordine importato correttamente",
                              std::to_string(cancellation) + ":999:13:null"}));
}

TEST_F(RstElaborazioneTest, EditsReachOnlyTheDecodedTablesAndSurviveANewProcessing) {
    const std::int32_t order = Register("ORD-2024-0002.xml", "87/2024", "2024-03-05");
    Process({order});
    (void)GetRstElaborazione(env.S(), Contesto_Tutti);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();

    auto header = env.S().RstTestata->Clone();
    header->SetFilter("IE93_ID_IE91 = " + std::to_string(order));
    header->SetValue("IE93_DO11_CODDEP", "");
    header->SetValue("IE92_BuyerCustomerParty_Party_PartyName_Name", "Altro");
    header->SetValue("TMP_ELABORA", processing::kNothing);
    header->Update();
    auto line = env.S().RstCorpo->Clone();
    line->SetFilter("IE95_DO30_PROGRIGA = 2");
    line->SetValue("IE95_DO30_CODART_MG66", "A-EDITED");
    line->SetValue("IE95_DO31_DATACONS", DateTime{2024, 4, 2, 0, 0, 0});
    line->SetValue("IE94_LineItem_ID", "99");
    line->Update();

    const std::string id = std::to_string(order);
    EXPECT_EQ(env.Scalar("SELECT IE93_DO11_CODDEP FROM IE93_NSOTESTATA WHERE IE93_ID_IE91 = " + id)
                  .Text(),
              "");
    EXPECT_EQ(env.Scalar("SELECT IE92_BuyerCustomerParty_Party_PartyName_Name FROM "
                         "IE92_NSOTESTATAXML WHERE IE92_ID_IE91 = " +
                         id)
                  .Text(),
              "Comune di Borgo San Vitale");
    EXPECT_EQ(env.Scalar("SELECT TMP_ELABORA FROM #TEMP_ORD").ToLong(), processing::kToImport);
    EXPECT_EQ(env.Count("SELECT 1 FROM IE95_NSOCORPO WHERE IE95_DO30_CODART_MG66 = 'A-EDITED'"), 1);
    EXPECT_EQ(env.Count("SELECT 1 FROM IE94_NSOCORPOXML WHERE IE94_LineItem_ID = '99'"), 0);

    // Verified again through the host's recordsets: the statuses show in them at once and the
    // message grid is requeried.
    const auto count = [&] { return env.S().RstLogMessages->RecordCount(); };
    const long before = count();
    VerificaDati(env.S(), processing::kToImport, order, true, false);
    EXPECT_EQ(header->Value("IE93_STATUS").ToLong(), kaVerificaCritical);
    EXPECT_EQ(count(), before + 1) << "message 102, no depot";
    VerificaDati(env.S(), processing::kToImport, order, false, true, 2);
    EXPECT_EQ(line->Value("IE95_STATUS").ToLong(), kaVerificaOk);
    EXPECT_EQ(count(), before) << "line 2 has its delivery date now";

    Process({order});
    EXPECT_EQ(env.Scalar("SELECT IE93_DO11_CODDEP FROM IE93_NSOTESTATA").Text(), "");
    EXPECT_EQ(env.Count("SELECT 1 FROM IE95_NSOCORPO WHERE IE95_DO30_CODART_MG66 = 'A-EDITED'"), 1);
    EXPECT_EQ(Status(order), kaVerificaCritical);
}

} // namespace
} // namespace kvad::nso
