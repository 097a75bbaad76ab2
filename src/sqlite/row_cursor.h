#pragma once
// A position among a number of visible rows, with ADO's BOF/EOF rules.

#include <cstddef>
#include <optional>

namespace kvad::db {

/// The current position of a recordset. The visible row count is passed to every call, as it
/// can change under the cursor (rows added through clones).
class RowCursor {
  public:
    /// Moves to the first row, or to BOF/EOF when there is none.
    void Reset(std::size_t count) noexcept;
    /// Each throws VbError 3021 where ADO does (moving past EOF or BOF, or on no rows).
    void MoveFirst(std::size_t count);
    void MoveLast(std::size_t count);
    void MoveNext(std::size_t count);
    void MovePrevious(std::size_t count);
    /// Places the cursor on a row.
    void MoveTo(std::size_t index) noexcept;

    [[nodiscard]] bool Bof(std::size_t count) const noexcept;
    [[nodiscard]] bool Eof(std::size_t count) const noexcept;
    /// 1-based position, or -1 (no rows), -2 (BOF), -3 (EOF).
    [[nodiscard]] long AbsolutePosition(std::size_t count) const noexcept;
    /// The current row's index among the visible rows, if there is one.
    [[nodiscard]] std::optional<std::size_t> Current(std::size_t count) const noexcept;

  private:
    enum class State { OnRow, AtBOF, AtEOF };
    State state_ = State::AtBOF;
    std::size_t index_ = 0;
};

} // namespace kvad::db
