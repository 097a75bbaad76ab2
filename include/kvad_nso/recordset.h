#pragma once
/// A set of rows with a current position, as the component and the host's grids use it.

#include <memory>
#include <string>
#include <string_view>

#include "kvad_nso/com.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/variant.h"

namespace kvad {

/// A recordset. Working recordsets (Connection::OpenRecordset) keep their rows on the client:
/// they can be filtered, sorted, cloned (clones share the same rows), requeried and updated
/// row by row, each update written through to the base table. One-pass results
/// (Connection::Query) only read and can be requeried (the message grid is); the other
/// operations throw VbError.
class Recordset : public ComObject {
  public:
    /// ADO's special positions.
    static constexpr long kPosUnknown = -1;
    static constexpr long kPosBOF = -2;
    static constexpr long kPosEOF = -3;

    [[nodiscard]] virtual bool IsOpen() const = 0;
    virtual void Close() = 0;

    /// Number of rows visible through the current filter; -1 when unknown.
    [[nodiscard]] virtual long RecordCount() const = 0;
    /// 1-based position of the current row among the visible rows, or one of the kPos values.
    [[nodiscard]] virtual long AbsolutePosition() const = 0;
    /// Moves to the row at a 1-based position among the visible rows (ADO's AbsolutePosition
    /// set), as a pending edit would be left by any move. Throws VbError 3001 for a position
    /// outside 1 to RecordCount(). This default walks from the first row.
    virtual void SetAbsolutePosition(long position) {
        if (position < 1 || position > RecordCount()) {
            throw VbError(3001, "Arguments are of the wrong type, are out of acceptable range, or "
                                "are in conflict with one another.");
        }
        MoveFirst();
        for (long at = 1; at < position; ++at) {
            MoveNext();
        }
    }
    [[nodiscard]] virtual bool Bof() const = 0;
    [[nodiscard]] virtual bool Eof() const = 0;
    virtual void MoveFirst() = 0;
    virtual void MoveNext() = 0;
    virtual void MovePrevious() = 0;
    virtual void MoveLast() = 0;

    [[nodiscard]] virtual int FieldCount() const = 0;
    [[nodiscard]] virtual std::string FieldName(int index) const = 0;
    /// True when the recordset has a field of that name (case-insensitive).
    [[nodiscard]] virtual bool HasField(std::string_view name) const = 0;
    /// The current row's value of a field by name (case-insensitive). Throws VbError 3265 for
    /// an unknown name and VbError 3021 when there is no current row.
    [[nodiscard]] virtual Variant Value(std::string_view name) const = 0;
    [[nodiscard]] virtual Variant Value(int index) const = 0;

    /// Sets a field of the current (or new) row; the change is pending until Update.
    virtual void SetValue(std::string_view name, const Variant& value) = 0;
    /// Starts a new row; it becomes the current row.
    virtual void AddNew() = 0;
    /// Writes the pending change to the database (insert or update) and ends the edit.
    virtual void Update() = 0;
    /// Drops the pending change; a new row is discarded.
    virtual void CancelUpdate() = 0;

    /// ADO filter text ("TMP_IMG_SEL = 1", "ID_PADRE = NULL AND (A = 2 OR A = 4)");
    /// an empty text removes the filter. The position moves to the first visible row.
    virtual void SetFilter(std::string_view filter) = 0;
    [[nodiscard]] virtual std::string Filter() const = 0;
    /// Sort keys, e.g. "LIVELLO DESC, IE91_ID"; empty restores the query's order.
    virtual void SetSort(std::string_view sort) = 0;
    [[nodiscard]] virtual std::string Sort() const = 0;

    /// A new recordset over the same rows, with its own filter, sort and position.
    [[nodiscard]] virtual std::shared_ptr<Recordset> Clone() = 0;
    /// Runs the query again; filter and sort stay, the position returns to the first row.
    virtual void Requery() = 0;

    /// Dynamic properties; "Unique Table" names the one table that updates of joined rows go to.
    virtual void SetProperty(std::string_view name, const Variant& value) = 0;
    [[nodiscard]] virtual Variant Property(std::string_view name) const = 0;
};

} // namespace kvad
