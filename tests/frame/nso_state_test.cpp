#include "frame/nso_state.h"

#include <gtest/gtest.h>

#include <regex>
#include <type_traits>

#include "frame/trace.h"

namespace kvad::nso {
namespace {

TEST(NsoState, OnProgressReachesEveryListenerUntilRemoved) {
    NsoState state;
    std::vector<std::string> seen;
    const int first = AddProgressListener(state, [&](kaenumTipoOperazione& op, std::int32_t& cur,
                                                     std::int32_t& max, std::string& msg) {
        seen.push_back("1:" + std::to_string(op) + ":" + std::to_string(cur) + "/" +
                       std::to_string(max) + ":" + msg);
    });
    AddProgressListener(state, [&](auto&, std::int32_t& cur, auto&, auto&) {
        seen.push_back("2:" + std::to_string(cur));
    });
    RaiseOnProgress(state, kaRecuperoOrdiniDaNuvolix, 1, 3, "Id : 7");
    RemoveProgressListener(state, first);
    RaiseOnProgress(state, kaOperazioneImport, 2, 3, "");
    EXPECT_EQ(seen, (std::vector<std::string>{"1:2:1/3:Id : 7", "2:1", "2:2"}));
}

// A subsystem's members as a subsystem declares them: its Writer completed where it writes.
struct CounterPart {
    struct Writer {};
    int count = 0;
};

TEST(NsoState, APartIsWrittenByItsOwnerAndReadOnlyByAnyoneElse) {
    NsoState state;
    NsoState other;
    // Without the owner's Writer, even a state that may be changed gives the part read-only.
    static_assert(std::is_same_v<decltype(state.Part<CounterPart>()), const CounterPart&>);
    EXPECT_EQ(state.Part<CounterPart>().count, 0);
    state.Part<CounterPart>(CounterPart::Writer{}).count = 3;
    const NsoState& reader = state;
    EXPECT_EQ(reader.Part<CounterPart>().count, 3);
    EXPECT_EQ(other.Part<CounterPart>().count, 0) << "each instance has its own";
}

TEST(Trace, NuovoGuidIs32UpperCaseHexDigits) {
    const std::regex format("^[0-9A-F]{32}$");
    const std::string a = NuovoGuid();
    const std::string b = NuovoGuid();
    EXPECT_TRUE(std::regex_match(a, format)) << a;
    EXPECT_NE(a, b);
}

} // namespace
} // namespace kvad::nso
