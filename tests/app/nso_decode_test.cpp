// nso init --demo, fetch, decode and master as a new user runs them, on the example orders.

#include <gtest/gtest.h>

#include <fstream>

#include "nso_folder.h"

namespace {

class NsoDecodeTest : public kvad::test::NsoFolderTest {
  protected:
    void SetUp() override { MakeFolder("nso-decode"); }
};

TEST_F(NsoDecodeTest, ExampleOrdersDecodeWithTheDemoSet) {
    EXPECT_EQ(Occurrences(Ok("init --demo"), "configured company 1: document code OCL"), 1U);
    EXPECT_EQ(Occurrences(Ok("fetch"), "listed 6, new 6"), 1U);
    const std::string decoded = Ok("decode 1 2 3 4 5");
    EXPECT_EQ(Occurrences(decoded, "messages: none"), 5U) << decoded;
    EXPECT_EQ(Occurrences(decoded, "(not found"), 0U) << decoded;
    EXPECT_EQ(Occurrences(decoded, "customer       1001 Azienda Ospedaliera"), 2U) << decoded;
    EXPECT_EQ(Occurrences(decoded, "cash discount  20"), 1U) << "the untaxed allowance of 87/2024";

    const std::string again = Ok("decode 2");
    EXPECT_EQ(Occurrences(again, "already decoded"), 1U) << again;
    EXPECT_EQ(Occurrences(again, "cash discount  20"), 1U) << again;
}

TEST_F(NsoDecodeTest, WarningExamplesAndRefusals) {
    Ok("init --demo");
    EXPECT_EQ(Occurrences(Ok("fetch", "warnings"), "listed 3, new 3"), 1U);
    const std::string decoded = Ok("decode 1 2 3");
    EXPECT_EQ(Occurrences(decoded,
                          "warning 106 (decoding, header, IE93_DO11_CLIFOR_CG44): Il codice "
                          "ufficio della pubblica amministrazione corrisponde a più clienti"),
              1U)
        << decoded;
    EXPECT_EQ(Occurrences(decoded, "warning 204 (decoding, line 2, IE95_DO30_CODART_MG66)"), 1U);
    EXPECT_EQ(Occurrences(decoded, "[searched: AFP-DM-99999]"), 1U) << "the unknown item";
    EXPECT_EQ(
        Occurrences(decoded, "destination    (not found: delivery location '00412345670-INF2'"),
        1U);

    const std::string missing = Nso("decode 3 99");
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(Occurrences(missing, "99: no document of company 1 has register id or order number"),
              1U)
        << missing;
    EXPECT_EQ(Occurrences(Ok("decode 102/2024"), "Order 102/2024 of 18/03/2024 (register id 3)"),
              1U)
        << "by order number";

    std::ofstream(dir / "customers.csv") << "customer;name;vat_number\n"
                                            "7;Ospedale;IT03456780547\n"
                                            "8;Clinica;IT03456780548\n";
    const std::string bad = Nso("master load customers customers.csv");
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(Occurrences(bad,
                          "customers.csv, line 3, column vat_number: 'IT03456780548' is not a VAT "
                          "number"),
              1U)
        << bad;
    EXPECT_EQ(Occurrences(Ok("master list customers --search ospedal"), "2 row(s) of customers"),
              1U)
        << "the two demo customers: nothing was loaded";
}

} // namespace
