#include "listing_reader.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace kvad::platform {

ListingReader::ListingReader(std::vector<ReceivedFile> files, ReadFile read, unsigned helpers)
    : files_(std::move(files)), read_(std::move(read)), readings_(files_.size()),
      failures_(files_.size()), done_(files_.size(), 0) {
    try {
        for (unsigned t = 0; t < helpers; ++t) {
            helpers_.emplace_back([this] {
                while (!stop_.load(std::memory_order_relaxed) && ReadNext()) {
                }
            });
        }
    } catch (const std::system_error&) {
        // No more threads to be had: the ones started and the caller read the rest.
    }
}

ListingReader::~ListingReader() {
    stop_ = true;
    helpers_.clear(); // joins them
}

unsigned ListingReader::HelpersFor(std::size_t files) noexcept {
    constexpr std::size_t kFilesPerThread = 16;
    constexpr unsigned kMaxHelpers = 3;
    const unsigned cores = std::max(std::thread::hardware_concurrency(), 1U);
    return static_cast<unsigned>(
        std::min<std::size_t>({cores - 1, kMaxHelpers, files / kFilesPerThread}));
}

bool ListingReader::ReadNext() {
    const std::size_t index = next_++;
    if (index >= files_.size()) {
        return false;
    }
    try {
        readings_[index] = read_(files_[index]);
    } catch (...) {
        failures_[index] = std::current_exception();
    }
    {
        const std::lock_guard lock(mutex_);
        done_[index] = 1;
    }
    readingDone_.notify_all();
    return true;
}

const ListedSummary& ListingReader::Reading(std::size_t index) {
    (void)files_.at(index);
    std::unique_lock lock(mutex_);
    while (done_[index] == 0) {
        if (next_.load() <= index) {
            // Not taken yet: read the next files here rather than wait for a helper.
            lock.unlock();
            (void)ReadNext();
            lock.lock();
        } else {
            readingDone_.wait(lock);
        }
    }
    lock.unlock();
    if (failures_[index]) {
        std::rethrow_exception(failures_[index]);
    }
    return readings_[index];
}

} // namespace kvad::platform
