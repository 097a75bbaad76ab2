#pragma once
// A working recordset: a client-side cursor over rows in memory that clones share, each clone
// with its own filter, sort and position, updated row by row through to the base tables.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ado_filter.h"
#include "kvad_nso/recordset.h"
#include "row_cursor.h"
#include "row_set.h"
#include "row_writer.h"
#include "sort_keys.h"

namespace kvad::db {

class SqliteConnection;

/// An updatable recordset tied to the connection that holds its temporary tables.
class WorkingRecordset final : public Recordset {
  public:
    /// `rows` null gives a closed recordset (the statement returned no rows).
    WorkingRecordset(std::shared_ptr<SqliteConnection> connection, std::string source,
                     std::shared_ptr<RowSet> rows);

    [[nodiscard]] bool IsOpen() const override { return rows_ != nullptr; }
    void Close() override;

    [[nodiscard]] long RecordCount() const override;
    [[nodiscard]] long AbsolutePosition() const override;
    void SetAbsolutePosition(long position) override;
    [[nodiscard]] bool Bof() const override;
    [[nodiscard]] bool Eof() const override;
    void MoveFirst() override;
    void MoveNext() override;
    void MovePrevious() override;
    void MoveLast() override;

    [[nodiscard]] int FieldCount() const override;
    [[nodiscard]] std::string FieldName(int index) const override;
    [[nodiscard]] bool HasField(std::string_view name) const override;
    [[nodiscard]] Variant Value(std::string_view name) const override;
    [[nodiscard]] Variant Value(int index) const override;

    void SetValue(std::string_view name, const Variant& value) override;
    void AddNew() override;
    void Update() override;
    void CancelUpdate() override;

    void SetFilter(std::string_view filter) override;
    [[nodiscard]] std::string Filter() const override { return filterText_; }
    void SetSort(std::string_view sort) override;
    [[nodiscard]] std::string Sort() const override { return sortText_; }
    [[nodiscard]] std::shared_ptr<Recordset> Clone() override;
    void Requery() override;
    void SetProperty(std::string_view name, const Variant& value) override;
    [[nodiscard]] Variant Property(std::string_view name) const override;

  private:
    enum class EditMode { None, Editing, Adding };

    [[nodiscard]] RowSet& Rows() const;
    [[nodiscard]] std::size_t Count() const;
    [[nodiscard]] int ColumnIndex(std::string_view name) const;
    [[nodiscard]] int CheckedIndex(int index) const;
    /// The current row's index in the shared rows; throws VbError 3021 when there is none.
    [[nodiscard]] std::size_t CurrentRow() const;
    /// Writes a pending edit before the position changes, as ADO does.
    void FlushEdit();
    /// Reads back a row inserted here that was not read back yet (see InsertRow).
    void ReadBack(Row& row) const;
    /// The same for every such row, before a filter or a sort reads them all.
    void ReadBackAll() const;
    /// The visible rows under a filter and sort, in order (nullopt: all rows, query order).
    [[nodiscard]] static std::optional<std::vector<std::size_t>>
    BuildView(const RowSet& rows, const std::optional<AdoFilter>& filter,
              const std::vector<SortKey>& sort);

    std::shared_ptr<SqliteConnection> connection_;
    std::string source_;
    std::shared_ptr<RowSet> rows_;
    std::string filterText_;
    std::string sortText_;
    std::optional<AdoFilter> filter_;
    std::vector<SortKey> sort_;
    std::optional<std::vector<std::size_t>> view_;
    RowCursor cursor_;
    EditMode mode_ = EditMode::None;
    ColumnValues pending_;
    Row newRow_;
    RowCursor beforeAdd_;
};

} // namespace kvad::db
