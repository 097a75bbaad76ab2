#include "app/web/html.h"

#include "kvad_nso/text.h"

namespace nsoweb {

std::string Escape(std::string_view text) {
    return kvad::EscapeMarkup(text);
}

std::string UrlEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            u == '-' || u == '_' || u == '.' || u == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4U];
            out += kHex[u & 15U];
        }
    }
    return out;
}

} // namespace nsoweb
