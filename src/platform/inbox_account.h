#pragma once
// The account object of the folder inbox: credentials and configuration come from the host's
// settings, not from the company's database.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "kvad_nso/nso_ws.h"
#include "platform/folder_inbox.h"

namespace kvad::platform {

/// Hands out the configured user, password and an inbox configuration XML
/// ("<NsoConfig><Inbox>path</Inbox></NsoConfig>", the path XML-escaped).
class InboxAccount final : public NsoAccount {
  public:
    explicit InboxAccount(FolderInboxConfig config);

    // One set of credentials serves every company and nothing is read from the database, so
    // the company code and the connection are accepted and not used.
    void SetCodiceDitta(std::int32_t /*company*/) override {}
    void SetConnessione(std::shared_ptr<Connection> /*connection*/) override {}
    [[nodiscard]] std::string Username() override { return config_.user; }
    [[nodiscard]] std::string Password() override { return config_.password; }
    [[nodiscard]] std::string ConfigXML() override;

  private:
    FolderInboxConfig config_;
};

/// Text with &, <, >, " and ' written as XML entities.
[[nodiscard]] std::string XmlEscape(std::string_view text);

} // namespace kvad::platform
