#include "inbox_document.h"

#include <utility>

namespace kvad::platform {

InboxDocument::InboxDocument(std::string hubId, std::string number, std::string issueDate,
                             std::string endpointId, std::string content)
    : hubId_(std::move(hubId)), number_(std::move(number)), issueDate_(std::move(issueDate)),
      endpointId_(std::move(endpointId)), content_(std::move(content)) {}

} // namespace kvad::platform
