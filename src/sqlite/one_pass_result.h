#pragma once
// The result of a one-pass query: rows read once into memory, positioned on the first row,
// reporting their count; read-only.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kvad_nso/recordset.h"
#include "row_cursor.h"
#include "row_set.h"

namespace kvad::db {

class SqliteConnection;

/// A read-only recordset over rows in memory. It can be requeried (the query runs again);
/// filter, sort and clone are not supported (VbError 3251), nor are updates (VbError 3251).
class OnePassResult final : public Recordset {
  public:
    /// Null rows give a closed recordset (the statement returned no rows).
    OnePassResult(std::shared_ptr<SqliteConnection> connection, std::string source,
                  std::shared_ptr<const RowSet> rows);

    [[nodiscard]] bool IsOpen() const override { return rows_ != nullptr; }
    void Close() override { rows_.reset(); }

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
    void CancelUpdate() override {}

    void SetFilter(std::string_view filter) override;
    [[nodiscard]] std::string Filter() const override { return {}; }
    void SetSort(std::string_view sort) override;
    [[nodiscard]] std::string Sort() const override { return {}; }
    [[nodiscard]] std::shared_ptr<Recordset> Clone() override;
    void Requery() override;
    void SetProperty(std::string_view name, const Variant& value) override;
    [[nodiscard]] Variant Property(std::string_view name) const override;

  private:
    [[nodiscard]] const RowSet& Rows() const;
    [[nodiscard]] std::size_t Count() const { return Rows().rows.size(); }

    std::shared_ptr<SqliteConnection> connection_;
    std::string source_;
    std::shared_ptr<const RowSet> rows_;
    RowCursor cursor_;
};

} // namespace kvad::db
