#include "inbox_collection.h"

#include <utility>

#include "kvad_nso/errors.h"

namespace kvad::platform {
namespace {

constexpr std::int32_t kSubscriptOutOfRange = 9;

} // namespace

InboxCollection::InboxCollection(std::vector<std::shared_ptr<NsoDocument>> documents) noexcept
    : documents_(std::move(documents)) {}

long InboxCollection::RecordCount() const {
    return static_cast<long>(documents_.size());
}

std::shared_ptr<NsoDocument> InboxCollection::Item(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= documents_.size()) {
        throw VbError(kSubscriptOutOfRange, "Subscript out of range");
    }
    return documents_[static_cast<std::size_t>(index)];
}

std::vector<std::shared_ptr<NsoDocument>> InboxCollection::Items() const {
    return documents_;
}

} // namespace kvad::platform
