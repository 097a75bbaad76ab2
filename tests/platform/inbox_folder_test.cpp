#include "inbox_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"
#include "xml/xml_document.h"

namespace kvad::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

/// UTF-16LE bytes of text made of characters of the Basic Multilingual Plane, or UTF-32LE.
std::string Wide(std::u32string_view text, bool utf32) {
    std::string bytes;
    for (const char32_t c : text) {
        if (utf32) {
            for (unsigned shift = 0; shift < 32; shift += 8) {
                bytes += static_cast<char>((c >> shift) & 0xFFU);
            }
            continue;
        }
        const auto unit = [&bytes](char32_t u) {
            bytes += static_cast<char>(u & 0xFFU);
            bytes += static_cast<char>(u >> 8U);
        };
        if (c < 0x10000) {
            unit(c);
        } else {
            unit(0xD800 + ((c - 0x10000) >> 10U));
            unit(0xDC00 + ((c - 0x10000) & 0x3FFU));
        }
    }
    return bytes;
}

class DocumentText : public ::testing::Test {
  protected:
    fs::path Write(const std::string& name, const std::string& bytes) {
        fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    /// The text, or the refusal's text.
    static std::string Read(const fs::path& file, std::size_t maxText) {
        try {
            return ReadDocumentText(file, maxText);
        } catch (const InboxError& e) {
            return std::string("refused: ") + e.what();
        }
    }

    kvad::test::TempDir dir_{"text"};
};

// A file whose text would be larger than a document may be is refused before it is read when
// its size and encoding say so, else as soon as its text grows past the limit.
TEST_F(DocumentText, TextLargerThanTheLimitIsRefusedBeforeOrWhileItIsRead) {
    const fs::path huge = Write("huge.xml", "<?xml version=\"1.0\"?><Order>");
    // Sparse: reading it would take minutes and every byte of memory.
    fs::resize_file(huge, std::uintmax_t{64} << 30U);
    EXPECT_EQ(Read(huge, xml::Limits{}.maxBytes),
              "refused: the file \"" + huge.string() +
                  "\" (68719476736 bytes) holds more text than the 16 MiB a document may have");

    const std::string ascii(1000, 'a');
    EXPECT_EQ(Read(Write("utf8.xml", "\xEF\xBB\xBF" + ascii), 1000), ascii);
    EXPECT_NE(Read(Write("utf8-over.xml", ascii + "a"), 1000).find("refused: "), std::string::npos);
    EXPECT_EQ(Read(Write("utf16.xml", "\xFF\xFE" + Wide(std::u32string(1000, U'a'), false)), 1000),
              ascii);
    EXPECT_NE(
        Read(Write("utf16-over.xml", "\xFF\xFE" + Wide(std::u32string(1001, U'a'), false)), 1000)
            .find("(2004 bytes) holds more text than"),
        std::string::npos);
    // 1,204 bytes of UTF-32 are 300 characters of four UTF-8 bytes each: past 1,000 while read.
    EXPECT_NE(Read(Write("utf32-over.xml",
                         "\xFF\xFE\x00\x00"s + Wide(std::u32string(300, U'\U0001F600'), true)),
                   1000)
                  .find("(1204 bytes) holds more text than"),
              std::string::npos);
}

// Pieces of the file are converted one by one: a character cut between two of them is joined.
TEST_F(DocumentText, ACharacterCutBetweenTwoPiecesIsJoined) {
    std::u32string text = U"<o>";
    std::string utf8 = "<o>";
    while (text.size() < 70000) {
        text += U"\u00E8\U0001F600x";
        utf8 += "\xC3\xA8\xF0\x9F\x98\x80x";
    }
    text += U"</o>";
    utf8 += "</o>";
    for (const std::size_t shift : {0U, 1U, 2U, 3U}) {
        SCOPED_TRACE(shift);
        const std::string bytes = "\xFF\xFE" + Wide(std::u32string(shift, U' ') + text, false);
        EXPECT_EQ(Read(Write("cut.xml", bytes), xml::Limits{}.maxBytes),
                  std::string(shift, ' ') + utf8);
    }
}

} // namespace
} // namespace kvad::platform
