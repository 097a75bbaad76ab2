#include "workspace/recupera_ordini.h"

#include "kvad_nso/codes.h"
#include "processing_test_env.h"

namespace kvad::nso {
namespace {

using CodeMap = std::map<std::int32_t, std::pair<int, int>>;
using namespace processing;

class RecuperaOrdiniTest : public test::ProcessingTest {};

TEST_F(RecuperaOrdiniTest, ChainWithADeliveredOldestOrderAndTheChainsAroundIt) {
    // Order, revision, second revision: the order's ERP order has deliveries, the revision's
    // has none, the second revision has none yet.
    const std::int32_t order = Register("ORD-2024-0001.xml", "2024-FAR-0381", "2024-03-04");
    const std::int32_t revision =
        Register("ORD-2024-0003.xml", "2024-FAR-0397", "2024-03-06", 1, order);
    const std::int32_t latest =
        Register("ORD-2024-0003.xml", "2024-FAR-0399", "2024-03-07", 1, revision);
    ErpOrder(order, true);
    ErpOrder(revision, false);
    // Older chains in the list: one already imported, one to import, one cancellation of an
    // order with an ERP document.
    const std::int32_t imported = Register("ORD-2024-0005.xml", "ORD/2024/00512", "2024-03-02");
    ErpOrder(imported, false);
    const std::int32_t plain = Register("ORD-2024-0002.xml", "87/2024", "2024-03-01");
    const std::int32_t cancelled = Register("ORD-2024-0002.xml", "86/2024", "2024-02-20");
    const std::int32_t cancellation =
        Register("ORD-2024-0004.xml", "93/2024", "2024-02-28", 2, cancelled);
    ErpOrder(cancelled, false);
    ErpOrder(cancellation, false);

    Process({latest, imported, plain, cancellation});

    EXPECT_EQ(Codes(), (CodeMap{{order, {kDelivered, 0}},
                                {revision, {kToClose, 1}},
                                {latest, {kDeliveredChain, 0}},
                                {imported, {kNothing, 0}},
                                {plain, {kToImport, 0}},
                                {cancelled, {kToClose, 1}},
                                {cancellation, {kCancellation, 0}}}));
    // To import, cancellations and delivered chains are loaded, decoded and verified; nothing to
    // do and to close are not.
    for (const std::int32_t id : {order, latest, plain, cancellation}) {
        EXPECT_TRUE(Staged(id) && Decoded(id) > 0) << id;
    }
    for (const std::int32_t id : {revision, imported, cancelled}) {
        EXPECT_FALSE(Staged(id) || Decoded(id) > 0) << id;
    }
    EXPECT_EQ(Status(latest), kaVerificaCerottoRosso);
    EXPECT_EQ(Log(latest), "13/1");
    EXPECT_EQ(Status(order), kaVerificaPuntoEsclamativo);
    EXPECT_EQ(Log(order), "15/3") << "its decoding message stays";
    // Lines without a delivery date: warnings.
    EXPECT_EQ(Status(plain), kaVerificaWarning);
    EXPECT_EQ(Log(plain), "201/1 201/1 201/1 201/1 201/1");
    // The cancellation is already an ERP document (15, decoding) and still verified as ready.
    EXPECT_EQ(Status(cancellation), kaVerificaOk);
    EXPECT_EQ(Log(cancellation), "15/3");
    // Order of the list: newest issue date first.
    EXPECT_LT(Decoded(latest), Decoded(order));
    EXPECT_LT(Decoded(plain), Decoded(cancellation));
}

TEST_F(RecuperaOrdiniTest, WholeChainOrLatestOnly) {
    const std::int32_t order = Register("ORD-2024-0001.xml", "2024-FAR-0381", "2024-03-04");
    const std::int32_t revision =
        Register("ORD-2024-0003.xml", "2024-FAR-0397", "2024-03-06", 1, order);

    env.S().Param_ModalitaImport = kaSoloPiuRecente;
    Process({revision});
    EXPECT_EQ(Codes(), (CodeMap{{order, {kNotImported, 0}}, {revision, {kToImport, 0}}}));
    EXPECT_FALSE(Staged(order));
    EXPECT_GT(Decoded(revision), 0);

    env.S().Param_ModalitaImport = kaInteraCatena;
    Process({revision});
    EXPECT_EQ(Codes(), (CodeMap{{order, {kToImport, 1}}, {revision, {kToImport, 0}}}));
    EXPECT_GT(Decoded(order), Decoded(revision)) << "the older document comes after its chain";

    // The codes alone, after a rebuild: nothing loaded or verified again.
    env.Native("UPDATE IE93_NSOTESTATA SET IE93_STATUS = 0");
    Select({revision});
    AssignProcessingCodes(env.S());
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(Codes(), (CodeMap{{order, {kToImport, 1}}, {revision, {kToImport, 0}}}));
    EXPECT_EQ(env.Count("SELECT 1 FROM IE93_NSOTESTATA WHERE IE93_STATUS <> 0"), 0);
}

TEST_F(RecuperaOrdiniTest, AFailingDocumentStopsTheDocumentsAfterIt) {
    const std::int32_t first = Register("ORD-2024-0001.xml", "A-1", "2024-03-10");
    const std::int32_t broken = Register("", "A-2", "2024-03-09", 0, 0, "this is not XML");
    const std::int32_t last = Register("ORD-2024-0002.xml", "A-3", "2024-03-08");

    Select({first, broken, last});
    RecuperaOrdini(env.S());
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: Decodifica", 0), 0) << env.S().Errore.Text();
    // Every code is written; the documents after the failing one are not loaded.
    EXPECT_EQ(Codes(),
              (CodeMap{{first, {kToImport, 0}}, {broken, {kToImport, 0}}, {last, {kToImport, 0}}}));
    EXPECT_EQ(Status(first), kaVerificaWarning) << "verified: two lines have no delivery date";
    EXPECT_FALSE(Staged(last));
    EXPECT_EQ(Decoded(last), 0);
}

TEST_F(RecuperaOrdiniTest, NothingSelectedOrNoWorkingTableFailsButNothingToLoadEndsWell) {
    RecuperaOrdini(env.S());
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: RecuperaOrdini", 0), 0);

    const std::int32_t order = Register("ORD-2024-0001.xml", "2024-FAR-0381", "2024-03-04");
    LeggiOrdini(env.S(), kaOrdiniTutti);
    (void)env.Db().Execute("UPDATE #TEMP_ORD SET TMP_ELABORA = 7");
    RecuperaOrdini(env.S());
    EXPECT_EQ(env.S().Stato, kaErrNessunDatoDaElaborare);
    EXPECT_EQ(env.S().Errore.Text(), "Nessun dato da elaborare");
    EXPECT_EQ(Codes(), (CodeMap{{order, {kNothing, 0}}})) << "the codes are reset all the same";
    EXPECT_FALSE(Staged(order));

    // Selected, but the only document already has an ERP order: code 0, nothing to load, and no
    // failure.
    ErpOrder(order, false);
    Process({order});
    EXPECT_EQ(Codes(), (CodeMap{{order, {kNothing, 0}}}));
    EXPECT_FALSE(Staged(order));
}

} // namespace
} // namespace kvad::nso
