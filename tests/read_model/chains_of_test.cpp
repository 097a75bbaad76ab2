// The working table of a few documents' chains (ReadChainsOf): the rows LeggiOrdini lists for
// those chains, column for column but the register's XML, over the examples (imported, so with ERP
// orders) and a generated inbox of orders revised and cancelled again and again.
#include <algorithm>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "generator/generated_inbox.h"
#include "read_model_test_env.h"

namespace kvad::read_model::test {
namespace {

/// A row of the working table: its document, the main row's key of its chain, and every column
/// but the document's XML, as text.
struct Listed {
    std::int32_t id;
    std::string chain;
    std::string text;
    bool operator==(const Listed&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Listed& row) {
        return out << row.text;
    }
};

Listed ListedRow(const Recordset& row) {
    Listed listed{row.Value("IE91_ID").ToLong(),
                  row.Value(row.Value("ID_PADRE").IsNull() ? "ID_RIGA" : "ID_PADRE").Text(), ""};
    for (int i = 0; i < row.FieldCount(); ++i) {
        if (row.FieldName(i) != "IE91_XML") {
            listed.text += row.FieldName(i) + "=" +
                           (row.Value(i).IsNull() ? "<null>" : row.Value(i).Text()) + "|";
        }
    }
    return listed;
}

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
        const auto rs = nso.RstOrdini();
        if (rs == nullptr) {
            ADD_FAILURE() << "no RstOrdini";
            return rows;
        }
        for (rs->Requery(); !rs->Eof(); rs->MoveNext()) {
            rows.push_back(ListedRow(*rs));
        }
        return rows;
    }
};

/// The rows of `all` in the chains that hold one of `ids`, in their order.
std::vector<Listed> RowsOfChains(const std::vector<Listed>& all,
                                 const std::set<std::int32_t>& ids) {
    std::set<std::string> chains;
    for (const auto& row : all) {
        if (ids.count(row.id) != 0) {
            chains.insert(row.chain);
        }
    }
    std::vector<Listed> rows;
    std::copy_if(all.begin(), all.end(), std::back_inserter(rows),
                 [&](const Listed& row) { return chains.count(row.chain) != 0; });
    return rows;
}

TEST_F(ChainsOfTest, ReadsExactlyTheRowsLeggiOrdiniListsForTheChainsAskedForAndNamesTheOthers) {
    const std::vector<Listed> all = Register();
    // Each document alone; the first and the last with one in no chain; none at all.
    std::set<std::vector<std::int32_t>> asks{{all.front().id, 999999, all.back().id}, {}};
    for (const auto& row : all) {
        asks.insert({row.id});
    }
    for (const std::vector<std::int32_t>& ask : asks) {
        const bool unknown = ask.size() == 3;
        EXPECT_EQ(nso.ReadChainsOf(ask),
                  unknown ? std::vector<std::int32_t>{999999} : std::vector<std::int32_t>{});
        ASSERT_EQ(nso.Stato(), kaOK) << nso.Errore().Text();
        EXPECT_FALSE(nso.RstOrdini()->HasField("IE91_XML")) << "a batch holds no copy of the XML";
        EXPECT_EQ(WorkingTable(), RowsOfChains(all, {ask.begin(), ask.end()}))
            << "chains of documents " << testing::PrintToString(ask);
    }
}

} // namespace
} // namespace kvad::read_model::test
