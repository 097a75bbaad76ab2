// The identifier checks on known good numbers and on each way one can be wrong.
#include "kvad_nso/identifiers.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>

namespace kvad::identifiers {
namespace {

/// Each text `check` takes, then each it refuses.
void ExpectChecks(bool (*check)(std::string_view), std::initializer_list<const char*> valid,
                  std::initializer_list<const char*> invalid) {
    for (const char* text : valid) {
        EXPECT_TRUE(check(text)) << text;
    }
    for (const char* text : invalid) {
        EXPECT_FALSE(check(text)) << text;
    }
}

TEST(Identifiers, VatNumbers) {
    // The country prefix is allowed; then a wrong check digit, two digits swapped, short, a
    // letter, a lower-case prefix, a prefix alone, nothing.
    ExpectChecks(
        IsVatNumber, {"03456780547", "IT03456780547"},
        {"03456780548", "03456780574", "0345678054", "0345678054A", "it03456780547", "IT", ""});
}

TEST(Identifiers, FiscalCodes) {
    // A person's, a homonym's (a digit replaced by its letter) and a body's code; then a wrong
    // check letter, a homonym's code with the old check letter, Z as a month, A replacing no
    // digit, lower case, a body's code with a wrong check digit, one character short.
    ExpectChecks(IsFiscalCode, {"RSSMRA80A01H501U", "RSSMRA80A01H50MM", "80012345676"},
                 {"RSSMRA80A01H501V", "RSSMRA80A01H50MU", "RSSMRA80Z01H501U", "RSSMRA80A01H5A1U",
                  "rssmra80a01h501u", "80012345677", "RSSMRA80A01H501"});
}

TEST(Identifiers, IpaCodes) {
    ExpectChecks(IsIpaCode, {"UF7HQ2", "ABCDEF"}, {"UF7HQ23", "UF7HQ", "UF7-Q2", "UF7 Q2"});
}

TEST(Identifiers, Gs1Numbers) {
    // GTIN-8, -12, -13 and -14; then a wrong check digit, a digit changed, 11 digits (no GTIN
    // length), a letter O, nothing. A GLN has 13 digits.
    ExpectChecks(IsGtin, {"96385074", "036000291452", "8012345000012", "10012345678902"},
                 {"8012345000013", "8012345000102", "80123450000", "8012345O00012", ""});
    ExpectChecks(IsGln, {"5412345000013"}, {"5412345000014", "96385074"});
}

} // namespace
} // namespace kvad::identifiers
