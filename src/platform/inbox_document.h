#pragma once
// A document of the folder inbox as the web-service contract shows it.

#include <string>

#include "kvad_nso/nso_ws.h"

namespace kvad::platform {

/// A listed or downloaded file of the inbox. Default-constructed (as by ProgID) it is empty.
class InboxDocument final : public NsoDocument {
  public:
    InboxDocument() = default;
    /// A document with its platform id (the file name), order number, issue date
    /// ("yyyy-mm-dd") and buyer endpoint; `content` is empty unless it was downloaded.
    InboxDocument(std::string hubId, std::string number, std::string issueDate,
                  std::string endpointId, std::string content = {});

    [[nodiscard]] Variant HubId() const override { return hubId_; }
    [[nodiscard]] Variant FileDocNum() const override { return number_; }
    [[nodiscard]] Variant FileDocData() const override { return issueDate_; }
    [[nodiscard]] Variant EndPointId() const override { return endpointId_; }
    [[nodiscard]] std::string Content() const override { return content_; }

  private:
    Variant hubId_;
    Variant number_;
    Variant issueDate_;
    Variant endpointId_;
    std::string content_;
};

} // namespace kvad::platform
