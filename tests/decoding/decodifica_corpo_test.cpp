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
    Decimal Amount(std::int32_t order, std::int32_t line, const std::string& column) {
        return Decoded(order, line, column).ToDecimal();
    }
    long Lines(std::int32_t order) {
        return env.Count("SELECT IE95_ID FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " +
                         std::to_string(order));
    }
};

TEST(UnitAmount, RoundedHalfEvenToThreePlaces) {
    EXPECT_EQ(ImportoUnitario(D("10.005"), D("3")), D("3.335"));
    EXPECT_EQ(ImportoUnitario(D("0.0025"), D("1")), D("0.002"));
    EXPECT_EQ(ImportoUnitario(D("0.0035"), D("1")), D("0.004"));
    EXPECT_EQ(ImportoUnitario(D("0.005"), D("2")), D("0.002"));
    EXPECT_EQ(ImportoUnitario(D("10"), D("3")), D("3.333"));
    EXPECT_EQ(ImportoUnitario(D("7"), D("0")), D("0"));
}

TEST_F(LinesTest, LineAllowancesAndChargesPerUnit) {
    const std::int32_t order = Order("");
    const std::int32_t a = Line(order, {{"IE94_LineItem_Quantity", "3"},
                                        {"IE94_LineItem_Price_PriceAmount", "4.5"},
                                        {"IE94_LineItem_Item_ClassifiedTaxCategory_ID", "'S'"},
                                        {"IE94_LineItem_Item_ClassifiedTaxCategory_Percent", "22"},
                                        {"IE94_LineItem_Item_Description", "'Garze'"}});
    LineAllowance(order, a, "false", "10");
    LineAllowance(order, a, "FALSE", "0.005");
    const std::int32_t b = Line(order, {{"IE94_LineItem_Quantity", "0"}});
    LineAllowance(order, b, "false", "5");
    LineAllowance(order, b, "true", "5");
    const std::int32_t c = Line(order, {{"IE94_LineItem_Quantity", "2"}});
    LineAllowance(order, c, "True", "3");
    LineAllowance(order, c, "maybe", "100");
    Decode(order);

    EXPECT_EQ(Amount(order, 1, "IE95_DO30_SCIMP"), D("3.335"));
    EXPECT_EQ(Amount(order, 1, "IE95_DO30_MAGIMP"), D("0"));
    EXPECT_EQ(Amount(order, 1, "IE95_DO30_PREZZO1"), D("4.5"));
    EXPECT_EQ(Amount(order, 1, "IE95_ALIVA_XML"), D("22"));
    EXPECT_EQ(Decoded(order, 1, "IE95_DO30_ALIVA_CG28").Text(), "S");
    EXPECT_EQ(Decoded(order, 1, "IE95_DO30_DESCART").Text(), "Garze");
    EXPECT_EQ(Amount(order, 2, "IE95_DO30_SCIMP"), D("0")) << "quantity 0";
    EXPECT_EQ(Amount(order, 2, "IE95_DO30_MAGIMP"), D("0"));
    EXPECT_EQ(Amount(order, 3, "IE95_DO30_SCIMP"), D("0")) << "an unknown indicator is ignored";
    EXPECT_EQ(Amount(order, 3, "IE95_DO30_MAGIMP"), D("1.5"));
    EXPECT_EQ(Decoded(order, 3, "IE95_DO30_ALIVA_CG28").Text(), "");
    EXPECT_EQ(Decoded(order, 3, "IE95_DO30_INDTIPORIGA").ToLong(), 1) << "no item found";
    EXPECT_EQ(Decoded(order, 2, "IE95_ID_IE94").ToLong(), b);
    EXPECT_EQ(Header(order, "IE93_DO13_SCIMPCASSA").ToDecimal(), D("0"));
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

    ASSERT_EQ(Lines(order), 10);
    EXPECT_EQ(Header(order, "IE93_DO13_SCIMPCASSA").ToDecimal(), D("12"))
        << "only the allowances without a tax category";
    const auto line = [&](std::int32_t n) {
        return Decoded(order, n, "IE95_DO30_DESCART").Text() + " type " +
               Decoded(order, n, "IE95_DO30_INDTIPORIGA").Text() + " qty " +
               Amount(order, n, "IE95_DO30_QTA1").ToString() + " price " +
               Amount(order, n, "IE95_DO30_PREZZO1").ToString() + " vat " +
               Decoded(order, n, "IE95_DO30_ALIVA_CG28").Text() + " " +
               Amount(order, n, "IE95_ALIVA_XML").ToString();
    };
    EXPECT_EQ(line(6), "Abbuono type 2 qty 0 price -5 vat  0");
    EXPECT_EQ(line(7), "Sconto cassa type 2 qty 0 price -7 vat  0")
        << "an empty indicator counts as an allowance";
    EXPECT_EQ(line(8), "Sconto convenzione type 1 qty 1 price -20 vat S 22");
    EXPECT_EQ(line(9), "Trasporto type 1 qty 1 price 45 vat S 10");
    EXPECT_EQ(line(10), "Imballo type 2 qty 0 price 8 vat  0");
    for (std::int32_t n = 6; n <= 10; ++n) {
        EXPECT_EQ(Decoded(order, n, "IE95_DO31_DATACONS").ToDate(), (DateTime{2024, 4, 5}))
            << "the delivery date of the last order line, line " << n;
        EXPECT_EQ(Decoded(order, n, "IE95_DO30_CODART_MG66").Text(), "");
    }
    // Each header line points to an empty staged line added for it.
    const std::int32_t staged = Decoded(order, 9, "IE95_ID_IE94").ToLong();
    EXPECT_EQ(env.Scalar("SELECT IE94_ID_IE91 FROM IE94_NSOCORPOXML WHERE IE94_ID = " +
                         std::to_string(staged))
                  .ToLong(),
              order);
    EXPECT_TRUE(env.Scalar("SELECT IE94_LineItem_Quantity FROM IE94_NSOCORPOXML WHERE "
                           "IE94_ID = " +
                           std::to_string(staged))
                    .IsNull());
}

TEST_F(LinesTest, TaxedAllowancesAndChargesLeaveTheCashDiscountAlone) {
    const std::int32_t charged = Order("");
    HeaderAllowance(charged, "true", "12.5", "Trasporto");
    HeaderAllowance(charged, "false", "3", "Sconto", "S", "22");
    Decode(charged);
    ASSERT_EQ(Lines(charged), 2);
    EXPECT_EQ(Decoded(charged, 1, "IE95_DO30_DESCART").Text(), "Trasporto")
        << "an order without lines numbers its header lines from 1";
    EXPECT_TRUE(Decoded(charged, 1, "IE95_DO31_DATACONS").IsNull());
    EXPECT_EQ(Header(charged, "IE93_DO13_SCIMPCASSA").ToDecimal(), D("0"));

    // No lines and no header allowances: nothing is written.
    const std::int32_t empty = Order("");
    Decode(empty);
    EXPECT_EQ(Lines(empty), 0);
}

} // namespace
} // namespace kvad::nso
