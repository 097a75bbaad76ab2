#include "app/terminal_text.h"

#include <cstdio>

#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

/// Control characters written as escapes; `toml` also escapes quotes and backslashes and writes
/// the escapes TOML knows (\u00HH where a terminal reads \xHH).
std::string Escaped(std::string_view text, bool toml) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // C1 controls are U+0080 to U+009F: 0xC2 followed by 0x80 to 0x9F in UTF-8.
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (toml && (c == '"' || c == '\\')) {
            out += '\\';
            out += text[i];
            continue;
        }
        if (c >= 0x20 && c != 0x7F && !c1) {
            out += text[i];
            continue;
        }
        char escape[8];
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c1) {
                std::snprintf(escape, sizeof escape, "\\u%04X",
                              static_cast<unsigned>(static_cast<unsigned char>(text[++i])));
            } else {
                std::snprintf(escape, sizeof escape, toml ? "\\u%04X" : "\\x%02X",
                              static_cast<unsigned>(c));
            }
            out += escape;
        }
    }
    return out;
}

} // namespace

std::string Printable(std::string_view text) {
    return Escaped(text, false);
}

std::string TomlString(std::string_view text) {
    return "\"" + Escaped(text, true) + "\"";
}

std::string Padded(const std::string& text, std::size_t width) {
    const std::string cut = kvad::Utf8Left(text, width);
    const std::size_t length = kvad::Utf8Length(cut);
    return cut + std::string(width > length ? width - length : 0, ' ');
}

std::string Cell(const std::string& text, std::size_t width) {
    return Padded(text, width) + " ";
}

std::string RightCell(const std::string& text, std::size_t width) {
    const std::string cut = kvad::Utf8Left(text, width);
    const std::size_t length = kvad::Utf8Length(cut);
    return std::string(width > length ? width - length : 0, ' ') + cut + " ";
}

std::string Joined(const std::vector<std::string>& texts, const std::string& separator) {
    std::string out;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out += (i == 0 ? "" : separator) + texts[i];
    }
    return out;
}

SplitReason SplitDetail(const std::string& reason) {
    // The intake's reasons that quote the component's own failure put it last, after ": ".
    for (const char* lead :
         {"it could not be staged: ", "its reference to the order it changes cannot be read: "}) {
        const std::string_view prefix(lead);
        if (reason.rfind(prefix, 0) == 0) {
            return {std::string(prefix.substr(0, prefix.size() - 2)), reason.substr(prefix.size())};
        }
    }
    return {reason, {}};
}

void PrintBeneath(std::ostream& out, const std::string& text, const std::string& indent) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        end = end == std::string::npos ? text.size() : end;
        if (end > start) {
            out << indent << Printable(std::string_view(text).substr(start, end - start)) << "\n";
        }
        start = end + 1;
    }
}

} // namespace nsoapp
