#pragma once
// Long texts of a result kept out of its rows. A result that would hold many megabytes of them
// (the chain list carries every document's XML) writes them, as its rows are read, to a file of
// its own, and reads a value back when a caller asks for it. The file is a private copy taken
// with the rows: a value read later is the value the rows were read with, whatever happens to
// the tables afterwards.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvad::db {

class LongValues {
  public:
    /// Texts of at least this many bytes may be kept out of rows...
    static constexpr std::size_t kMinBytes = 4096;
    /// ...once the result already holds this many bytes of them in its rows.
    static constexpr std::size_t kInRowsBytes = std::size_t{8} * 1024 * 1024;

    LongValues() = default;
    LongValues(const LongValues&) = delete;
    LongValues& operator=(const LongValues&) = delete;
    LongValues(LongValues&&) = delete;
    LongValues& operator=(LongValues&&) = delete;
    ~LongValues();

    /// Keeps a text read for a row: its handle when it went to the file, nullopt when it stays
    /// in the row (short, within the in-row budget, or the file cannot be written).
    [[nodiscard]] std::optional<std::uint32_t> Keep(std::string_view text);
    /// A kept text. Throws DbError when the file cannot be read back.
    [[nodiscard]] std::string Read(std::uint32_t handle);

  private:
    std::FILE* file_ = nullptr;
    bool unusable_ = false;
    bool unflushed_ = false; ///< texts written since the last read are still in the buffer
    std::size_t inRows_ = 0;
    std::uint64_t end_ = 0;
    std::vector<std::pair<std::uint64_t, std::size_t>> spans_; ///< offset, size
};

} // namespace kvad::db
