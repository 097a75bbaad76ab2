#include "working_recordset.h"

#include <algorithm>
#include <span>

#include "quote_identifier.h"
#include "recordset_errors.h"
#include "row_writer.h"
#include "sqlite_connection.h"

namespace kvad::db {

namespace {

constexpr std::string_view kUniqueTable = "Unique Table";

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

} // namespace

WorkingRecordset::WorkingRecordset(std::shared_ptr<SqliteConnection> connection, std::string source,
                                   std::shared_ptr<RowSet> rows)
    : connection_(std::move(connection)), source_(std::move(source)), rows_(std::move(rows)) {
    if (rows_) {
        cursor_.Reset(Count());
    }
}

RowSet& WorkingRecordset::Rows() const {
    if (!rows_) {
        ThrowClosed();
    }
    return *rows_;
}

std::size_t WorkingRecordset::Count() const {
    return view_ ? view_->size() : Rows().rows.size();
}

int WorkingRecordset::ColumnIndex(std::string_view name) const {
    const auto column = Rows().FindColumn(name);
    if (!column) {
        ThrowItemNotFound();
    }
    return *column;
}

int WorkingRecordset::CheckedIndex(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= Rows().columns.size()) {
        ThrowItemNotFound();
    }
    return index;
}

std::size_t WorkingRecordset::CurrentRow() const {
    const auto current = cursor_.Current(Count());
    if (!current) {
        ThrowNoCurrentRecord();
    }
    return view_ ? (*view_)[*current] : *current;
}

void WorkingRecordset::Close() {
    mode_ = EditMode::None;
    pending_.clear();
    rows_.reset();
    view_.reset();
    filter_.reset();
    sort_.clear();
}

long WorkingRecordset::RecordCount() const {
    return static_cast<long>(Count());
}

long WorkingRecordset::AbsolutePosition() const {
    if (mode_ == EditMode::Adding) {
        (void)Rows();
        return kPosUnknown;
    }
    return cursor_.AbsolutePosition(Count());
}

void WorkingRecordset::SetAbsolutePosition(long position) {
    (void)Rows();
    FlushEdit();
    if (position < 1 || static_cast<std::size_t>(position) > Count()) {
        ThrowBadArguments();
    }
    cursor_.MoveTo(static_cast<std::size_t>(position - 1));
}

bool WorkingRecordset::Bof() const {
    return mode_ != EditMode::Adding && cursor_.Bof(Count());
}

bool WorkingRecordset::Eof() const {
    return mode_ != EditMode::Adding && cursor_.Eof(Count());
}

void WorkingRecordset::FlushEdit() {
    if (mode_ != EditMode::None) {
        Update();
    }
}

void WorkingRecordset::MoveFirst() {
    (void)Rows();
    FlushEdit();
    cursor_.MoveFirst(Count());
}

void WorkingRecordset::MoveNext() {
    (void)Rows();
    FlushEdit();
    cursor_.MoveNext(Count());
}

void WorkingRecordset::MovePrevious() {
    (void)Rows();
    FlushEdit();
    cursor_.MovePrevious(Count());
}

void WorkingRecordset::MoveLast() {
    (void)Rows();
    FlushEdit();
    cursor_.MoveLast(Count());
}

int WorkingRecordset::FieldCount() const {
    return static_cast<int>(Rows().columns.size());
}

std::string WorkingRecordset::FieldName(int index) const {
    return Rows().columns[static_cast<std::size_t>(CheckedIndex(index))].name;
}

bool WorkingRecordset::HasField(std::string_view name) const {
    return Rows().FindColumn(name).has_value();
}

Variant WorkingRecordset::Value(std::string_view name) const {
    return Value(ColumnIndex(name));
}

Variant WorkingRecordset::Value(int index) const {
    const auto column = static_cast<std::size_t>(CheckedIndex(index));
    if (mode_ == EditMode::Adding) {
        return newRow_.values[column];
    }
    const std::size_t row = CurrentRow();
    if (mode_ == EditMode::Editing) {
        const auto pending = pending_.find(index);
        if (pending != pending_.end()) {
            return pending->second;
        }
    }
    Row& stored = rows_->rows[row];
    if (NeedsReadBack(*rows_, stored, column)) {
        ReadBack(stored);
    }
    return rows_->ValueOf(stored, column);
}

void WorkingRecordset::ReadBack(Row& row) const {
    if (row.rollbacksAtInsert != connection_->Rollbacks()) {
        row.unreadTables = 0; // rolled back since: its rowid may now be another row's
        return;
    }
    connection_->Guarded({}, [&] { ReadBackInserted(connection_->Statements(), *rows_, row); });
}

void WorkingRecordset::ReadBackAll() const {
    for (Row& row : Rows().rows) {
        if (row.unreadTables != 0) {
            ReadBack(row);
        }
    }
}

void WorkingRecordset::SetValue(std::string_view name, const Variant& value) {
    const int column = ColumnIndex(name);
    if (mode_ == EditMode::Adding) {
        newRow_.Set(static_cast<std::size_t>(column), value.IsEmpty() ? Variant::Null() : value);
        pending_[column] = value;
        return;
    }
    (void)CurrentRow();
    mode_ = EditMode::Editing;
    pending_[column] = value;
}

void WorkingRecordset::AddNew() {
    RowSet& rows = Rows();
    FlushEdit();
    beforeAdd_ = cursor_;
    newRow_ = Row{};
    newRow_.values.assign(rows.columns.size(), Variant::Null());
    newRow_.rowids.resize(rows.tables.size());
    pending_.clear();
    mode_ = EditMode::Adding;
}

void WorkingRecordset::Update() {
    RowSet& rows = Rows();
    switch (mode_) {
    case EditMode::None:
        return;
    case EditMode::Editing: {
        Row& row = rows.rows[CurrentRow()];
        if (row.unreadTables != 0) {
            ReadBack(row);
        }
        connection_->Guarded(
            {}, [&] { WriteRowChanges(connection_->Statements(), rows, row, pending_); });
        break;
    }
    case EditMode::Adding: {
        connection_->Guarded(
            {}, [&] { InsertRow(connection_->Statements(), rows, newRow_, pending_, false); });
        newRow_.rollbacksAtInsert = connection_->Rollbacks();
        rows.rows.push_back(std::move(newRow_));
        rows.NoteEdit();
        const std::size_t stored = rows.rows.size() - 1;
        // The new row stays visible here whatever the filter, as in ADO.
        if (view_) {
            view_->push_back(stored);
        }
        cursor_.MoveTo(view_ ? view_->size() - 1 : stored);
        break;
    }
    }
    mode_ = EditMode::None;
    pending_.clear();
}

void WorkingRecordset::CancelUpdate() {
    (void)Rows();
    if (mode_ == EditMode::Adding) {
        cursor_ = beforeAdd_;
    }
    mode_ = EditMode::None;
    pending_.clear();
}

std::optional<std::vector<std::size_t>>
WorkingRecordset::BuildView(const RowSet& rows, const std::optional<AdoFilter>& filter,
                            const std::vector<SortKey>& sort) {
    if (!filter && sort.empty()) {
        return std::nullopt;
    }
    std::vector<std::size_t> view;
    view.reserve(rows.rows.size());
    // Long values kept out of the rows are read back for the fields the filter or sort uses.
    const std::vector<int> filtered = filter ? filter->Columns() : std::vector<int>{};
    std::vector<int> sorted;
    sorted.reserve(sort.size());
    for (const SortKey& key : sort) {
        sorted.push_back(key.column);
    }
    std::vector<const Variant*> values;
    std::vector<const Variant*> other;
    std::vector<Variant> longValues;
    std::vector<Variant> otherLongValues;
    // A filter that first compares a field with a text reads only the rows holding that text:
    // the others fail that comparison without reading the rest of the filter.
    std::optional<std::span<const std::uint32_t>> candidates;
    if (filter) {
        if (const auto leading = filter->LeadingTextMatch()) {
            candidates =
                rows.RowsWithText(static_cast<std::size_t>(leading->first), leading->second);
        }
    }
    if (candidates) {
        for (const std::uint32_t i : *candidates) {
            rows.ValuesFor(rows.rows[i], filtered, values, longValues);
            if (filter->Matches(values)) {
                view.push_back(i);
            }
        }
    } else if (filter) {
        for (std::size_t i = 0; i < rows.rows.size(); ++i) {
            rows.ValuesFor(rows.rows[i], filtered, values, longValues);
            if (filter->Matches(values)) {
                view.push_back(i);
            }
        }
    } else {
        for (std::size_t i = 0; i < rows.rows.size(); ++i) {
            view.push_back(i);
        }
    }
    if (!sort.empty()) {
        std::stable_sort(view.begin(), view.end(), [&](std::size_t a, std::size_t b) {
            rows.ValuesFor(rows.rows[a], sorted, values, longValues);
            rows.ValuesFor(rows.rows[b], sorted, other, otherLongValues);
            return SortsBefore(sort, values, other);
        });
    }
    return view;
}

void WorkingRecordset::SetFilter(std::string_view filter) {
    const RowSet& rows = Rows();
    FlushEdit();
    ReadBackAll();
    std::optional<AdoFilter> parsed;
    if (!IsBlank(filter)) {
        parsed = AdoFilter::Parse(filter, rows);
    }
    auto view = BuildView(rows, parsed, sort_);
    filter_ = std::move(parsed);
    filterText_ = IsBlank(filter) ? std::string() : std::string(filter);
    view_ = std::move(view);
    cursor_.Reset(Count());
}

void WorkingRecordset::SetSort(std::string_view sort) {
    const RowSet& rows = Rows();
    FlushEdit();
    ReadBackAll();
    std::vector<SortKey> keys = ParseSortKeys(sort, rows);
    auto view = BuildView(rows, filter_, keys);
    sort_ = std::move(keys);
    sortText_ = IsBlank(sort) ? std::string() : std::string(sort);
    view_ = std::move(view);
    cursor_.Reset(Count());
}

std::shared_ptr<Recordset> WorkingRecordset::Clone() {
    (void)Rows();
    return std::make_shared<WorkingRecordset>(connection_, source_, rows_);
}

void WorkingRecordset::Requery() {
    (void)Rows();
    FlushEdit();
    auto fresh = connection_->LoadRows(source_, true);
    if (!fresh) {
        Close();
        return;
    }
    // The clones keep the rows they had: a requery gives this recordset rows of its own.
    if (!rows_->uniqueTableName.empty()) {
        fresh->uniqueTable = fresh->FindTable(rows_->uniqueTableName);
        fresh->uniqueTableName = rows_->uniqueTableName;
    }
    std::optional<AdoFilter> filter;
    if (!filterText_.empty()) {
        filter = AdoFilter::Parse(filterText_, *fresh);
    }
    std::vector<SortKey> sort = ParseSortKeys(sortText_, *fresh);
    auto view = BuildView(*fresh, filter, sort);
    rows_ = std::move(fresh);
    filter_ = std::move(filter);
    sort_ = std::move(sort);
    view_ = std::move(view);
    cursor_.Reset(Count());
}

void WorkingRecordset::SetProperty(std::string_view name, const Variant& value) {
    RowSet& rows = Rows();
    if (!EqualsNoCase(name, kUniqueTable)) {
        ThrowItemNotFound();
    }
    const std::string table = Trim(value.Text());
    if (table.empty()) {
        rows.uniqueTable = -1;
        rows.uniqueTableName.clear();
        return;
    }
    const int index = rows.FindTable(table);
    if (index < 0) {
        ThrowBadArguments();
    }
    rows.uniqueTable = index;
    rows.uniqueTableName = table;
}

Variant WorkingRecordset::Property(std::string_view name) const {
    const RowSet& rows = Rows();
    if (!EqualsNoCase(name, kUniqueTable)) {
        ThrowItemNotFound();
    }
    return Variant(rows.uniqueTableName);
}

} // namespace kvad::db
