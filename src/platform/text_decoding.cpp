#include "text_decoding.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <string_view>

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

bool IsUtf8Name(std::string_view name) {
    return EqualsNoCase(name, "UTF-8") || EqualsNoCase(name, "UTF8");
}

// A declaration naming a 16- or 32-bit encoding in text whose first characters are one byte
// each says nothing true about the bytes.
bool IsWideName(std::string_view name) {
    const std::string upper = AsciiUpper(name);
    for (const std::string_view wide : {"UTF-16", "UTF16", "UTF-32", "UTF32", "UCS-2", "UCS-4"}) {
        if (upper.rfind(wide, 0) == 0) {
            return true;
        }
    }
    return false;
}

class Converter {
  public:
    explicit Converter(const std::string& from) : cd_(iconv_open("UTF-8", from.c_str())) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    Converter(Converter&&) = delete;
    Converter& operator=(Converter&&) = delete;
    ~Converter() {
        if (Known()) {
            iconv_close(cd_);
        }
    }
    /// False for an encoding iconv does not know (iconv_open gave (iconv_t)-1).
    [[nodiscard]] bool Known() const {
        return reinterpret_cast<std::uintptr_t>(cd_) != static_cast<std::uintptr_t>(-1);
    }

    /// The bytes as UTF-8; false when a byte sequence is not valid in the encoding.
    bool Convert(std::string_view bytes, std::string& out) {
        out.clear();
        // UTF-8 never needs more than four bytes for what any encoding holds in one.
        std::string buffer(bytes.size() * 4 + 16, '\0');
        char* in = const_cast<char*>(bytes.data()); // iconv's signature; it does not write
        std::size_t inLeft = bytes.size();
        char* to = buffer.data();
        std::size_t toLeft = buffer.size();
        if (iconv(cd_, &in, &inLeft, &to, &toLeft) == static_cast<std::size_t>(-1) ||
            iconv(cd_, nullptr, nullptr, &to, &toLeft) == static_cast<std::size_t>(-1)) {
            return false;
        }
        buffer.resize(buffer.size() - toLeft);
        out = std::move(buffer);
        return true;
    }

  private:
    iconv_t cd_;
};

} // namespace

DecodedText DecodeDocument(const std::string& bytes) {
    DecodedText result;
    std::string_view body = bytes;
    std::string encoding;
    for (const Signature& signature : kSignatures) {
        if (body.substr(0, signature.bytes.size()) == signature.bytes) {
            encoding = signature.encoding;
            if (signature.isMark) {
                body.remove_prefix(signature.bytes.size());
            }
            break;
        }
    }
    if (encoding.empty()) {
        const std::string_view declared = xml::DeclaredEncoding(body);
        encoding = declared.empty() || IsWideName(declared) ? "UTF-8" : std::string(declared);
    }
    result.encoding = encoding;
    if (IsUtf8Name(encoding)) {
        result.text = std::string(body);
        return result;
    }
    Converter converter(encoding);
    if (!converter.Known()) {
        result.problem = "codifica '" + encoding + "' sconosciuta";
    } else if (!converter.Convert(body, result.text)) {
        result.problem = "il file contiene byte non validi nella codifica '" + encoding + "'";
    } else {
        return result;
    }
    result.text = bytes;
    return result;
}

} // namespace kvad::platform
