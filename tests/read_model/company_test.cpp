// A company's set-up as a host writes and reads it, and an order as decoding left it.
#include "kvad_nso/read_model/company.h"

#include "kvad_nso/read_model/decoded_order.h"
#include "kvad_nso/read_model/values.h"
#include "read_model_test_env.h"

namespace kvad::read_model::test {
namespace {

TEST_F(ReadModelTest, ACompanyIsRegisteredOnceAndConfiguredWholeOrNotAtAll) {
    EXPECT_FALSE(CompanyRegistered(env.Db(), 9));
    EXPECT_TRUE(RegisterCompany(env.Db(), 9, "01234567897"));
    EXPECT_FALSE(RegisterCompany(env.Db(), 9, "01234567897")) << "already registered";
    EXPECT_TRUE(CompanyRegistered(env.Db(), 9));

    const auto changes = [](std::optional<std::string> document,
                            std::optional<std::string> section) {
        ConfigurationChanges made;
        made.document = std::move(document);
        made.section = std::move(section);
        return made;
    };
    // A section without a document code, a blank document code, a section too long.
    for (const ConfigurationChanges& refused :
         {changes(std::nullopt, "B"), changes("  ", std::nullopt), changes("OCL", "ABCDEFGHIJK")}) {
        EXPECT_THROW(WriteConfiguration(env.Db(), 9, refused), Refusal);
    }
    EXPECT_FALSE(HasConfiguration(env.Db(), 9)) << "nothing was written";

    CLSIE_NSO other;
    other.SetConnessione(env.SharedDb());
    other.SetCodiceDitta(std::int32_t{9});
    EXPECT_FALSE(ReadConfiguration(other).exists);
    WriteConfiguration(env.Db(), 9, changes("OCL", "B"));
    const Configuration incomplete = ReadConfiguration(other);
    EXPECT_TRUE(incomplete.exists);
    EXPECT_TRUE(incomplete.hasDefaults);
    EXPECT_EQ(incomplete.section, "B");
    EXPECT_TRUE(incomplete.layout.empty());
    EXPECT_FALSE(incomplete.problem.empty()) << "the layout is missing";
    EXPECT_EQ(incomplete.lastRetrieval, LastRetrieval::None);

    ConfigurationChanges layout;
    layout.layout = "NSO";
    WriteConfiguration(env.Db(), 9, layout);
    const Configuration whole = ReadConfiguration(other);
    EXPECT_EQ(whole.document, "OCL");
    EXPECT_TRUE(whole.problem.empty()) << whole.problem;
    EXPECT_EQ(ReadConfiguration(nso).lastRetrieval, LastRetrieval::NewDocuments);
}

TEST_F(ReadModelTest, TheDecodedViewNamesWhatDecodingFound) {
    nso.DecodeOrder(5);
    const DecodedOrder decoded = ReadDecodedOrder(nso, 5);
    ASSERT_TRUE(decoded.header.has_value());
    EXPECT_EQ(decoded.header->customer, 1003);
    EXPECT_FALSE(decoded.header->customerName.empty());
    EXPECT_EQ(decoded.header->destination, "MAG3");
    EXPECT_EQ(decoded.header->currencyIso, "EUR");
    ASSERT_EQ(decoded.lines.size(), 2U);
    EXPECT_EQ(decoded.lines[0].kind, DecodedLineKind::OrderLine);
    EXPECT_EQ(decoded.lines[0].item, "AFP-DM-55120");
    EXPECT_TRUE(decoded.messages.empty());

    EXPECT_FALSE(ReadDecodedOrder(nso, 6).header.has_value()) << "not decoded yet";
}

} // namespace
} // namespace kvad::read_model::test
