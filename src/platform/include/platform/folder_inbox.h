#pragma once
/// The embedded document platform: a folder inbox behind the web-service contract. Each
/// company ("IT" + VAT number) has a folder under the inbox root holding its received UBL files.

#include <string>

namespace kvad::platform {

/// Where the inbox is and the platform credentials the account object hands out.
struct FolderInboxConfig {
    std::string inbox;    ///< root folder of the inbox (one sub-folder per company)
    std::string user;     ///< user name given to the service
    std::string password; ///< password given to the service
};

/// Registers the web-service ProgIDs (service, document, collection, account) to the folder
/// inbox with this configuration, replacing earlier registrations.
void RegisterFolderInbox(const FolderInboxConfig& config);

/// Removes the registrations made by RegisterFolderInbox.
void UnregisterFolderInbox();

} // namespace kvad::platform
