#pragma once
// Checks that an action fails with the runtime error of a given number.

#include <gtest/gtest.h>

#include <cstdint>

#include "kvad_nso/errors.h"

namespace kvad::test {

void ExpectVbError(std::int32_t number, auto&& action) {
    try {
        action();
        ADD_FAILURE() << "no error raised, expected " << number;
    } catch (const VbError& error) {
        EXPECT_EQ(error.Number(), number) << error.what();
    }
}

} // namespace kvad::test
