#pragma once
// A Decimal written as text in a test, which must parse.

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "kvad_nso/decimal.h"

namespace kvad::test {

inline Decimal D(std::string_view text) {
    const std::optional<Decimal> value = Decimal::Parse(text);
    EXPECT_TRUE(value.has_value()) << text;
    return value.value_or(Decimal{});
}

} // namespace kvad::test
