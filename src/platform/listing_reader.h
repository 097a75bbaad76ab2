#pragma once
// The readings of a listing's files, made in the files' order by helper threads while the
// listed documents are already in use: reading every file's whole text for its summary is most
// of a listing's work, and a caller that fetches the documents one by one needs the first ones
// long before the last.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "folder_inbox_service.h"
#include "inbox_folder.h"

namespace kvad::platform {

class ListingReader {
  public:
    using ReadFile = std::function<ListedSummary(const ReceivedFile&)>;

    /// Starts reading `files` with `read` on up to `helpers` threads (none for a short list, or
    /// when no thread can be had: the files are then read as they are asked for).
    ListingReader(std::vector<ReceivedFile> files, ReadFile read, unsigned helpers);
    /// Stops the helpers after the file each one is reading, and waits for them.
    ~ListingReader();
    ListingReader(const ListingReader&) = delete;
    ListingReader& operator=(const ListingReader&) = delete;
    ListingReader(ListingReader&&) = delete;
    ListingReader& operator=(ListingReader&&) = delete;

    [[nodiscard]] std::size_t Size() const noexcept { return files_.size(); }
    [[nodiscard]] const ReceivedFile& File(std::size_t index) const { return files_.at(index); }
    /// The reading of file `index`, once it is made: files not yet taken by a helper are read
    /// here, in order, until this one is. Rethrows the failure its reading met.
    [[nodiscard]] const ListedSummary& Reading(std::size_t index);

    /// The helper threads a listing of `files` files uses on this machine: the caller keeps one
    /// core for its own work.
    [[nodiscard]] static unsigned HelpersFor(std::size_t files) noexcept;

  private:
    /// Reads the next file no one has taken; false when every file is taken.
    bool ReadNext();

    const std::vector<ReceivedFile> files_;
    const ReadFile read_;
    std::vector<ListedSummary> readings_;
    std::vector<std::exception_ptr> failures_;
    std::vector<char> done_; ///< guarded by mutex_
    std::mutex mutex_;
    std::condition_variable readingDone_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stop_{false};
    std::vector<std::jthread> helpers_; ///< last, so that they stop before the rest goes
};

} // namespace kvad::platform
