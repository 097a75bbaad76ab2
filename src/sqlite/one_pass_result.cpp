#include "one_pass_result.h"

#include "recordset_errors.h"
#include "sqlite_connection.h"

namespace kvad::db {

OnePassResult::OnePassResult(std::shared_ptr<SqliteConnection> connection, std::string source,
                             std::shared_ptr<const RowSet> rows)
    : connection_(std::move(connection)), source_(std::move(source)), rows_(std::move(rows)) {
    if (rows_) {
        cursor_.Reset(rows_->rows.size());
    }
}

const RowSet& OnePassResult::Rows() const {
    if (!rows_) {
        ThrowClosed();
    }
    return *rows_;
}

long OnePassResult::RecordCount() const {
    return static_cast<long>(Count());
}
long OnePassResult::AbsolutePosition() const {
    return cursor_.AbsolutePosition(Count());
}
void OnePassResult::SetAbsolutePosition(long position) {
    if (position < 1 || static_cast<std::size_t>(position) > Count()) {
        ThrowBadArguments();
    }
    cursor_.MoveTo(static_cast<std::size_t>(position - 1));
}
bool OnePassResult::Bof() const {
    return cursor_.Bof(Count());
}
bool OnePassResult::Eof() const {
    return cursor_.Eof(Count());
}
void OnePassResult::MoveFirst() {
    cursor_.MoveFirst(Count());
}
void OnePassResult::MoveNext() {
    cursor_.MoveNext(Count());
}
void OnePassResult::MovePrevious() {
    cursor_.MovePrevious(Count());
}
void OnePassResult::MoveLast() {
    cursor_.MoveLast(Count());
}

int OnePassResult::FieldCount() const {
    return static_cast<int>(Rows().columns.size());
}

std::string OnePassResult::FieldName(int index) const {
    const RowSet& rows = Rows();
    if (index < 0 || static_cast<std::size_t>(index) >= rows.columns.size()) {
        ThrowItemNotFound();
    }
    return rows.columns[static_cast<std::size_t>(index)].name;
}

bool OnePassResult::HasField(std::string_view name) const {
    return Rows().FindColumn(name).has_value();
}

Variant OnePassResult::Value(std::string_view name) const {
    const auto column = Rows().FindColumn(name);
    if (!column) {
        ThrowItemNotFound();
    }
    return Value(*column);
}

Variant OnePassResult::Value(int index) const {
    const RowSet& rows = Rows();
    if (index < 0 || static_cast<std::size_t>(index) >= rows.columns.size()) {
        ThrowItemNotFound();
    }
    const auto current = cursor_.Current(rows.rows.size());
    if (!current) {
        ThrowNoCurrentRecord();
    }
    return rows.ValueOf(rows.rows[*current], static_cast<std::size_t>(index));
}

void OnePassResult::SetValue(std::string_view /*name*/, const Variant& /*value*/) {
    (void)Rows();
    ThrowNotUpdatable();
}

void OnePassResult::AddNew() {
    (void)Rows();
    ThrowNotUpdatable();
}

void OnePassResult::Update() {
    (void)Rows();
    ThrowNotUpdatable();
}

void OnePassResult::SetFilter(std::string_view /*filter*/) {
    (void)Rows();
    ThrowNotSupported();
}

void OnePassResult::SetSort(std::string_view /*sort*/) {
    (void)Rows();
    ThrowNotSupported();
}

std::shared_ptr<Recordset> OnePassResult::Clone() {
    (void)Rows();
    ThrowNotSupported();
}

void OnePassResult::Requery() {
    (void)Rows();
    rows_ = connection_->QueryRows(source_);
    if (rows_) {
        cursor_.Reset(rows_->rows.size());
    }
}

void OnePassResult::SetProperty(std::string_view /*name*/, const Variant& /*value*/) {
    (void)Rows();
    ThrowNotSupported();
}

Variant OnePassResult::Property(std::string_view /*name*/) const {
    (void)Rows();
    ThrowItemNotFound();
}

} // namespace kvad::db
