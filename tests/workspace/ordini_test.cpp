#include "workspace/ordini.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "kvad_nso/codes.h"
#include "support/test_env.h"

namespace kvad::nso {
namespace {

struct Doc {
    std::string number;
    std::string date;
    std::string replaces = ""; // "" or "number|date": refers to that document
    int operation = 0;
    bool xml = true;
    bool processed = false;
    std::string guid = ""; // linked ERP document
};

class LeggiOrdiniTest : public ::testing::Test {
  protected:
    void Add(const Doc& d) {
        std::string refNumber = "NULL", refDate = "NULL", refEndpoint = "NULL";
        if (!d.replaces.empty()) {
            const auto bar = d.replaces.find('|');
            refNumber = test::Q(d.replaces.substr(0, bar));
            refDate = test::Q(d.replaces.substr(bar + 1) + " 00:00:00");
            refEndpoint = "'UFABCD'";
        }
        env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_IDORD, "
                   "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML, IE91_RIF_IDORD, "
                   "IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID, IE91_PROCESSATO, IE91_GUID_DO11) "
                   "VALUES (1, 0, " +
                   test::Q(d.number) + ", '" + d.date + " 00:00:00', 'UFABCD', " +
                   std::to_string(d.operation) + ", " + (d.xml ? "'<Order/>'" : "NULL") + ", " +
                   refNumber + ", " + refDate + ", " + refEndpoint + ", " +
                   (d.processed ? "1" : "NULL") + ", " +
                   (d.guid.empty() ? "NULL" : test::Q(d.guid)) + ")");
    }

    void ErpOrder(const std::string& guid, int numreg, bool delivered) {
        env.Native("INSERT INTO DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_NUMREG_CO99, DO11_GUID, "
                   "DO11_DOCUM_MG36, DO11_SEZDOC, DO11_NUMDOC, DO11_DATADOC, DO11_ANNODOC) VALUES "
                   "(1, " +
                   std::to_string(numreg) + ", '" + guid +
                   "', 'OCL', 'A', 1, '2024-01-01 00:00:00', 2024)");
        env.Native("INSERT INTO DO31_DOCCORPOORD (DO31_DITTA_CG18, DO31_NUMREG_CO99, "
                   "DO31_PROGRIGA, DO31_QTA1CONS) VALUES (1, " +
                   std::to_string(numreg) + ", 1, " + (delivered ? "2" : "0") + ")");
    }

    struct Row {
        int level;
        std::string parent;
        int selection;
        int operationImage;
    };
    // The working table by ID_RIGA.
    std::multimap<std::string, Row> Rows() {
        std::multimap<std::string, Row> rows;
        auto rs = env.S().RstOrdini;
        EXPECT_NE(rs, nullptr);
        if (!rs) {
            return rows;
        }
        rs->Requery();
        for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
            rows.emplace(rs->Value("ID_RIGA").Text(),
                         Row{rs->Value("LIVELLO").ToLong(), rs->Value("ID_PADRE").Text(),
                             rs->Value("TMP_IMG_SEL").ToLong(),
                             rs->Value("TMP_IMG_OPERAZIONE").ToLong()});
        }
        return rows;
    }

    static Row At(const std::multimap<std::string, Row>& rows, const std::string& key) {
        const auto it = rows.find(key);
        if (it == rows.end()) {
            ADD_FAILURE() << "no row " << key;
            return Row{-1, "", -1, -1};
        }
        return it->second;
    }

    void Read(kaenumTipoOrdiniProcessati kind = kaOrdiniTutti) {
        LeggiOrdini(env.S(), kind);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    }

    test::TestEnv env;
};

TEST_F(LeggiOrdiniTest, ChainOfThreeDocuments) {
    Add({"100", "2024-01-10", "", 0});
    Add({"101", "2024-02-10", "100|2024-01-10", 1});
    Add({"102", "2024-03-10", "101|2024-02-10", 1});
    Add({"200", "2024-01-05", "", 0});
    Read();
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 4U);
    const std::string leaf = "102#2024-03-10#UFABCD";
    EXPECT_EQ(At(rows, leaf).level, 0);
    EXPECT_EQ(At(rows, leaf).parent, "");
    EXPECT_EQ(At(rows, leaf).operationImage, 15);
    EXPECT_EQ(At(rows, "101#2024-02-10#UFABCD").level, 1);
    EXPECT_EQ(At(rows, "101#2024-02-10#UFABCD").parent, leaf);
    EXPECT_EQ(At(rows, "100#2024-01-10#UFABCD").level, 2);
    EXPECT_EQ(At(rows, "100#2024-01-10#UFABCD").parent, leaf);
    EXPECT_EQ(At(rows, "100#2024-01-10#UFABCD").selection, 9);
    EXPECT_EQ(At(rows, "200#2024-01-05#UFABCD").operationImage, 99);

    // Newest issue date first.
    auto rs = env.S().RstOrdini;
    rs->MoveFirst();
    EXPECT_EQ(rs->Value("ID_RIGA").Text(), leaf);
}

TEST_F(LeggiOrdiniTest, TwoDocumentsReferringToTheSameOrderGiveTwoChains) {
    Add({"100", "2024-01-10", "", 0});
    Add({"101", "2024-02-10", "100|2024-01-10", 1});
    Add({"102", "2024-02-11", "100|2024-01-10", 2});
    Read();
    const auto rows = Rows();
    EXPECT_EQ(rows.count("100#2024-01-10#UFABCD"), 2U);
    EXPECT_EQ(At(rows, "102#2024-02-11#UFABCD").operationImage, 16);
}

TEST_F(LeggiOrdiniTest, FilterOnLeavesAndDocumentsWithoutXml) {
    Add({"100", "2024-01-10", "", 0});
    Add({"101", "2024-02-10", "100|2024-01-10", 1, true, true}); // processed leaf
    Add({"300", "2024-01-01", "", 0});
    Add({"301", "2024-02-01", "300|2024-01-01", 1, false}); // never downloaded
    Read(kaOrdiniDaProcessare);
    auto rows = Rows();
    EXPECT_EQ(rows.size(), 1U) << "the processed leaf hides its whole chain";
    EXPECT_EQ(rows.begin()->first, "300#2024-01-01#UFABCD");
    EXPECT_EQ(rows.begin()->second.level, 0) << "a document without XML is never a leaf";

    Read(kaOrdiniProcessati);
    EXPECT_EQ(Rows().size(), 2U);
    Read(kaOrdiniTutti);
    EXPECT_EQ(Rows().size(), 3U);
}

TEST_F(LeggiOrdiniTest, DeliveredOlderOrderBlocksSelection) {
    Add({"100", "2024-01-10", "", 0, true, true, "G-100"});
    Add({"101", "2024-02-10", "100|2024-01-10", 1});
    Add({"200", "2024-01-10", "", 0, true, false, "G-200"});
    ErpOrder("G-100", 1, true);
    ErpOrder("G-200", 2, true);
    Read();
    const auto rows = Rows();
    EXPECT_EQ(At(rows, "101#2024-02-10#UFABCD").selection, 2);
    EXPECT_EQ(At(rows, "200#2024-01-10#UFABCD").selection, 0)
        << "a main row whose own order is delivered stays selectable";

    SetSelezione(env.S(), kaTutti);
    auto after = Rows();
    EXPECT_EQ(At(after, "101#2024-02-10#UFABCD").selection, 2);
    EXPECT_EQ(At(after, "200#2024-01-10#UFABCD").selection, 1);
    EXPECT_EQ(At(after, "100#2024-01-10#UFABCD").selection, 9);
}

TEST_F(LeggiOrdiniTest, ListChainsGivesTheWorkingTableRowsWithoutTheXml) {
    Add({"100", "2024-01-10", "", 0, true, true, "G-100"});
    Add({"101", "2024-02-10", "100|2024-01-10", 1});
    Add({"102", "2024-03-10", "101|2024-02-10", 2});
    Add({"200", "2024-01-10", "", 0, true, false, "G-200"});
    Add({"300", "2024-01-01", "", 0, false});
    ErpOrder("G-100", 1, true);
    const auto rowsOf = [](Recordset& rs) {
        std::vector<std::string> rows;
        if (rs.RecordCount() <= 0) {
            return rows;
        }
        for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
            rows.push_back(rs.Value("ID_RIGA").Text() + "|" + rs.Value("ID_PADRE").Text() + "|" +
                           rs.Value("LIVELLO").Text() + "|" + rs.Value("TMP_IMG_SEL").Text() + "|" +
                           rs.Value("IE91_ID").Text() + "|" +
                           rs.Value("TMP_IMG_GESTIONEDOC").Text());
        }
        return rows;
    };
    for (const auto kind : {kaOrdiniTutti, kaOrdiniDaProcessare, kaOrdiniProcessati}) {
        Read(kind);
        auto working = env.S().RstOrdini;
        const std::vector<std::string> expected = rowsOf(*working);
        auto listed = ListChains(env.S(), kind);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        ASSERT_NE(listed, nullptr);
        EXPECT_EQ(rowsOf(*listed), expected) << "kind " << kind;
        EXPECT_FALSE(expected.empty() && kind != kaOrdiniProcessati) << "kind " << kind;
        EXPECT_FALSE(listed->HasField("IE91_XML"));
        EXPECT_TRUE(listed->HasField("IE91_HUBID"));
        EXPECT_EQ(env.S().RstOrdini, working) << "the working table's recordset stays";
        auto keys = ListChains(env.S(), kind, true);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        EXPECT_EQ(rowsOf(*keys), expected) << "kind " << kind;
        EXPECT_FALSE(keys->HasField("IE91_HUBID"));
        EXPECT_FALSE(keys->HasField("IE92_BuyerCustomerParty_Party_PartyName_Name"));
    }
    Read(kaOrdiniTutti);
    EXPECT_EQ(At(Rows(), "102#2024-03-10#UFABCD").selection, 2) << "the blocked mark is in both";

    const std::string projected = ChainStatement("1", "#T", "", {"IE91_ID", "IE91_IDORD"});
    EXPECT_NE(projected.find("SELECT IE91_NSOFILES.IE91_ID, IE91_NSOFILES.IE91_IDORD \r\n"),
              std::string::npos);
    EXPECT_EQ(projected.find("FIGLIO.*"), std::string::npos);
}

TEST_F(LeggiOrdiniTest, InvertingTwiceRestoresTheSelectionAndBadValuesFail) {
    Add({"100", "2024-01-10", "", 0});
    Add({"200", "2024-01-11", "", 0});
    Read();
    (void)env.Db().Execute("UPDATE #TEMP_ORD SET TMP_IMG_SEL = " +
                           std::to_string(selection::kSelected) + " WHERE IE91_IDORD = '100'");
    SetSelezione(env.S(), kaInverti);
    auto once = Rows();
    EXPECT_EQ(At(once, "100#2024-01-10#UFABCD").selection, 0);
    EXPECT_EQ(At(once, "200#2024-01-11#UFABCD").selection, 1);
    SetSelezione(env.S(), kaInverti);
    auto twice = Rows();
    EXPECT_EQ(At(twice, "100#2024-01-10#UFABCD").selection, 1);
    EXPECT_EQ(At(twice, "200#2024-01-11#UFABCD").selection, 0);

    SetSelezione(env.S(), static_cast<kaEnumNSOSelez>(7));
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: SetSelezione", 0), 0U);
}

TEST_F(LeggiOrdiniTest, QuoteInOrderNumberAndAnotherTableName) {
    Add({"O'1", "2024-01-10", "", 0});
    Add({"O'2", "2024-02-10", "O'1|2024-01-10", 1});
    env.S().NomeTempOrdini = "#CATENE";
    Read();
    auto rs = env.S().RstOrdini;
    auto older = rs->Clone();
    older->SetFilter("ID_PADRE = " + FilterLiteral("O'2#2024-02-10#UFABCD"));
    ASSERT_EQ(older->RecordCount(), 1);
    EXPECT_EQ(older->Value("IE91_IDORD").Text(), "O'1");
    EXPECT_EQ(env.Count("SELECT * FROM #CATENE"), 2);
}

} // namespace
} // namespace kvad::nso
