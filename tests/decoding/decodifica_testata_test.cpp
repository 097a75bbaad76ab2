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
                                CodiceFiscaleAcquirente(companyId), office);
    }
};

TEST_F(HeaderTest, FiscalIdentifierFormsOfTheBuyer) {
    EXPECT_EQ(CodiceFiscaleAcquirente("IT03456780547"), "03456780547");
    EXPECT_EQ(CodiceFiscaleAcquirente("IT03456780547   "), "03456780547")
        << "trailing blanks do not count in the length";
    EXPECT_EQ(CodiceFiscaleAcquirente("RSSMRA80A01H501U"), "RSSMRA80A01H501U");
    EXPECT_EQ(CodiceFiscaleAcquirente("03456780547"), "") << "11 digits without a prefix";
    EXPECT_EQ(CodiceFiscaleAcquirente(Variant::Null()), "");

    Customer(10, "03456780547", "03456780547");
    Customer(11, "NULL", "RSSMRA80A01H501U");
    Customer(12, "", "80012345678"); // a body without a VAT number
    EXPECT_EQ(FindCustomer("IT03456780547"), 10);
    EXPECT_EQ(FindCustomer("RSSMRA80A01H501U"), 11);
    // Any other length searches the empty text: only a stored empty VAT number or fiscal code
    // matches it, never a missing one.
    EXPECT_EQ(FindCustomer("03456780547"), 12);
    EXPECT_EQ(FindCustomer("XX123"), 12);
    env.Native("UPDATE CG16_ANAGRAFICA SET CG16_PARTIVA = NULL WHERE CG16_CODICE = 1012");
    EXPECT_EQ(FindCustomer("03456780547"), 0);
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
}

TEST_F(HeaderTest, OnlyCustomersValidTodayAreChosen) {
    Customer(20, "03456780547", "NULL", {}, Day(0));                 // dismissed today
    Customer(21, "03456780547", "NULL", {}, Day(-30));               // dismissed before
    Customer(22, "03456780547", "NULL", {{"CG16_FLGANAGVAL", "0"}}); // not a valid record
    Customer(23, "03456780547", "NULL", {{"CG16_DATAINIZIOVAL", Day(1)}});
    Customer(24, "03456780547", "NULL", {{"CG16_DATAFINEVAL", Day(-1)}});
    for (std::int32_t code = 20; code <= 24; ++code) {
        Office("UFOLD1", code);
    }
    EXPECT_EQ(FindCustomer("IT03456780547", "UFOLD1"), 0);
    EXPECT_TRUE(Messages(1).empty());

    // Dismissal in the future and an open-ended validity that began in the past are fine.
    Customer(25, "03456780547", "NULL",
             {{"CG16_DATAINIZIOVAL", Day(-10)}, {"CG16_DATAFINEVAL", Day(10)}}, Day(1));
    EXPECT_EQ(FindCustomer("IT03456780547"), 25);
    Office("UFOLD1", 25);
    EXPECT_EQ(FindCustomer("", "UFOLD1"), 25);
    EXPECT_TRUE(Messages(1).empty()) << "one valid customer for the office";
}

TEST_F(HeaderTest, OfficeWithTwoCustomersWarnsOnTheHeader) {
    Customer(30, "01111111115", "NULL");
    Customer(31, "02222222224", "NULL");
    Office("UFTWO1", 30);
    Office("UFTWO1", 31);
    EXPECT_EQ(FindCustomer("", "UFTWO1", 7), 30) << "the first customer returned";
    EXPECT_EQ(Messages(7),
              std::vector<std::string>{"106 IE93_DO11_CLIFOR_CG44 type 2 context 3 line 0"});

    // A customer found by its VAT number never reaches the office search.
    EXPECT_EQ(FindCustomer("IT02222222224", "UFTWO1", 8), 31);
    EXPECT_TRUE(Messages(8).empty());
    // No office code: no office search, customer 0.
    EXPECT_EQ(FindCustomer("IT09999999999", "", 9), 0);
    EXPECT_TRUE(Messages(9).empty());
}

TEST_F(HeaderTest, DestinationByDeliveryLocationFirstThenByName) {
    const auto destination = [&](const std::string& code, const std::string& name,
                                 const std::string& location, std::int32_t customer = 40) {
        Insert("MG22_CLIFORDEST",
               {{"MG22_DITTA_CG18", "1"},
                {"MG22_TIPOCF_CG44", "0"},
                {"MG22_CLIFOR_CG44", std::to_string(customer)},
                {"MG22_CODDESTIN", Q(code)},
                {"MG22_DESTRAGSOC", Q(name)},
                {"MG22_IDDELIVERYLOCATIONNSO", location == "NULL" ? location : Q(location)}});
    };
    destination("D1", "Magazzino centrale", "LOC-A");
    destination("D2", "Farmacia", "LOC-B");
    destination("D3", "Farmacia", "LOC-C", 41);
    destination("D4", "Reparto", "");

    EXPECT_EQ(DecodificaDestinazione(env.S(), 0, 40, "LOC-B", "Magazzino centrale"), "D2")
        << "the location wins over the name";
    EXPECT_EQ(DecodificaDestinazione(env.S(), 0, 40, "LOC-X", "Magazzino centrale"), "D1");
    EXPECT_EQ(DecodificaDestinazione(env.S(), 0, 40, "LOC-C", "Nessuno"), "")
        << "another customer's location";
    EXPECT_EQ(DecodificaDestinazione(env.S(), 0, 40, "", "Magazzino centrale"), "D4")
        << "an empty location matches a destination with an empty location first";
    EXPECT_EQ(DecodificaDestinazione(env.S(), 0, 0, "LOC-A", "Magazzino centrale"), "");
    EXPECT_EQ(DecodificaValuta(env.S(), "EUR"), "001");
    EXPECT_EQ(DecodificaValuta(env.S(), "USD"), "");
    EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
}

TEST_F(HeaderTest, HeaderRowFromRegisterAndStagedHeader) {
    Customer(50, "03456780547", "NULL");
    Insert("MG22_CLIFORDEST", {{"MG22_DITTA_CG18", "1"},
                               {"MG22_TIPOCF_CG44", "0"},
                               {"MG22_CLIFOR_CG44", "50"},
                               {"MG22_CODDESTIN", "'FARM'"},
                               {"MG22_IDDELIVERYLOCATIONNSO", "'LOC-1'"}});
    const std::int32_t id = Order("IT03456780547", "UFBUY1",
                                  {{"IE92_AccountingCustomerParty_Party_EndpointID", "'UFACC1'"},
                                   {"IE92_Delivery_DeliveryLocation_ID", "'LOC-1'"},
                                   {"IE92_Note", Q("consegna all'ingresso B")}});
    DecodificaTestata(env.S(), id);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(Header(id, "IE93_DO12_FEIDSOGGETTO").Text(), "UFBUY1");
    EXPECT_EQ(Header(id, "IE93_DO11_UFFICIOPA_CG1M").Text(), "UFACC1");
    EXPECT_EQ(Header(id, "IE93_DO11_CLIFOR_CG44").ToLong(), 50);
    EXPECT_EQ(Header(id, "IE93_DO11_CLIFORDEST").Text(), "FARM");
    EXPECT_EQ(Header(id, "IE93_DO11_VALUTA_CG08").Text(), "001");
    EXPECT_EQ(Header(id, "IE93_DO11_SEZDOC").Text() + Header(id, "IE93_DO11_CODDEP").Text(), "A01");
    EXPECT_EQ(Header(id, "IE93_DO11_DATADOC").ToDate(), (DateTime{2024, 3, 5}));
    EXPECT_EQ(Header(id, "IE93_DO12_NOTEVSDOC").Text(), "N'consegna all''ingresso B'");

    // No note stores the word null; a long note keeps 240 characters of its literal.
    const std::int32_t empty = Order("", "", {{"IE92_Note", "'   '"}});
    const std::int32_t longNote = Order("", "", {{"IE92_Note", Q(std::string(300, 'x'))}});
    DecodificaTestata(env.S(), empty);
    DecodificaTestata(env.S(), longNote);
    EXPECT_EQ(Header(empty, "IE93_DO12_NOTEVSDOC").Text(), "null");
    EXPECT_EQ(Header(empty, "IE93_DO12_FEIDSOGGETTO").Text(), "");
    EXPECT_EQ(Header(empty, "IE93_DO11_CLIFOR_CG44").ToLong(), 0);
    EXPECT_EQ(Header(longNote, "IE93_DO12_NOTEVSDOC").Text(), "N'" + std::string(238, 'x'));
}

TEST_F(HeaderTest, NoStagedHeaderOrNoIssueDateWritesNoRow) {
    const std::int32_t unstaged =
        Insert("IE91_NSOFILES", {{"IE91_DITTA_CG18", "1"},
                                 {"IE91_IDORD", "'X'"},
                                 {"IE91_ISSUEDATE", "'2024-03-05 00:00:00'"}});
    DecodificaTestata(env.S(), unstaged);
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: DecodificaTestata", 0), 0U)
        << env.S().Errore.Text();
    EXPECT_TRUE(Header(unstaged, "IE93_ID").IsNull());

    const std::int32_t undated = Order("IT03456780547");
    env.Native("UPDATE IE91_NSOFILES SET IE91_ISSUEDATE = NULL WHERE IE91_ID = " +
               std::to_string(undated));
    env.S().Stato = kaOK;
    DecodificaTestata(env.S(), undated);
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_TRUE(Header(undated, "IE93_ID").IsNull());
}

} // namespace
} // namespace kvad::nso
