#include "decoding/decodifica_articolo.h"

#include <gtest/gtest.h>

#include "decoding_test_env.h"

namespace kvad::nso {
namespace {

class ItemTest : public test::DecodingTest {
  protected:
    ItemTest() {
        // AFP-300 and AFP-301 share a standard identifier; customer 60 has its own codes.
        env.Native("INSERT INTO MG66_ANAGRART (MG66_DITTA_CG18, MG66_CODART, MG66_AICMINSANNSO) "
                   "VALUES (1, 'AFP-100', '8000000000001'), (1, 'AFP-200', '8000000000002'), "
                   "(1, 'AFP-300', '8000000000003'), (1, 'AFP-301', '8000000000003');"
                   "INSERT INTO MG73_ARTCLIFOR VALUES (1, 0, 60, 'AFP-100', 'AFP-200', ''), "
                   "(1, 0, 60, 'ASL-7', 'AFP-200', 'BLU');"
                   "INSERT INTO MG87_ARTDESC (MG87_DITTA_CG18, MG87_CODART_MG66, "
                   "MG87_OPZIONE_MG5E, MG87_DESCART) VALUES "
                   "(1, 'AFP-300', 'L', 'Camice monouso taglia L'), (1, 'AFP-100', '', '')");
    }

    // "code/option/type" found for a line.
    std::string Find(const std::string& seller, const std::string& standard,
                     const std::string& description, std::int32_t customer = 60) {
        std::string code = "unset";
        std::string option = "unset";
        std::int16_t type = -1;
        DecodificaArticolo(env.S(), 9, 77, 3, "IE95_DO30_CODART_MG66", seller, standard,
                           description, 0, customer, code, option, type);
        EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        return code + "/" + option + "/" + std::to_string(type);
    }
};

TEST_F(ItemTest, SearchOrderSellerCodeCustomerCodeStandardDescription) {
    EXPECT_EQ(Find("AFP-100", "8000000000002", "Camice monouso taglia L"), "AFP-100//0")
        << "a seller's code that is an item code wins over the customer's mapping of it";
    EXPECT_EQ(Find("afp-100", "", ""), "afp-100//0") << "kept as received";
    EXPECT_EQ(Find("ASL-7", "8000000000001", ""), "AFP-200/BLU/0");
    EXPECT_EQ(Find("ASL-7", "8000000000001", "", 0), "AFP-100//0")
        << "without a customer the customer's codes are not searched";
    EXPECT_EQ(Find("UNKNOWN", "8000000000002", "Camice monouso taglia L"), "AFP-200//0");
    EXPECT_EQ(Find("UNKNOWN", "", "Camice monouso taglia L"), "AFP-300/L/0");
    EXPECT_EQ(Find("", "", ""), "AFP-100//0") << "an empty description finds an empty one";
    EXPECT_EQ(Find("UNKNOWN", "8000000000009", "Nessuna"), "//1");
    EXPECT_TRUE(Messages(9).empty());
}

TEST_F(ItemTest, StandardIdentifierOfSeveralItemsTakesTheFirstAndWarns) {
    const std::string found = Find("", "8000000000003", "");
    EXPECT_TRUE(found == "AFP-300//0" || found == "AFP-301//0") << found;
    EXPECT_EQ(Messages(9),
              std::vector<std::string>{"204 IE95_DO30_CODART_MG66 type 2 context 3 line 3"});
    EXPECT_EQ(kvad::test::ReadLog(env.Db()).at(0).stagedLine, 77);

    env.Native("DELETE FROM IE98_NSO_LOGERRORS");
    EXPECT_EQ(Find("AFP-301", "8000000000003", ""), "AFP-301//0")
        << "the standard identifier is not searched once an item is found";
    EXPECT_TRUE(Messages(9).empty());
}

} // namespace
} // namespace kvad::nso
