#pragma once
// A list of inbox documents as the web-service contract shows it.

#include <memory>
#include <vector>

#include "kvad_nso/nso_ws.h"

namespace kvad::platform {

/// Documents in listing order. Default-constructed (as by ProgID) it is empty.
class InboxCollection final : public NsoCollection {
  public:
    InboxCollection() = default;
    explicit InboxCollection(std::vector<std::shared_ptr<NsoDocument>> documents) noexcept;

    [[nodiscard]] long RecordCount() const override;
    /// Throws VbError 9 "Subscript out of range" outside 0 .. RecordCount() - 1.
    [[nodiscard]] std::shared_ptr<NsoDocument> Item(int index) const override;
    [[nodiscard]] std::vector<std::shared_ptr<NsoDocument>> Items() const override;

  private:
    std::vector<std::shared_ptr<NsoDocument>> documents_;
};

} // namespace kvad::platform
