#include "row_cursor.h"

#include "kvad_nso/recordset.h"
#include "recordset_errors.h"

namespace kvad::db {

void RowCursor::Reset(std::size_t count) noexcept {
    if (count == 0) {
        state_ = State::AtEOF;
        return;
    }
    MoveTo(0);
}

void RowCursor::MoveFirst(std::size_t count) {
    if (count == 0) {
        ThrowNoCurrentRecord();
    }
    MoveTo(0);
}

void RowCursor::MoveLast(std::size_t count) {
    if (count == 0) {
        ThrowNoCurrentRecord();
    }
    MoveTo(count - 1);
}

void RowCursor::MoveNext(std::size_t count) {
    if (Eof(count)) {
        ThrowNoCurrentRecord();
    }
    if (state_ == State::AtBOF) {
        MoveTo(0);
        return;
    }
    if (index_ + 1 < count) {
        ++index_;
        return;
    }
    state_ = State::AtEOF;
}

void RowCursor::MovePrevious(std::size_t count) {
    if (Bof(count)) {
        ThrowNoCurrentRecord();
    }
    if (state_ == State::AtEOF) {
        MoveTo(count - 1);
        return;
    }
    if (index_ > 0 && index_ <= count) {
        --index_;
        return;
    }
    state_ = State::AtBOF;
}

void RowCursor::MoveTo(std::size_t index) noexcept {
    state_ = State::OnRow;
    index_ = index;
}

bool RowCursor::Bof(std::size_t count) const noexcept {
    return count == 0 || state_ == State::AtBOF;
}

bool RowCursor::Eof(std::size_t count) const noexcept {
    return count == 0 || state_ == State::AtEOF || (state_ == State::OnRow && index_ >= count);
}

long RowCursor::AbsolutePosition(std::size_t count) const noexcept {
    if (count == 0) {
        return Recordset::kPosUnknown;
    }
    if (state_ == State::AtBOF) {
        return Recordset::kPosBOF;
    }
    if (Eof(count)) {
        return Recordset::kPosEOF;
    }
    return static_cast<long>(index_) + 1;
}

std::optional<std::size_t> RowCursor::Current(std::size_t count) const noexcept {
    if (state_ != State::OnRow || index_ >= count) {
        return std::nullopt;
    }
    return index_;
}

} // namespace kvad::db
