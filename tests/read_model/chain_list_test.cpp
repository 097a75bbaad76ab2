// The register as a host lists it: chains with their older documents, and documents named by
// register id or order number.
#include "kvad_nso/read_model/chain_list.h"

#include "kvad_nso/read_model/documents.h"
#include "read_model_test_env.h"

namespace kvad::read_model::test {
namespace {

TEST_F(ReadModelTest, TheListGroupsOlderDocumentsUnderTheLatestAndTellsWhatBecameOfThem) {
    const ChainList all = ReadChainList(nso, kaOrdiniTutti, 0);
    EXPECT_EQ(all.chains, 4U);
    EXPECT_EQ(all.documents, 6U);
    ASSERT_EQ(all.shown.size(), 4U);
    std::vector<std::vector<std::int32_t>> ids;
    for (const ListedChain& chain : all.shown) {
        ids.emplace_back();
        for (const ListedDocument& d : chain.documents) {
            ids.back().push_back(d.id);
            EXPECT_EQ(d.level, ids.back().size() == 1 ? 0 : 1);
        }
    }
    EXPECT_EQ(ids, (std::vector<std::vector<std::int32_t>>{{6}, {5}, {4, 2}, {3, 1}}))
        << "the latest chain first";
    const ListedDocument& revision = all.shown[3].documents[0];
    EXPECT_EQ(revision.kind, "revision");
    EXPECT_EQ(revision.state, "to process");
    EXPECT_EQ(ReadChainList(nso, kaOrdiniTutti, 1).shown.size(), 1U);
    nso.SetStato(kaErrVB);
    EXPECT_EQ(ReadChainList(nso, kaOrdiniTutti, 0).chains, 4U)
        << "an earlier call's failure does not stop the list";

    ProcessAndImport();
    const ChainList processed = ReadChainList(nso, kaOrdiniProcessati, 0);
    EXPECT_EQ(processed.chains, 3U);
    EXPECT_EQ(processed.shown.back().documents[0].erpDocument, "OCL A/3");
    EXPECT_EQ(processed.shown.back().documents[0].state, "processed");
    EXPECT_EQ(ReadChainList(nso, kaOrdiniDaProcessare, 0).chains, 1U) << "the failed chain";
}

TEST_F(ReadModelTest, TheListReadChainByChainIsToldItsSizeFirstAndReusesNoChainsDocuments) {
    // Each event: the size told, or a chain by its documents' ids.
    std::vector<std::string> events;
    const ChainCounts counts = ForEachListedChain(
        nso, kaOrdiniTutti, 3,
        [&](const ChainCounts& size) {
            events.push_back("counted " + std::to_string(size.chains) + "/" +
                             std::to_string(size.documents));
        },
        [&](ListedChain&& chain) {
            std::string ids = "chain";
            for (const ListedDocument& d : chain.documents) {
                ids += " " + std::to_string(d.id);
            }
            events.push_back(ids);
        });
    EXPECT_EQ(counts.chains, 4U);
    EXPECT_EQ(counts.documents, 6U);
    EXPECT_EQ(events, (std::vector<std::string>{"counted 4/6", "chain 6", "chain 5", "chain 4 2"}))
        << "the size before the first chain, no more chains than the limit, and each chain with "
           "its own documents only";
}

TEST_F(ReadModelTest, ADocumentIsFoundByRegisterIdOrByAnOrderNumberOnlyItHas) {
    ASSERT_EQ(FindDocuments(nso, "3").size(), 1U);
    EXPECT_EQ(FindDocuments(nso, "3")[0].kind, "revision");
    const std::vector<DocumentRef> byNumber = FindDocuments(nso, "87/2024");
    ASSERT_EQ(byNumber.size(), 1U);
    EXPECT_EQ(Title(byNumber[0]), "Order 87/2024 of 05/03/2024 (id 2)");
    EXPECT_TRUE(FindDocuments(nso, "nothing' OR '1' = '1").empty()) << "a quote is text";

    env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, "
               "IE91_ENDPOINTID) VALUES (1, '87/2024', '2024-06-01 00:00:00', 'OTHER')");
    EXPECT_EQ(FindDocuments(nso, "87/2024").size(), 2U) << "ambiguous";
    EXPECT_EQ(FindDocuments(env.Db(), 2, "87/2024").size(), 0U) << "another company's";
    EXPECT_FALSE(ReadDocument(nso, 99).has_value());
    EXPECT_FALSE(HasDecodedLines(nso, 5));
    nso.DecodeOrder(5);
    EXPECT_TRUE(HasDecodedLines(nso, 5));
}

} // namespace
} // namespace kvad::read_model::test
