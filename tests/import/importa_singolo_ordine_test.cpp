#include "import/importa_singolo_ordine.h"

#include <gtest/gtest.h>

#include "host/stand_ins.h"
#include "import/esito_ordine.h"
#include "import_members.h"
#include "import_test_env.h"
#include "support/broken_import.h"
#include "support/failing_connection.h"

namespace kvad::nso::test {
namespace {

class ImportaSingoloOrdineTest : public ImportTest {
  protected:
    void TearDown() override { (void)host::RegisterStandIns({}); }
};

TEST_F(ImportaSingoloOrdineTest, ReportsTheObjectsOutcomeAndReleasesTheObject) {
    Add({"A", "2024-03-01"});
    Add({"B", "2024-03-02"});
    auto recorder = std::make_shared<kvad::test::FailingConnection>(env.SharedDb());
    env.S().Connessione = recorder;

    env.S().Param_Tracciato = "ALTRO";
    EXPECT_TRUE(ImportaSingoloOrdine(env.S(), Id("A")).IsNull());
    EXPECT_EQ(env.S().Stato, 2);
    EXPECT_EQ(env.S().Errore.Text(), "Tracciato di importazione 'ALTRO' sconosciuto");
    EXPECT_EQ(ImportMembersOf(env.S()).boImport, nullptr);
    EXPECT_EQ(recorder->log.back().find("SELECT DO11_GUID"), std::string::npos)
        << "a failed import looks for no document";

    env.S().Param_Tracciato = "NSO";
    const Variant guid = ImportaSingoloOrdine(env.S(), Id("A"));
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(guid, env.Scalar("SELECT DO11_GUID FROM DO11_DOCTESTATA"));
    EXPECT_EQ(ImportMembersOf(env.S()).boImport, nullptr);

    // A document whose reference row does not carry the order's identity cannot be found.
    env.Native("UPDATE IE93_NSOTESTATA SET IE93_DO12_FEIDDOC = 'ALTRO' WHERE IE93_ID_IE91 = " +
               N(Id("B")));
    EXPECT_TRUE(ImportaSingoloOrdine(env.S(), Id("B")).IsNull());
    EXPECT_EQ(env.S().Stato, kaErrImportXML);
    EXPECT_EQ(env.S().Errore.Text(), "Errore nel recupero informazioni ordine importato");
}

using kvad::test::BrokenImport;

TEST_F(ImportaSingoloOrdineTest, AnObjectInterruptedByAnErrorIsReusedUntilReleased) {
    Add({"A", "2024-03-01"});
    RegisterClass(progid::kDocumentImport, [] { return std::make_shared<BrokenImport>(); });
    BrokenImport::made = 0;

    EXPECT_TRUE(ImportaSingoloOrdine(env.S(), Id("A")).IsNull());
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: ImportaSingoloOrdine\r\nVB error: 5 layout "
                                          "engine stopped",
                                          0),
              0u);
    ASSERT_NE(ImportMembersOf(env.S()).boImport, nullptr);
    (void)ImportaSingoloOrdine(env.S(), Id("A"));
    EXPECT_EQ(BrokenImport::made, 1);

    TermBOImport(env.S());
    EXPECT_EQ(ImportMembersOf(env.S()).boImport, nullptr);
    EXPECT_FALSE(BrokenImport::attached);
}

TEST_F(ImportaSingoloOrdineTest, ClosingOrdersWithoutErpDocumentsNeedsNoDocumentObject) {
    Add({"A", "2024-03-01"});
    Add({"B", "2024-03-02"});
    ErpOrder("B");
    UnregisterClass(progid::kDocument);

    RendiNonPiuEvadibile(env.S(), N(Id("A")));
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();

    RendiNonPiuEvadibile(env.S(), N(Id("A")) + "," + N(Id("B")));
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: RendiNonPiuEvadibile", 0), 0u);
}

} // namespace
} // namespace kvad::nso::test
