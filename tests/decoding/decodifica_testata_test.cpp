#include "decoding/decodifica_testata.h"

#include <gtest/gtest.h>

#include "decoding_test_env.h"

namespace kvad::nso {
namespace {

using test::Day;
using test::Q;

class HeaderTest : public test::DecodingTest {
  protected:
    std::int32_t FindCustomer(const std::string& companyId, const std::string& office = "",
                              std::int32_t order = 1) {
        return DecodificaClifor(env.S(), order, "IE93_DO11_CLIFOR_CG44", 0,
                                BuyerFiscalId(companyId), office);
    }
};

TEST_F(HeaderTest, FiscalIdentifierFormsOfTheBuyer) {
    EXPECT_EQ(BuyerFiscalId("IT03456780547   "), "03456780547")
        << "trailing blanks do not count in the length";
    EXPECT_EQ(BuyerFiscalId(Variant::Null()), "");

    Customer(10, "03456780547", "03456780547");
    Customer(11, "NULL", "RSSMRA80A01H501U");
    Customer(12, "", "80012345678"); // a stored empty VAT number
    EXPECT_EQ(FindCustomer("IT03456780547"), 10);
    EXPECT_EQ(FindCustomer("RSSMRA80A01H501U"), 11);
    // Any other length, 11 digits without a prefix too, searches the empty text: a stored empty
    // VAT number or fiscal code matches it, a missing one never does.
    EXPECT_EQ(FindCustomer("03456780547"), 12);
    env.Native("UPDATE CG16_ANAGRAFICA SET CG16_PARTIVA = NULL WHERE CG16_CODICE = 1012");
    EXPECT_EQ(FindCustomer("03456780547"), 0);
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
}

TEST_F(HeaderTest, OnlyCustomersValidTodayAreChosen) {
    Customer(20, "03456780547", "NULL", "", Day(0)); // dismissed today
    Customer(21, "03456780547", "NULL", "", Day(-30));
    Customer(22, "03456780547", "NULL", "CG16_FLGANAGVAL = 0");
    Customer(23, "03456780547", "NULL", "CG16_DATAINIZIOVAL = " + Day(1));
    Customer(24, "03456780547", "NULL", "CG16_DATAFINEVAL = " + Day(-1));
    for (std::int32_t code = 20; code <= 24; ++code) {
        Office("UFOLD1", code);
    }
    EXPECT_EQ(FindCustomer("IT03456780547", "UFOLD1"), 0);

    // A dismissal still to come and a validity period around today are fine.
    Customer(25, "03456780547", "NULL",
             "CG16_DATAINIZIOVAL = " + Day(-10) + ", CG16_DATAFINEVAL = " + Day(10), Day(1));
    Office("UFOLD1", 25);
    EXPECT_EQ(FindCustomer("IT03456780547"), 25);
    EXPECT_EQ(FindCustomer("", "UFOLD1"), 25);
    EXPECT_TRUE(Messages(1).empty()) << "one valid customer for the office";
}

TEST_F(HeaderTest, OfficeWithTwoCustomersWarnsOnTheHeader) {
    Customer(30, "01111111115", "NULL");
    Customer(31, "02222222224", "NULL");
    Office("UFTWO1", 30);
    Office("UFTWO1", 31);
    const std::int32_t first = FindCustomer("", "UFTWO1", 7);
    EXPECT_TRUE(first == 30 || first == 31) << first;
    EXPECT_EQ(Messages(7),
              std::vector<std::string>{"106 IE93_DO11_CLIFOR_CG44 type 2 context 3 line 0"});

    // A customer found by its VAT number never reaches the office search.
    EXPECT_EQ(FindCustomer("IT02222222224", "UFTWO1", 8), 31);
    EXPECT_EQ(FindCustomer("IT09999999999", "", 9), 0) << "no office code";
    EXPECT_TRUE(Messages(8).empty() && Messages(9).empty());
}

TEST_F(HeaderTest, DestinationByDeliveryLocationFirstThenByName) {
    env.Native("INSERT INTO MG22_CLIFORDEST (MG22_DITTA_CG18, MG22_TIPOCF_CG44, "
               "MG22_CLIFOR_CG44, MG22_CODDESTIN, MG22_DESTRAGSOC, MG22_IDDELIVERYLOCATIONNSO) "
               "VALUES (1, 0, 40, 'D1', 'Magazzino centrale', 'LOC-A'), "
               "(1, 0, 40, 'D2', 'Farmacia', 'LOC-B'), (1, 0, 41, 'D3', 'Farmacia', 'LOC-C'), "
               "(1, 0, 40, 'D4', 'Reparto', '')");
    EXPECT_EQ(DecodificaDestinazione(env.S(), 0, 40, "LOC-B", "Magazzino centrale"), "D2")
        << "the location wins over the name";
    EXPECT_EQ(DecodificaDestinazione(env.S(), 0, 40, "LOC-X", "Magazzino centrale"), "D1");
    EXPECT_EQ(DecodificaDestinazione(env.S(), 0, 40, "LOC-C", "Nessuno"), "")
        << "another customer's location";
    EXPECT_EQ(DecodificaDestinazione(env.S(), 0, 40, "", "Magazzino centrale"), "D4")
        << "an empty location matches an empty location before the name is tried";
    EXPECT_EQ(DecodificaDestinazione(env.S(), 0, 0, "LOC-A", "Magazzino centrale"), "");
    EXPECT_EQ(DecodificaValuta(env.S(), "USD"), "");
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
}

TEST_F(HeaderTest, NoteLiteralAndMissingSourceRow) {
    const std::int32_t empty = Order("", "", {{"IE92_Note", "'   '"}});
    const std::int32_t longNote = Order("", "", {{"IE92_Note", Q(std::string(300, 'x'))}});
    DecodificaTestata(env.S(), empty);
    DecodificaTestata(env.S(), longNote);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(Header(empty, "IE93_DO12_NOTEVSDOC").Text(), "null");
    EXPECT_EQ(Header(empty, "IE93_DO12_FEIDSOGGETTO").Text(), "");
    EXPECT_EQ(Header(longNote, "IE93_DO12_NOTEVSDOC").Text(), "N'" + std::string(238, 'x'))
        << "240 characters of the literal, without its closing quote";

    // No issue date: no row, and the failure is the header decoding's.
    env.Native("UPDATE IE91_NSOFILES SET IE91_ISSUEDATE = NULL WHERE IE91_ID = " +
               std::to_string(empty));
    env.Native("DELETE FROM IE93_NSOTESTATA");
    DecodificaTestata(env.S(), empty);
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: DecodificaTestata", 0), 0U);
    EXPECT_TRUE(Header(empty, "IE93_ID").IsNull());
}

} // namespace
} // namespace kvad::nso
