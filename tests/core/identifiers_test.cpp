// The identifier checks on known good numbers and on each way one can be wrong.
#include "kvad_nso/identifiers.h"

#include <gtest/gtest.h>

namespace kvad::identifiers {
namespace {

TEST(Identifiers, VatNumbers) {
    EXPECT_TRUE(IsVatNumber("03456780547"));
    EXPECT_TRUE(IsVatNumber("IT03456780547")) << "the country prefix is allowed";
    EXPECT_FALSE(IsVatNumber("03456780548")) << "wrong check digit";
    EXPECT_FALSE(IsVatNumber("03456780574")) << "two digits swapped";
    EXPECT_FALSE(IsVatNumber("0345678054"));
    EXPECT_FALSE(IsVatNumber("0345678054A"));
    EXPECT_FALSE(IsVatNumber("it03456780547"));
    EXPECT_FALSE(IsVatNumber("IT"));
    EXPECT_FALSE(IsVatNumber(""));
}

TEST(Identifiers, FiscalCodes) {
    EXPECT_TRUE(IsFiscalCode("RSSMRA80A01H501U"));
    EXPECT_TRUE(IsFiscalCode("RSSMRA80A01H50MM")) << "a homonym's code: a digit replaced";
    EXPECT_TRUE(IsFiscalCode("80012345676")) << "a body's fiscal code";
    EXPECT_FALSE(IsFiscalCode("RSSMRA80A01H501V")) << "wrong check letter";
    EXPECT_FALSE(IsFiscalCode("RSSMRA80A01H50MU")) << "a homonym's code with the old letter";
    EXPECT_FALSE(IsFiscalCode("RSSMRA80Z01H501U")) << "Z is not a month";
    EXPECT_FALSE(IsFiscalCode("RSSMRA80A01H5A1U")) << "A replaces no digit";
    EXPECT_FALSE(IsFiscalCode("rssmra80a01h501u"));
    EXPECT_FALSE(IsFiscalCode("80012345677"));
    EXPECT_FALSE(IsFiscalCode("RSSMRA80A01H501"));
}

TEST(Identifiers, IpaCodes) {
    EXPECT_TRUE(IsIpaCode("UF7HQ2"));
    EXPECT_TRUE(IsIpaCode("ABCDEF"));
    EXPECT_FALSE(IsIpaCode("UF7HQ23"));
    EXPECT_FALSE(IsIpaCode("UF7HQ"));
    EXPECT_FALSE(IsIpaCode("UF7-Q2"));
    EXPECT_FALSE(IsIpaCode("UF7 Q2"));
}

TEST(Identifiers, Gs1Numbers) {
    EXPECT_TRUE(IsGtin("96385074"));
    EXPECT_TRUE(IsGtin("036000291452"));
    EXPECT_TRUE(IsGtin("8012345000012"));
    EXPECT_TRUE(IsGtin("10012345678902"));
    EXPECT_FALSE(IsGtin("8012345000013")) << "wrong check digit";
    EXPECT_FALSE(IsGtin("8012345000102")) << "a digit changed";
    EXPECT_FALSE(IsGtin("80123450000")) << "11 digits is no GTIN length";
    EXPECT_FALSE(IsGtin("8012345O00012"));
    EXPECT_FALSE(IsGtin(""));
    EXPECT_TRUE(IsGln("5412345000013"));
    EXPECT_FALSE(IsGln("5412345000014"));
    EXPECT_FALSE(IsGln("96385074")) << "a GLN has 13 digits";
}

} // namespace
} // namespace kvad::identifiers
