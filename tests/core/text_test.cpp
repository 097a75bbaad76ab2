#include "kvad_nso/text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kvad {
namespace {

/// The bytes that do not continue a character, one by one.
std::size_t CharacterStarts(std::string_view text) {
    std::size_t starts = 0;
    for (const char c : text) {
        starts += static_cast<std::size_t>((static_cast<unsigned char>(c) & 0xC0) != 0x80);
    }
    return starts;
}

// The characters of UTF-8 text, counted eight bytes at a time, are what counting byte by byte
// gives: every length and alignment, every byte value, and text that is not UTF-8.
TEST(Utf8Length, CountsWhatEachByteStartsAtEveryLengthAndOffset) {
    EXPECT_EQ(Utf8Length(""), 0U);
    EXPECT_EQ(Utf8Length("caff\xC3\xA8 \xE2\x82\xAC \xF0\x9F\x98\x80!"), 10U);
    EXPECT_EQ(Utf8Length("\x80\xBF\x80\xBF\x80\xBF\x80\xBF\x80"), 0U);
    std::mt19937 random(7);
    std::string bytes(200, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    for (std::size_t offset = 0; offset < 9; ++offset) {
        for (std::size_t size = 0; offset + size <= 60; ++size) {
            const std::string_view text = std::string_view(bytes).substr(offset, size);
            EXPECT_EQ(Utf8Length(text), CharacterStarts(text)) << offset << " " << size;
        }
    }
}

} // namespace
} // namespace kvad
