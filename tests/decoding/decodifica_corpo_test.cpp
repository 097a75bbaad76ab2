#include "decoding/decodifica_corpo.h"

#include <gtest/gtest.h>

#include "decoding/decodifica_testata.h"
#include "decoding_test_env.h"

namespace kvad::nso {
namespace {

Decimal D(const char* text) {
    return *Decimal::Parse(text);
}

class LinesTest : public test::DecodingTest {
  protected:
    void Decode(std::int32_t order) {
        DecodificaTestata(env.S(), order);
        DecodificaCorpo(env.S(), order);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    }
    // "allowance/charge" per unit of a decoded line.
    std::string PerUnit(std::int32_t order, std::int32_t line) {
        return Decoded(order, line, "IE95_DO30_SCIMP").ToDecimal().ToString() + "/" +
               Decoded(order, line, "IE95_DO30_MAGIMP").ToDecimal().ToString();
    }
};

TEST(UnitAmount, RoundedHalfEvenToThreePlaces) {
    EXPECT_EQ(AmountPerUnit(D("0.0025"), D("1")), D("0.002"));
    EXPECT_EQ(AmountPerUnit(D("0.0035"), D("1")), D("0.004"));
    EXPECT_EQ(AmountPerUnit(D("10"), D("3")), D("3.333"));
    EXPECT_EQ(AmountPerUnit(D("7"), D("0")), D("0"));
}

TEST_F(LinesTest, LineAllowancesAndChargesPerUnit) {
    const std::int32_t order = Order("");
    const std::int32_t a = Line(order, {{"IE94_LineItem_Quantity", "3"}});
    LineAllowance(order, a, "false", "10");
    LineAllowance(order, a, "FALSE", "0.005");
    const std::int32_t b = Line(order, {{"IE94_LineItem_Quantity", "0"}});
    LineAllowance(order, b, "false", "5");
    LineAllowance(order, b, "true", "5");
    const std::int32_t c = Line(order, {{"IE94_LineItem_Quantity", "2"}});
    LineAllowance(order, c, "True", "3");
    LineAllowance(order, c, "maybe", "100");
    Decode(order);

    EXPECT_EQ(PerUnit(order, 1), "3.335/0") << "10.005 over 3, in exact decimals";
    EXPECT_EQ(PerUnit(order, 2), "0/0") << "quantity 0";
    EXPECT_EQ(PerUnit(order, 3), "0/1.5") << "charges only; an unknown indicator is ignored";
    EXPECT_EQ(Decoded(order, 3, "IE95_DO30_INDTIPORIGA").ToLong(), 1) << "no item found";
    EXPECT_EQ(Decoded(order, 2, "IE95_ID_IE94").ToLong(), b);
}

TEST_F(LinesTest, HeaderAllowancesNumberedAfterTheLastLine) {
    const std::int32_t order = Order("");
    for (int i = 1; i <= 5; ++i) {
        Line(order, {{"IE94_LineItem_Quantity", "1"},
                     {"IE94_LineItem_Delivery_RequestedDeliveryPeriod_StartDate",
                      "'2024-04-0" + std::to_string(i) + " 00:00:00'"}});
    }
    HeaderAllowance(order, "false", "5", "Abbuono");
    HeaderAllowance(order, "", "7", "Sconto cassa");
    HeaderAllowance(order, "false", "20", "Sconto convenzione", "S", "22");
    HeaderAllowance(order, "TRUE", "45", "Trasporto", "S", "10");
    HeaderAllowance(order, "true", "8", "Imballo");
    Decode(order);

    EXPECT_EQ(Header(order, "IE93_DO13_SCIMPCASSA").ToDecimal(), D("12"))
        << "only the allowances without a tax category";
    const auto line = [&](std::int32_t n) {
        EXPECT_EQ(Decoded(order, n, "IE95_DO31_DATACONS").ToDate(), (DateTime{2024, 4, 5}))
            << "the delivery date of the last order line, line " << n;
        return Decoded(order, n, "IE95_DO30_DESCART").Text() + " type " +
               Decoded(order, n, "IE95_DO30_INDTIPORIGA").Text() + " qty " +
               Decoded(order, n, "IE95_DO30_QTA1").ToDecimal().ToString() + " price " +
               Decoded(order, n, "IE95_DO30_PREZZO1").ToDecimal().ToString() + " vat " +
               Decoded(order, n, "IE95_DO30_ALIVA_CG28").Text() + " " +
               Decoded(order, n, "IE95_ALIVA_XML").ToDecimal().ToString();
    };
    EXPECT_EQ(line(6), "Abbuono type 2 qty 0 price -5 vat  0");
    EXPECT_EQ(line(7), "Sconto cassa type 2 qty 0 price -7 vat  0")
        << "an empty indicator counts as an allowance";
    EXPECT_EQ(line(8), "Sconto convenzione type 1 qty 1 price -20 vat S 22");
    EXPECT_EQ(line(9), "Trasporto type 1 qty 1 price 45 vat S 10");
    EXPECT_EQ(line(10), "Imballo type 2 qty 0 price 8 vat  0");
    EXPECT_TRUE(Decoded(order, 11, "IE95_ID").IsNull());
    // Each points to an empty staged line added for it.
    EXPECT_EQ(env.Count("SELECT 1 FROM IE94_NSOCORPOXML WHERE IE94_LineItem_Quantity IS NULL"), 5);

    // No lines: the order's charge is line 1.
    const std::int32_t alone = Order("");
    HeaderAllowance(alone, "true", "12.5", "Trasporto");
    Decode(alone);
    EXPECT_EQ(Decoded(alone, 1, "IE95_DO30_DESCART").Text(), "Trasporto");
    EXPECT_TRUE(Decoded(alone, 1, "IE95_DO31_DATACONS").IsNull());
}

} // namespace
} // namespace kvad::nso
