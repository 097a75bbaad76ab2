#include "text_encoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include "kvad_nso/text.h"

namespace kvad::host {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct Mark {
    std::string_view bytes;
    const char* encoding;
};

// Longest first: the UTF-32 little-endian mark begins with the UTF-16 one.
constexpr std::array<Mark, 4> kWideMarks{{
    {std::string_view("\x00\x00\xFE\xFF", 4), "UTF-32BE"},
    {std::string_view("\xFF\xFE\x00\x00", 4), "UTF-32LE"},
    {std::string_view("\xFE\xFF", 2), "UTF-16BE"},
    {std::string_view("\xFF\xFE", 2), "UTF-16LE"},
}};

/// The characters of the line that ends the text: how far into its line the text's end is.
std::string_view LastLine(std::string_view text) {
    const std::size_t newline = text.rfind('\n');
    return newline == std::string_view::npos ? text : text.substr(newline + 1);
}

/// Throws EncodingError for a fault where `before` (well-formed UTF-8) ends: "<what> after
/// "<the characters before it on its line>" <verdict>".
[[noreturn]] void FailAfter(std::string_view before, const std::string& what,
                            const std::string& verdict) {
    const std::string_view line = LastLine(before);
    const std::size_t lineNumber =
        static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    const std::string context = Utf8Right(line, 20);
    throw EncodingError(
        lineNumber, Utf8Length(line) + 1,
        what + (context.empty() ? " at the start of the line " : " after \"" + context + "\" ") +
            verdict);
}

/// Throws EncodingError for a NUL or a byte that is not UTF-8.
void RequireUtf8(std::string_view text) {
    const std::size_t nul = text.find('\0');
    const std::size_t bad = std::min(nul, kvad::FirstInvalidUtf8(text));
    if (bad == std::string_view::npos) {
        return;
    }
    if (bad == nul) {
        FailAfter(text.substr(0, bad), "a NUL byte (0x00)", "is not text");
    }
    FailAfter(text.substr(0, bad), "the byte " + ByteName(static_cast<unsigned char>(text[bad])),
              "is not UTF-8 text");
}

class Converter {
  public:
    explicit Converter(const std::string& from) : cd_(iconv_open("UTF-8", from.c_str())) {
        if (reinterpret_cast<std::uintptr_t>(cd_) == static_cast<std::uintptr_t>(-1)) {
            throw EncodingError(0, 0,
                                "the encoding \"" + from +
                                    "\" is not known (`iconv -l` lists the encodings known)");
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    Converter(Converter&&) = delete;
    Converter& operator=(Converter&&) = delete;
    ~Converter() { iconv_close(cd_); }

    /// The bytes as UTF-8, through a small buffer so that the text grows only as far as it
    /// needs. Throws EncodingError at the first byte that is not valid in the encoding.
    std::string Convert(std::string_view bytes, const std::string& encoding) {
        std::string out;
        out.reserve(bytes.size() + bytes.size() / 4);
        std::array<char, 1 << 16> buffer{};
        char* in = const_cast<char*>(bytes.data()); // iconv's signature; it does not write
        std::size_t inLeft = bytes.size();
        bool flushed = false;
        while (!flushed) {
            char* to = buffer.data();
            std::size_t toLeft = buffer.size();
            // Once the input is used up, one more call writes what the converter still holds.
            const bool flushing = inLeft == 0;
            const std::size_t rc = flushing ? iconv(cd_, nullptr, nullptr, &to, &toLeft)
                                            : iconv(cd_, &in, &inLeft, &to, &toLeft);
            const int error = errno;
            out.append(buffer.data(), static_cast<std::size_t>(to - buffer.data()));
            if (rc != static_cast<std::size_t>(-1)) {
                flushed = flushing;
                continue;
            }
            if (error == EINVAL) {
                FailAfter(out, "the last bytes", "are not a whole character of " + encoding);
            }
            if (error != E2BIG) {
                FailAfter(out, "the byte " + ByteName(static_cast<unsigned char>(*in)),
                          "is not " + encoding + " text");
            }
        }
        return out;
    }

  private:
    iconv_t cd_;
};

bool IsUtf8Name(std::string_view name) {
    return EqualsNoCase(name, "UTF-8") || EqualsNoCase(name, "UTF8");
}

/// The encoding a byte-order mark of UTF-16 or UTF-32 gives, or "".
std::string WideEncodingOf(std::string_view bytes) {
    for (const Mark& mark : kWideMarks) {
        if (bytes.starts_with(mark.bytes)) {
            return mark.encoding;
        }
    }
    return {};
}

} // namespace

std::string TextOfFile(std::string bytes, const std::string& encoding) {
    std::string from = encoding.empty() ? WideEncodingOf(bytes) : encoding;
    std::string text;
    if (from.empty() || IsUtf8Name(from)) {
        text = std::move(bytes);
        from = "UTF-8";
    } else {
        text = Converter(from).Convert(bytes, from);
        bytes = std::string(); // the file's bytes are not needed beside its text
    }
    // A mark converted from UTF-16LE and the like comes out as a UTF-8 one.
    if (std::string_view(text).starts_with(kUtf8Bom)) {
        text.erase(0, kUtf8Bom.size());
    }
    RequireUtf8(text);
    return text;
}

std::string ByteName(unsigned char byte) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    return std::string("0x") + kDigits[byte >> 4U] + kDigits[byte & 0x0FU];
}

} // namespace kvad::host
