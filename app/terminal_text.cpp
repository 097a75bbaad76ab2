#include "app/terminal_text.h"

#include <cstdio>

namespace nsoapp {

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // C1 controls are U+0080 to U+009F: 0xC2 followed by 0x80 to 0x9F in UTF-8.
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
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
                std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            }
            out += escape;
        }
    }
    return out;
}

} // namespace nsoapp
