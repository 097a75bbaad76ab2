#include "text_decoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include "kvad_nso/text.h"
#include "xml/xml_document.h"

namespace kvad::platform {
namespace {

struct Signature {
    std::string_view bytes;
    const char* encoding;
    bool isMark; ///< a byte-order mark, dropped; otherwise the first characters, kept
};

// Longest first: the UTF-32 little-endian mark begins with the UTF-16 one.
constexpr std::array<Signature, 9> kSignatures{{
    {std::string_view("\x00\x00\xFE\xFF", 4), "UTF-32BE", true},
    {std::string_view("\xFF\xFE\x00\x00", 4), "UTF-32LE", true},
    {std::string_view("\x00\x00\x00<", 4), "UTF-32BE", false},
    {std::string_view("<\x00\x00\x00", 4), "UTF-32LE", false},
    {std::string_view("\x00<\x00?", 4), "UTF-16BE", false},
    {std::string_view("<\x00?\x00", 4), "UTF-16LE", false},
    {std::string_view("\xEF\xBB\xBF", 3), "UTF-8", true},
    {std::string_view("\xFE\xFF", 2), "UTF-16BE", true},
    {std::string_view("\xFF\xFE", 2), "UTF-16LE", true},
}};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool StartsWithAny(std::string_view name, std::initializer_list<std::string_view> prefixes) {
    for (const std::string_view prefix : prefixes) {
        if (StartsWithNoCase(name, prefix)) {
            return true;
        }
    }
    return false;
}

// A declaration naming a 16- or 32-bit encoding in text whose first characters are one byte
// each says nothing true about the bytes.
bool IsWideName(std::string_view name) {
    return StartsWithAny(name, {"UTF-16", "UTF16", "UTF-32", "UTF32", "UCS-2", "UCS-4"});
}

// How many bytes of a file one byte of its text can take at most.
std::size_t BytesPerTextByte(std::string_view name) {
    if (StartsWithAny(name, {"UTF-16", "UTF16", "UCS-2"})) {
        return 2;
    }
    // Every character of these takes one byte, and at least one in UTF-8.
    if (StartsWithAny(name, {"UTF-8", "UTF8", "ISO-8859", "ISO8859", "ISO_8859", "LATIN",
                             "WINDOWS-125", "CP125", "US-ASCII", "ASCII", "KOI8"})) {
        return 1;
    }
    return 4;
}

constexpr auto kUnknown = static_cast<std::uintptr_t>(-1);

} // namespace

DocumentEncoding DetectEncoding(std::string_view head) {
    DocumentEncoding encoding;
    for (const Signature& signature : kSignatures) {
        if (head.substr(0, signature.bytes.size()) == signature.bytes) {
            encoding.name = signature.encoding;
            encoding.mark = signature.isMark ? signature.bytes.size() : 0;
            encoding.bytesPerTextByte = BytesPerTextByte(encoding.name);
            return encoding;
        }
    }
    const std::string_view declared = xml::DeclaredEncoding(head);
    if (!declared.empty() && !IsWideName(declared) && !EqualsNoCase(declared, "UTF-8") &&
        !EqualsNoCase(declared, "UTF8")) {
        encoding.name = std::string(declared);
        encoding.bytesPerTextByte = BytesPerTextByte(encoding.name);
    }
    return encoding;
}

TextConverter::TextConverter(const std::string& from, std::size_t maxText, std::size_t expected)
    : cd_(iconv_open("UTF-8", from.c_str())), maxText_(maxText) {
    if (Known()) {
        text_.reserve(std::min(expected, maxText));
    }
}

TextConverter::~TextConverter() {
    if (Known()) {
        iconv_close(static_cast<iconv_t>(cd_));
    }
}

bool TextConverter::Known() const noexcept {
    return reinterpret_cast<std::uintptr_t>(cd_) != kUnknown;
}

bool TextConverter::Add(std::string_view bytes, bool last) {
    pending_.append(bytes);
    auto* const cd = static_cast<iconv_t>(cd_);
    char* in = pending_.data();
    std::size_t inLeft = pending_.size();
    std::array<char, 1 << 16> buffer{};
    bool flushed = !last;
    while (inLeft > 0 || !flushed) {
        char* to = buffer.data();
        std::size_t toLeft = buffer.size();
        // Once the input is used up, one more call writes what the converter still holds.
        const bool flushing = inLeft == 0;
        const std::size_t rc = flushing ? iconv(cd, nullptr, nullptr, &to, &toLeft)
                                        : iconv(cd, &in, &inLeft, &to, &toLeft);
        const int error = errno;
        const auto produced = static_cast<std::size_t>(to - buffer.data());
        if (text_.size() + produced > maxText_) {
            throw TextTooLarge("the text is larger than " + std::to_string(maxText_) + " bytes");
        }
        text_.append(buffer.data(), produced);
        flushed = flushed || flushing;
        if (rc != static_cast<std::size_t>(-1) || error == E2BIG) {
            continue;
        }
        if (error != EINVAL || last) {
            return false;
        }
        break; // a character cut at the end of the piece: kept for the next one
    }
    pending_.erase(0, pending_.size() - inLeft);
    return true;
}

} // namespace kvad::platform
