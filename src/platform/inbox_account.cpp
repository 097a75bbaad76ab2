#include "inbox_account.h"

#include "kvad_nso/text.h"

#include <utility>

namespace kvad::platform {

InboxAccount::InboxAccount(FolderInboxConfig config) : config_(std::move(config)) {}

std::string InboxAccount::ConfigXML() {
    return "<NsoConfig><Inbox>" + XmlEscape(config_.inbox) + "</Inbox></NsoConfig>";
}

std::string XmlEscape(std::string_view text) {
    return kvad::EscapeMarkup(text);
}

} // namespace kvad::platform
