#pragma once
// The one way tests check an error: run the action, fail the test when it throws nothing, and
// hand back the error of the expected type for further checks.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "kvad_nso/errors.h"

namespace kvad::test {

/// The error of type E that `action` throws; fails the test (and gives nothing) when it throws
/// none. An error of another type propagates and fails the test with its message.
template <class E> [[nodiscard]] std::optional<E> ThrownBy(auto&& action) {
    try {
        action();
    } catch (const E& error) {
        return error;
    }
    ADD_FAILURE() << "no error thrown";
    return std::nullopt;
}

/// Checks that `action` throws the runtime error of this number.
void ExpectVbError(std::int32_t number, auto&& action) {
    if (const auto error = ThrownBy<VbError>(action)) {
        EXPECT_EQ(error->Number(), number) << error->what();
    }
}

/// Checks that `action` throws a database error with this SQL state; returns it for more checks.
inline std::optional<DbError> ExpectDbError(const std::string& sqlState, auto&& action) {
    auto error = ThrownBy<DbError>(action);
    if (error) {
        EXPECT_EQ(error->SqlState(), sqlState) << error->what();
    }
    return error;
}

} // namespace kvad::test
