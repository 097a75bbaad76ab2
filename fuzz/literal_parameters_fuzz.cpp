// Fuzzes the scan that takes the values out of a statement (so that statements differing only in
// them share one translation). Whatever the text, the scan does not fault; what it takes out are
// whole literals of the text, in order and apart; putting the written literals back into the key
// gives the text again, as ReplaceLiterals does; and a translation written with the sentinels is
// turned into one with parameters without fault. The memory of shapes finds what the scan finds,
// for the text and for the text with other values in place of its literals.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "literal_parameters.h"

namespace {

[[noreturn]] void Fail() {
    std::abort();
}

bool Same(const std::optional<kvad::db::LiteralParameters>& a,
          const std::optional<kvad::db::LiteralParameters>& b) {
    if (!a || !b) {
        return !a && !b;
    }
    // A hash the memory hands on with its key is the key's.
    for (const auto* found : {&*a, &*b}) {
        if (found->keyHash != 0 && found->keyHash != std::hash<std::string_view>{}(found->key)) {
            return false;
        }
    }
    return a->key == b->key && a->values == b->values && a->spans == b->spans &&
           a->bare == b->bare && a->dates == b->dates;
}

/// Shapes met over the whole run, as a connection keeps them.
kvad::db::LiteralShapes& Shapes() {
    static kvad::db::LiteralShapes shapes(std::size_t{1} << 20);
    return shapes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string tsql(reinterpret_cast<const char*>(data), size);
    const auto found = kvad::db::FindLiteralParameters(tsql);
    if (!Same(Shapes().Find(tsql), found)) {
        Fail();
    }
    if (!found) {
        return 0;
    }
    const std::size_t count = found->values.size();
    if (count == 0 || found->spans.size() != count || found->bare.size() != count ||
        found->dates.size() != count) {
        Fail();
    }
    std::vector<std::string> written;
    std::string rebuilt;
    std::size_t end = 0;
    std::size_t marker = 0;
    for (const auto& [at, length] : found->spans) {
        if (at < end || length == 0 || at + length > tsql.size()) {
            Fail();
        }
        written.push_back(tsql.substr(at, length));
        const std::size_t next = found->key.find_first_of(std::string_view("\x01\x02", 2), marker);
        if (next == std::string::npos) {
            Fail();
        }
        rebuilt += found->key.substr(marker, next - marker) + written.back();
        marker = next + 1;
        end = at + length;
    }
    rebuilt += found->key.substr(marker);
    if (rebuilt != tsql || kvad::db::ReplaceLiterals(tsql, *found, written) != tsql) {
        Fail();
    }
    const std::vector<std::string> sentinels = kvad::db::SentinelValues(tsql, *found);
    if (sentinels.size() != count) {
        Fail();
    }
    for (const std::string& sentinel : sentinels) {
        if (tsql.find(sentinel) != std::string::npos) {
            Fail();
        }
    }
    // The text itself stands for its translation: with the sentinels in place of the values, it
    // turns into a statement with parameters that gives the text back with the values.
    const std::string withSentinels = kvad::db::ReplaceLiterals(tsql, *found, sentinels);
    (void)kvad::db::ParameterizedSql(tsql, written, withSentinels, sentinels, found->bare);
    if (!Same(Shapes().Find(withSentinels), kvad::db::FindLiteralParameters(withSentinels))) {
        Fail();
    }
    return 0;
}
