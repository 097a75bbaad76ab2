// The working table of a few documents' chains (ReadChainsOf): the rows LeggiOrdini lists for
// those chains, column for column but the register's XML, over the examples (imported, so with ERP
// orders) and a generated inbox of orders revised and cancelled again and again.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "generator/generated_inbox.h"
#include "read_model_test_env.h"

namespace kvad::read_model::test {
namespace {

/// Every column of a working-table row but the document's XML, as text.
std::string RowText(const Recordset& row) {
    std::string text;
    for (int i = 0; i < row.FieldCount(); ++i) {
        if (row.FieldName(i) == "IE91_XML") {
            continue;
        }
        text += row.FieldName(i) + "=" + (row.Value(i).IsNull() ? "<null>" : row.Value(i).Text());
        text += "|";
    }
    return text;
}

/// The main row's key of the chain a working-table row belongs to.
std::string ChainOf(const Recordset& row) {
    return row.Value("ID_PADRE").IsNull() ? row.Value("ID_RIGA").Text()
                                          : row.Value("ID_PADRE").Text();
}

/// A row of the working table: its document, its chain and every column.
struct Listed {
    std::int32_t id;
    std::string chain;
    std::string text;
};

class ChainsOfTest : public ReadModelTest {
  protected:
    /// The examples imported, then a generated inbox of chains of several documents fetched
    /// beside them; the working table of every chain (LeggiOrdini).
    std::vector<Listed> Register() {
        ProcessAndImport();
        generator::InboxPlan plan;
        plan.documents = 60;
        plan.revisionPercent = 30;
        plan.cancellationPercent = 10;
        plan.maxLines = 2;
        const generator::InboxSummary summary = generator::WriteInbox(env.Dir() / "inbox", plan);
        EXPECT_GE(summary.longestChain, 3);
        nso.RecuperaOrdiniNSO();
        EXPECT_EQ(nso.Stato(), kaOK) << nso.Errore().Text();
        kaenumTipoOrdiniProcessati every = kaOrdiniTutti;
        nso.LeggiOrdini(every);
        EXPECT_EQ(nso.Stato(), kaOK) << nso.Errore().Text();
        std::vector<Listed> all = WorkingTable();
        EXPECT_GT(all.size(), static_cast<std::size_t>(summary.documents));
        return all;
    }

    /// The working table as RstOrdini lists it.
    std::vector<Listed> WorkingTable() {
        std::vector<Listed> rows;
        auto rs = nso.RstOrdini();
        EXPECT_NE(rs, nullptr);
        if (rs == nullptr) {
            return rows;
        }
        rs->Requery();
        for (; !rs->Eof(); rs->MoveNext()) {
            rows.push_back({rs->Value("IE91_ID").ToLong(), ChainOf(*rs), RowText(*rs)});
        }
        return rows;
    }
};

/// The rows of `all` in the chains that hold one of `ids`, in their order.
std::vector<std::string> RowsOfChains(const std::vector<Listed>& all,
                                      const std::set<std::int32_t>& ids) {
    std::set<std::string> chains;
    for (const auto& row : all) {
        if (ids.count(row.id) != 0) {
            chains.insert(row.chain);
        }
    }
    std::vector<std::string> rows;
    for (const auto& row : all) {
        if (chains.count(row.chain) != 0) {
            rows.push_back(row.text);
        }
    }
    return rows;
}

std::vector<std::string> Texts(const std::vector<Listed>& rows) {
    std::vector<std::string> texts;
    texts.reserve(rows.size());
    for (const auto& row : rows) {
        texts.push_back(row.text);
    }
    return texts;
}

TEST_F(ChainsOfTest, ReadsExactlyTheRowsLeggiOrdiniListsForTheChainsOfEachDocument) {
    const std::vector<Listed> all = Register();
    std::set<std::int32_t> documents;
    for (const auto& row : all) {
        documents.insert(row.id);
    }
    for (const std::int32_t id : documents) {
        EXPECT_TRUE(nso.ReadChainsOf({id}).empty()) << id;
        ASSERT_EQ(nso.Stato(), kaOK) << nso.Errore().Text();
        EXPECT_FALSE(nso.RstOrdini()->HasField("IE91_XML")) << "a batch holds no copy of the XML";
        EXPECT_EQ(Texts(WorkingTable()), RowsOfChains(all, {id})) << "chains of document " << id;
    }
}

TEST_F(ChainsOfTest, NamesTheDocumentsInNoChainAndReadsTheOthers) {
    const std::vector<Listed> all = Register();
    const std::int32_t first = all.front().id;
    const std::int32_t last = all.back().id;
    EXPECT_EQ(nso.ReadChainsOf({first, 999999, last}), (std::vector<std::int32_t>{999999}));
    EXPECT_EQ(Texts(WorkingTable()), RowsOfChains(all, {first, last}));
    EXPECT_TRUE(nso.ReadChainsOf({}).empty());
    EXPECT_TRUE(WorkingTable().empty());
}

} // namespace
} // namespace kvad::read_model::test
