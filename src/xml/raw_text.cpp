#include "raw_text.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "kvad_nso/text.h"

namespace kvad::xml {

namespace {

std::size_t LineAt(std::string_view text, std::size_t offset) {
    return 1 + static_cast<std::size_t>(std::count(
                   text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

/// The encoding the text declares when it declares one other than UTF-8, else "".
std::string_view OtherDeclaredEncoding(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    const std::string_view enc = DeclaredEncoding(text);
    return EqualsNoCase(enc, "UTF-8") || EqualsNoCase(enc, "UTF8") ? std::string_view() : enc;
}

/// Text that is not UTF-8: the reason, naming the encoding the text declares when it declares
/// one other than UTF-8 (bytes that were never turned into text).
std::string NotUtf8(std::string_view text, const std::string& what) {
    if (const std::string_view enc = OtherDeclaredEncoding(text); !enc.empty()) {
        return "il documento dichiara la codifica '" + std::string(enc) +
               "', che non è stato possibile leggere: " + what;
    }
    return "il documento " + what;
}

/// `cause`, naming the encoding the text declares when it is not UTF-8.
std::string InDeclaredEncoding(std::string_view text, std::string cause) {
    if (const std::string_view enc = OtherDeclaredEncoding(text); !enc.empty()) {
        cause += " in text that declares the encoding \"" + std::string(enc) + "\"";
    }
    return cause;
}

} // namespace

bool IsXmlSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool PrologHasDoctype(std::string_view text) noexcept {
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (IsXmlSpace(text[pos])) {
            ++pos;
            continue;
        }
        const std::string_view rest = text.substr(pos);
        if (rest.substr(0, 9) == "<!DOCTYPE") {
            return true;
        }
        std::string_view close;
        if (rest.substr(0, 2) == "<?") {
            close = "?>";
        } else if (rest.substr(0, 4) == "<!--") {
            close = "-->";
        } else {
            return false; // the root element, or text the parser will refuse
        }
        const std::size_t end = text.find(close, pos + 2);
        if (end == std::string_view::npos) {
            return false;
        }
        pos = end + close.size();
    }
    return false;
}

std::string ParseFailure::Plain() const {
    std::string what;
    switch (problem) {
    case Problem::None:
        return {};
    case Problem::Empty:
        return "it is empty";
    case Problem::NoMemory:
        return "there was not enough memory to read it";
    case Problem::TooLarge:
        what = "it is larger than a document may be";
        break;
    case Problem::Encoding:
        what = "it is not UTF-8 text";
        break;
    case Problem::Doctype:
        what = "it is not a plain XML document";
        break;
    case Problem::OverLimits:
        what = "it has more elements or deeper nesting than an order can have";
        break;
    case Problem::NotWellFormed:
        what = "it is not well-formed XML";
        break;
    }
    if (cause.empty()) {
        return what;
    }
    return what + " (" + (line > 0 ? "line " + std::to_string(line) + ": " : std::string()) +
           cause + ")";
}

bool CheckRawText(std::string_view text, const Limits& limits, ParseFailure& failure) {
    const auto refuse = [&failure](Problem problem, std::string own, std::size_t line,
                                   std::string cause) {
        failure = {problem, std::move(own), line, std::move(cause)};
        return false;
    };
    const std::size_t cap = std::min<std::size_t>(limits.maxBytes, INT_MAX);
    if (text.size() > cap) {
        return refuse(Problem::TooLarge,
                      "il documento supera la dimensione massima ammessa (" +
                          std::to_string(text.size()) + " byte, limite " + std::to_string(cap) +
                          ")",
                      0,
                      std::to_string(text.size()) + " bytes, over the limit of " +
                          std::to_string(cap / (std::size_t{1024} * 1024)) + " MiB");
    }
    if (text.size() >= 2 &&
        ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        return refuse(Problem::Encoding, "il documento è codificato in UTF-16, ammesso solo UTF-8",
                      1, "UTF-16 text");
    }
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        const std::size_t line = LineAt(text, nul);
        return refuse(Problem::Encoding,
                      NotUtf8(text, "contiene byte nulli alla riga " + std::to_string(line) +
                                        ": non è testo UTF-8"),
                      line, InDeclaredEncoding(text, "a null byte"));
    }
    if (const std::size_t bad = kvad::FirstInvalidUtf8(text); bad != std::string_view::npos) {
        const std::size_t line = LineAt(text, bad);
        return refuse(
            Problem::Encoding,
            NotUtf8(text, "contiene una sequenza UTF-8 non valida alla riga " +
                              std::to_string(line) + " (byte " + std::to_string(bad) + ")"),
            line,
            InDeclaredEncoding(text,
                               "bytes that are not UTF-8 at byte " + std::to_string(bad + 1)));
    }
    std::string_view body = text;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") {
        body.remove_prefix(3);
    }
    if (std::all_of(body.begin(), body.end(), IsXmlSpace)) {
        return refuse(Problem::Empty, "il documento è vuoto", 0, "nothing but white space");
    }
    if (PrologHasDoctype(body)) {
        return refuse(Problem::Doctype, "il documento contiene una DOCTYPE, non ammessa", 0,
                      "a DOCTYPE");
    }
    failure = {};
    return true;
}

std::string TrimXmlSpace(std::string_view text) {
    const auto first = std::find_if_not(text.begin(), text.end(), IsXmlSpace);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), IsXmlSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string_view DeclaredEncoding(std::string_view text) {
    if (text.substr(0, 5) != "<?xml" || text.size() < 6 || !IsXmlSpace(text[5])) {
        return {};
    }
    const std::size_t end = text.find("?>");
    const std::string_view decl = text.substr(0, end);
    std::size_t pos = decl.find("encoding");
    if (pos == std::string_view::npos) {
        return {};
    }
    pos += 8;
    while (pos < decl.size() && IsXmlSpace(decl[pos])) {
        ++pos;
    }
    if (pos >= decl.size() || decl[pos] != '=') {
        return {};
    }
    ++pos;
    while (pos < decl.size() && IsXmlSpace(decl[pos])) {
        ++pos;
    }
    if (pos >= decl.size() || (decl[pos] != '"' && decl[pos] != '\'')) {
        return {};
    }
    const char quote = decl[pos++];
    const std::size_t close = decl.find(quote, pos);
    if (close == std::string_view::npos) {
        return {};
    }
    return decl.substr(pos, close - pos);
}

} // namespace kvad::xml
