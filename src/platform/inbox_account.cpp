#include "inbox_account.h"

#include <utility>

namespace kvad::platform {

InboxAccount::InboxAccount(FolderInboxConfig config) : config_(std::move(config)) {}

std::string InboxAccount::ConfigXML() {
    return "<NsoConfig><Inbox>" + XmlEscape(config_.inbox) + "</Inbox></NsoConfig>";
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace kvad::platform
