#include "host/stand_ins.h"

#include "host_test_util.h"

namespace {

using kvad::Variant;

TEST(StandInHost, ItalianTextsOfTheFormattingMessagesAndNoOtherNumber) {
    auto host = kvad::host::RegisterStandIns({});
    EXPECT_NE(host->MessageText(25382, {}).find("data"), std::string::npos);
    EXPECT_NE(host->MessageText(52517, {}).find("(data) null"), std::string::npos);
    EXPECT_NE(host->MessageText(52518, {}).find("(numerico) null"), std::string::npos);
    hosttest::ExpectVbError(kvad::vberr::kInvalidArgument, [&] { (void)host->MessageText(1, {}); });
}

TEST(StandInHost, ParametersFillTheirPlaceholders) {
    kvad::host::HostConfig config;
    config.messages = {{900, "Ordine %1 del %2 (%1): %3 resta, 100%"}, {901, "%12 e %1"}};
    auto host = kvad::host::RegisterStandIns(config);
    EXPECT_EQ(host->MessageText(900, {Variant("A-7"), Variant(kvad::DateTime{2024, 5, 6})}),
              "Ordine A-7 del 06/05/2024 (A-7): %3 resta, 100%");
    EXPECT_EQ(host->MessageText(901, {Variant(static_cast<std::int32_t>(5))}), "%12 e 5");
    EXPECT_EQ(host->MessageText(900, {}), "Ordine %1 del %2 (%1): %3 resta, 100%");
}

} // namespace
