// The recordset of the server database: the rows of a result held on the client, shared by
// clones, with ADO's filters and sorts evaluated here and updates written back row by row to the
// base table by its primary key.
#include <algorithm>
#include <cctype>
#include <map>
#include <utility>

#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "pg_connection.h"

namespace kvad::db {

namespace {

[[noreturn]] void WrongArguments() {
    throw VbError(3001, "Arguments are of the wrong type, are out of acceptable range, or are in "
                        "conflict with one another.");
}

[[noreturn]] void NoCurrentRecord() {
    throw VbError(3021, "Either BOF or EOF is True, or the current record has been deleted. "
                        "Requested operation requires a current record.");
}

[[noreturn]] void UnknownField(std::string_view name) {
    throw VbError(3265, "Item cannot be found in the collection corresponding to the requested "
                        "name or ordinal (" +
                            std::string(name) + ").");
}

// Orders two values as ADO's sort does: Null first, numbers by value, text without case, dates
// by time.
int CompareNulls(const Variant& a, const Variant& b) {
    const bool aNull = a.IsNull() || a.IsEmpty();
    const bool bNull = b.IsNull() || b.IsEmpty();
    return aNull == bNull ? 0 : (aNull ? -1 : 1);
}

int CompareValues(const Variant& a, const Variant& b) {
    if (a.IsNull() || a.IsEmpty() || b.IsNull() || b.IsEmpty()) {
        return CompareNulls(a, b);
    }
    if (a.IsNumber() && b.IsNumber()) {
        const Decimal x = a.ToDecimal();
        const Decimal y = b.ToDecimal();
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    if (a.Type() == VarType::Date && b.Type() == VarType::Date) {
        const std::string x = a.ToDate().ToIso();
        const std::string y = b.ToDate().ToIso();
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    if (a.IsNumber() && b.AsString() != nullptr) {
        return CompareValues(a, Variant(b.ToDecimal()));
    }
    const int order = CompareNoCase(a.Text(), b.Text());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// A filter text parsed: comparisons of a field with a literal joined by AND and OR, grouped by
// parentheses ("ID_PADRE = NULL AND (A = 2 OR A = 4)").
class RowFilter {
  public:
    RowFilter(std::string_view text, const PgRows& rows) : text_(text), rows_(rows) {
        root_ = ParseOr(0);
        Skip();
        if (at_ != text_.size()) {
            WrongArguments();
        }
    }
    [[nodiscard]] bool Matches(const std::vector<Variant>& row) const { return Eval(root_, row); }

  private:
    struct Node {
        enum class Kind { Compare, And, Or } kind = Kind::Compare;
        int column = -1;
        std::string op;
        Variant literal;
        std::vector<int> operands;
    };

    void Skip() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_])) != 0) {
            ++at_;
        }
    }
    bool Word(std::string_view word) {
        Skip();
        if (text_.size() - at_ >= word.size() &&
            EqualsNoCase(text_.substr(at_, word.size()), word) &&
            (at_ + word.size() == text_.size() ||
             std::isalnum(static_cast<unsigned char>(text_[at_ + word.size()])) == 0)) {
            at_ += word.size();
            return true;
        }
        return false;
    }
    int ParseOr(int depth) {
        if (depth > 100) {
            WrongArguments();
        }
        Node node;
        node.kind = Node::Kind::Or;
        node.operands.push_back(ParseAnd(depth));
        while (Word("OR")) {
            node.operands.push_back(ParseAnd(depth));
        }
        return Add(std::move(node));
    }
    int ParseAnd(int depth) {
        Node node;
        node.kind = Node::Kind::And;
        node.operands.push_back(ParseTerm(depth));
        while (Word("AND")) {
            node.operands.push_back(ParseTerm(depth));
        }
        return Add(std::move(node));
    }
    int ParseTerm(int depth) {
        Skip();
        if (at_ < text_.size() && text_[at_] == '(') {
            ++at_;
            const int inner = ParseOr(depth + 1);
            Skip();
            if (at_ >= text_.size() || text_[at_] != ')') {
                WrongArguments();
            }
            ++at_;
            return inner;
        }
        Node node;
        node.column = ParseField();
        node.op = ParseOp();
        node.literal = ParseLiteral();
        return Add(std::move(node));
    }
    int ParseField() {
        Skip();
        std::string name;
        if (at_ < text_.size() && text_[at_] == '[') {
            const std::size_t end = text_.find(']', at_);
            if (end == std::string_view::npos) {
                WrongArguments();
            }
            name = std::string(text_.substr(at_ + 1, end - at_ - 1));
            at_ = end + 1;
        } else {
            while (
                at_ < text_.size() &&
                (std::isalnum(static_cast<unsigned char>(text_[at_])) != 0 || text_[at_] == '_')) {
                name.push_back(text_[at_++]);
            }
        }
        if (name.empty()) {
            WrongArguments();
        }
        const auto column = rows_.Find(name);
        if (!column) {
            UnknownField(name);
        }
        return *column;
    }
    std::string ParseOp() {
        Skip();
        for (const std::string_view op : {"<=", ">=", "<>", "=", "<", ">"}) {
            if (text_.substr(at_, op.size()) == op) {
                at_ += op.size();
                return std::string(op);
            }
        }
        if (Word("LIKE")) {
            return "LIKE";
        }
        WrongArguments();
    }
    Variant ParseLiteral() {
        Skip();
        if (at_ >= text_.size()) {
            WrongArguments();
        }
        if (text_[at_] == '\'') {
            return ParseText();
        }
        if (text_[at_] == '#') {
            return ParseDate();
        }
        if (Word("NULL")) {
            return Variant::Null();
        }
        if (Word("TRUE")) {
            return Variant(true);
        }
        if (Word("FALSE")) {
            return Variant(false);
        }
        const std::size_t start = at_;
        while (at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) != 0 ||
                                      text_[at_] == '.' || text_[at_] == '-')) {
            ++at_;
        }
        const auto number = Decimal::Parse(text_.substr(start, at_ - start));
        if (!number) {
            WrongArguments();
        }
        return Variant(*number);
    }
    // 'text' with doubled quotes.
    Variant ParseText() {
        std::string value;
        for (++at_; at_ < text_.size(); ++at_) {
            if (text_[at_] != '\'') {
                value.push_back(text_[at_]);
            } else if (at_ + 1 < text_.size() && text_[at_ + 1] == '\'') {
                value.push_back('\'');
                ++at_;
            } else {
                ++at_;
                return Variant(value);
            }
        }
        WrongArguments();
    }
    // #date#
    Variant ParseDate() {
        const std::size_t end = text_.find('#', at_ + 1);
        if (end == std::string_view::npos) {
            WrongArguments();
        }
        const auto date = DateTime::Parse(text_.substr(at_ + 1, end - at_ - 1));
        if (!date) {
            WrongArguments();
        }
        at_ = end + 1;
        return Variant(*date);
    }
    int Add(Node node) {
        nodes_.push_back(std::move(node));
        return static_cast<int>(nodes_.size()) - 1;
    }
    static bool Like(std::string_view text, std::string_view pattern) {
        if (pattern.empty()) {
            return text.empty();
        }
        if (pattern.front() == '*' || pattern.front() == '%') {
            for (std::size_t skip = 0; skip <= text.size(); ++skip) {
                if (Like(text.substr(skip), pattern.substr(1))) {
                    return true;
                }
            }
            return false;
        }
        return !text.empty() && AsciiLower(text.front()) == AsciiLower(pattern.front()) &&
               Like(text.substr(1), pattern.substr(1));
    }
    [[nodiscard]] bool Eval(int index, const std::vector<Variant>& row) const {
        const Node& node = nodes_[static_cast<std::size_t>(index)];
        if (node.kind == Node::Kind::And) {
            return std::all_of(node.operands.begin(), node.operands.end(),
                               [&](int operand) { return Eval(operand, row); });
        }
        if (node.kind == Node::Kind::Or) {
            return std::any_of(node.operands.begin(), node.operands.end(),
                               [&](int operand) { return Eval(operand, row); });
        }
        const Variant& value = row[static_cast<std::size_t>(node.column)];
        if (node.literal.IsNull()) {
            const bool isNull = value.IsNull() || value.IsEmpty();
            return node.op == "=" ? isNull : !isNull;
        }
        if (value.IsNull() || value.IsEmpty()) {
            return false;
        }
        if (node.op == "LIKE") {
            return Like(value.Text(), node.literal.Text());
        }
        const int order = CompareValues(value, node.literal);
        return (node.op == "=" && order == 0) || (node.op == "<>" && order != 0) ||
               (node.op == "<" && order < 0) || (node.op == ">" && order > 0) ||
               (node.op == "<=" && order <= 0) || (node.op == ">=" && order >= 0);
    }

    std::string_view text_;
    const PgRows& rows_;
    std::size_t at_ = 0;
    std::vector<Node> nodes_;
    int root_ = -1;
};

struct SortKey {
    int column = -1;
    bool descending = false;
};

std::vector<SortKey> ParseSort(std::string_view text, const PgRows& rows) {
    std::vector<SortKey> keys;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string part = Trim(text.substr(start, end - start));
        start = end + 1;
        if (part.empty()) {
            if (end == text.size() && keys.empty()) {
                break;
            }
            WrongArguments();
        }
        SortKey key;
        const std::size_t blank = part.find(' ');
        if (blank != std::string::npos) {
            const std::string direction = Trim(part.substr(blank + 1));
            if (EqualsNoCase(direction, "DESC")) {
                key.descending = true;
            } else if (!EqualsNoCase(direction, "ASC")) {
                WrongArguments();
            }
            part.resize(blank);
        }
        if (part.size() > 1 && part.front() == '[' && part.back() == ']') {
            part = part.substr(1, part.size() - 2);
        }
        const auto column = rows.Find(part);
        if (!column) {
            UnknownField(part);
        }
        key.column = *column;
        keys.push_back(key);
        if (end == text.size()) {
            break;
        }
    }
    return keys;
}

class PgRecordset final : public Recordset {
  public:
    PgRecordset(std::shared_ptr<PgConnection> connection, std::shared_ptr<PgRows> rows,
                std::string tsql, bool updatable)
        : connection_(std::move(connection)), rows_(std::move(rows)), tsql_(std::move(tsql)),
          updatable_(updatable) {
        Rebuild();
    }

    [[nodiscard]] bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    void RequireOpen() const {
        if (!open_) {
            throw VbError(3704, "Operation is not allowed when the object is closed.");
        }
    }
    [[nodiscard]] long RecordCount() const override {
        RequireOpen();
        return static_cast<long>(visible_.size());
    }
    [[nodiscard]] long AbsolutePosition() const override {
        if (visible_.empty()) {
            return kPosUnknown;
        }
        if (position_ < 0) {
            return kPosBOF;
        }
        if (position_ >= static_cast<long>(visible_.size())) {
            return kPosEOF;
        }
        return position_ + 1;
    }
    void SetAbsolutePosition(long position) override {
        if (position < 1 || position > RecordCount()) {
            WrongArguments();
        }
        Move(position - 1);
    }
    [[nodiscard]] bool Bof() const override {
        RequireOpen();
        return visible_.empty() || position_ < 0;
    }
    [[nodiscard]] bool Eof() const override {
        RequireOpen();
        return visible_.empty() || position_ >= static_cast<long>(visible_.size());
    }
    void MoveFirst() override { Move(0); }
    void MoveNext() override {
        RequireOpen();
        if (Eof()) {
            NoCurrentRecord();
        }
        Move(position_ + 1);
    }
    void MovePrevious() override {
        RequireOpen();
        if (Bof()) {
            NoCurrentRecord();
        }
        Move(position_ - 1);
    }
    void MoveLast() override { Move(static_cast<long>(visible_.size()) - 1); }

    [[nodiscard]] int FieldCount() const override {
        RequireOpen();
        return static_cast<int>(rows_->columns.size());
    }
    [[nodiscard]] std::string FieldName(int index) const override {
        return rows_->columns.at(static_cast<std::size_t>(index)).name;
    }
    [[nodiscard]] bool HasField(std::string_view name) const override {
        return rows_->Find(name).has_value();
    }
    [[nodiscard]] Variant Value(std::string_view name) const override {
        const auto column = rows_->Find(name);
        if (!column) {
            UnknownField(name);
        }
        return Value(*column);
    }
    [[nodiscard]] Variant Value(int index) const override {
        RequireOpen();
        if (index < 0 || index >= FieldCount()) {
            UnknownField(std::to_string(index));
        }
        if (pending_) {
            if (auto changed = pending_->find(index); changed != pending_->end()) {
                return changed->second;
            }
            if (adding_) {
                return Variant::Null();
            }
        }
        return CurrentRow()[static_cast<std::size_t>(index)];
    }

    void SetValue(std::string_view name, const Variant& value) override {
        RequireOpen();
        RequireUpdatable();
        const auto column = rows_->Find(name);
        if (!column) {
            UnknownField(name);
        }
        if (!pending_) {
            (void)CurrentRow();
            pending_.emplace();
        }
        (*pending_)[*column] = value;
    }
    void AddNew() override {
        RequireOpen();
        RequireUpdatable();
        pending_.emplace();
        adding_ = true;
    }
    void Update() override;
    void CancelUpdate() override {
        pending_.reset();
        adding_ = false;
    }

    void SetFilter(std::string_view filter) override {
        RequireOpen();
        filterText_ = std::string(filter);
        filter_.reset();
        if (!Trim(filter).empty()) {
            filter_ = std::make_shared<RowFilter>(filterText_, *rows_);
        }
        Rebuild();
    }
    [[nodiscard]] std::string Filter() const override { return filterText_; }
    void SetSort(std::string_view sort) override {
        RequireOpen();
        keys_ = ParseSort(sort, *rows_);
        sortText_ = std::string(sort);
        Rebuild();
    }
    [[nodiscard]] std::string Sort() const override { return sortText_; }

    [[nodiscard]] std::shared_ptr<Recordset> Clone() override {
        RequireOpen();
        RequireUpdatable();
        // A clone shares the rows and what they are written to ("Unique Table").
        auto clone = std::make_shared<PgRecordset>(connection_, rows_, tsql_, updatable_);
        clone->properties_ = properties_;
        return clone;
    }
    void Requery() override {
        auto fresh = connection_->Query(tsql_);
        auto* same = dynamic_cast<PgRecordset*>(fresh.get());
        rows_ = same->rows_;
        if (!filterText_.empty()) {
            filter_ = std::make_shared<RowFilter>(filterText_, *rows_);
        }
        Rebuild();
    }

    void SetProperty(std::string_view name, const Variant& value) override {
        properties_[AsciiUpper(name)] = value;
    }
    [[nodiscard]] Variant Property(std::string_view name) const override {
        const auto found = properties_.find(AsciiUpper(name));
        return found == properties_.end() ? Variant() : found->second;
    }

  private:
    void RequireUpdatable() const {
        if (!updatable_) {
            throw VbError(3251, "Current Recordset does not support updating. This may be a "
                                "limitation of the provider, or of the selected locktype.");
        }
    }
    [[nodiscard]] const std::vector<Variant>& CurrentRow() const {
        if (Bof() || Eof()) {
            NoCurrentRecord();
        }
        return rows_->rows[visible_[static_cast<std::size_t>(position_)]];
    }
    void Move(long position) {
        pending_.reset();
        adding_ = false;
        position_ = position;
    }
    void Rebuild() {
        visible_.clear();
        for (std::size_t i = 0; i < rows_->rows.size(); ++i) {
            if (!filter_ || filter_->Matches(rows_->rows[i])) {
                visible_.push_back(i);
            }
        }
        if (!keys_.empty()) {
            std::stable_sort(visible_.begin(), visible_.end(), [&](std::size_t a, std::size_t b) {
                for (const SortKey& key : keys_) {
                    const auto column = static_cast<std::size_t>(key.column);
                    const int order = CompareValues(rows_->rows[a][column], rows_->rows[b][column]);
                    if (order != 0) {
                        return key.descending ? order > 0 : order < 0;
                    }
                }
                return false;
            });
        }
        Move(0);
    }
    /// The base table updates go to: "Unique Table" when set, else the one table of the
    /// changed columns.
    [[nodiscard]] Oid TargetTable() const;
    std::string InsertSql(Oid table, const std::vector<int>& written,
                          std::vector<std::optional<std::string>>& params);
    /// Empty when no column of the table changed.
    std::string UpdateWithoutKeySql(Oid table, const std::string& sets,
                                    std::vector<std::optional<std::string>>& params);
    std::string UpdateSql(Oid table, const std::vector<int>& written,
                          std::vector<std::optional<std::string>>& params);
    /// Keeps the written row in the rows as the database returned it.
    void TakeStored(Oid table, PGresult* result);

    std::shared_ptr<PgConnection> connection_;
    std::shared_ptr<PgRows> rows_;
    std::string tsql_;
    bool updatable_ = false;
    bool open_ = true;
    std::vector<std::size_t> visible_;
    long position_ = 0;
    std::string filterText_;
    std::shared_ptr<RowFilter> filter_;
    std::string sortText_;
    std::vector<SortKey> keys_;
    std::optional<std::map<int, Variant>> pending_;
    bool adding_ = false;
    std::map<std::string, Variant> properties_;
};

Oid PgRecordset::TargetTable() const {
    const Variant unique = Property("Unique Table");
    if (!unique.IsEmpty() && !unique.IsNull()) {
        const std::string wanted = unique.Text();
        for (const PgRows::Column& column : rows_->columns) {
            if (column.table != 0 && EqualsNoCase(Trim(connection_->TableName(column.table)),
                                                  PostgresTableName(wanted))) {
                return column.table;
            }
        }
    }
    Oid table = 0;
    for (const auto& [index, value] : *pending_) {
        const Oid of = rows_->columns[static_cast<std::size_t>(index)].table;
        if (of != 0) {
            if (table != 0 && of != table) {
                throw VbError(3251, "the changed fields come from more than one table: set "
                                    "\"Unique Table\" to the one to update");
            }
            table = of;
        }
    }
    if (table == 0) {
        throw VbError(3251, "Insufficient base table information for updating or refreshing.");
    }
    return table;
}

std::string PgRecordset::InsertSql(Oid table, const std::vector<int>& written,
                                   std::vector<std::optional<std::string>>& params) {
    std::string names;
    std::string values;
    for (const int index : written) {
        const PgRows::Column& column = rows_->columns[static_cast<std::size_t>(index)];
        params.push_back(ParameterText((*pending_)[index]));
        names += (names.empty() ? "" : ", ") + connection_->ColumnName(table, column.tableColumn);
        values += (values.empty() ? "$" : ", $") + std::to_string(params.size());
    }
    std::string sql = "INSERT INTO " + connection_->TableName(table);
    sql += names.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + values + ")";
    return sql + " RETURNING *";
}

std::string PgRecordset::UpdateSql(Oid table, const std::vector<int>& written,
                                   std::vector<std::optional<std::string>>& params) {
    const std::vector<int>& key = connection_->PrimaryKey(table);
    std::string sets;
    for (const int index : written) {
        const PgRows::Column& column = rows_->columns[static_cast<std::size_t>(index)];
        params.push_back(ParameterText((*pending_)[index]));
        sets += (sets.empty() ? "" : ", ") + connection_->ColumnName(table, column.tableColumn);
        sets += " = $" + std::to_string(params.size());
    }
    const auto keyRead = [&](int part) {
        std::optional<std::size_t> found;
        for (std::size_t c = 0; c < rows_->columns.size(); ++c) {
            if (rows_->columns[c].table == table && rows_->columns[c].tableColumn == part) {
                found = c;
            }
        }
        return found;
    };
    if (key.empty() ||
        !std::all_of(key.begin(), key.end(), [&](int part) { return keyRead(part).has_value(); })) {
        return UpdateWithoutKeySql(table, sets, params);
    }
    std::string where;
    for (const int part : key) {
        const std::optional<std::size_t> found = keyRead(part);
        params.push_back(ParameterText(CurrentRow()[*found]));
        where += (where.empty() ? "" : " AND ") + connection_->ColumnName(table, part);
        where += " = $" + std::to_string(params.size());
    }
    if (sets.empty()) {
        return {};
    }
    std::string sql = "UPDATE " + connection_->TableName(table);
    sql += " SET " + sets;
    sql += " WHERE " + where;
    return sql + " RETURNING *";
}

std::string PgRecordset::UpdateWithoutKeySql(Oid table, const std::string& sets,
                                             std::vector<std::optional<std::string>>& params) {
    // A table without a primary key (a working table made by SELECT INTO): the row is found by
    // every column of it the recordset read, as read, and one such row is changed.
    std::string match;
    for (std::size_t c = 0; c < rows_->columns.size(); ++c) {
        if (rows_->columns[c].table != table) {
            continue;
        }
        params.push_back(ParameterText(CurrentRow()[c]));
        match += (match.empty() ? "" : " AND ") +
                 connection_->ColumnName(table, rows_->columns[c].tableColumn) +
                 " IS NOT DISTINCT FROM $" + std::to_string(params.size());
    }
    if (sets.empty() || match.empty()) {
        return {};
    }
    const std::string name = connection_->TableName(table);
    return "UPDATE " + name + " SET " + sets + " WHERE ctid = (SELECT ctid FROM " + name +
           " WHERE " + match + " LIMIT 1) RETURNING *";
}

void PgRecordset::TakeStored(Oid table, PGresult* result) {
    // The row takes what the database stored (an identity given, a value converted).
    std::vector<Variant> row =
        adding_ ? std::vector<Variant>(rows_->columns.size(), Variant::Null()) : CurrentRow();
    for (const auto& [index, value] : *pending_) {
        row[static_cast<std::size_t>(index)] = value;
    }
    const auto stored = PQntuples(result) == 1 ? PgConnection::ReadRows(result) : nullptr;
    for (std::size_t c = 0; stored && c < rows_->columns.size(); ++c) {
        for (std::size_t s = 0; rows_->columns[c].table == table && s < stored->columns.size();
             ++s) {
            if (stored->columns[s].tableColumn == rows_->columns[c].tableColumn) {
                row[c] = stored->rows[0][s];
            }
        }
    }
    if (adding_) {
        rows_->rows.push_back(std::move(row));
        visible_.push_back(rows_->rows.size() - 1);
        position_ = static_cast<long>(visible_.size()) - 1;
    } else {
        rows_->rows[visible_[static_cast<std::size_t>(position_)]] = std::move(row);
    }
}

void PgRecordset::Update() {
    RequireUpdatable();
    if (!pending_) {
        return;
    }
    // Each base table whose fields changed gets its own statement, as ADO writes a joined row
    // (one table only when "Unique Table" names it, or for a new row).
    std::vector<Oid> tables;
    const Variant unique = Property("Unique Table");
    if (adding_ || (!unique.IsEmpty() && !unique.IsNull())) {
        tables.push_back(TargetTable());
    } else {
        for (const auto& [index, value] : *pending_) {
            const Oid of = rows_->columns[static_cast<std::size_t>(index)].table;
            if (of != 0 && std::find(tables.begin(), tables.end(), of) == tables.end()) {
                tables.push_back(of);
            }
        }
        if (tables.empty()) {
            throw VbError(3251, "Insufficient base table information for updating or refreshing.");
        }
    }
    for (const Oid table : tables) {
        std::vector<int> written;
        for (const auto& [index, value] : *pending_) {
            if (rows_->columns[static_cast<std::size_t>(index)].table == table) {
                written.push_back(index);
            }
        }
        std::vector<std::optional<std::string>> params;
        const std::string sql =
            adding_ ? InsertSql(table, written, params) : UpdateSql(table, written, params);
        if (!sql.empty()) {
            const PgResult result = connection_->RunPrepared(sql, params, tsql_);
            TakeStored(table, result.get());
        }
    }
    pending_.reset();
    adding_ = false;
}

} // namespace

std::shared_ptr<Recordset> MakePgRecordset(std::shared_ptr<PgConnection> connection,
                                           std::shared_ptr<PgRows> rows, std::string tsql,
                                           bool updatable) {
    return std::make_shared<PgRecordset>(std::move(connection), std::move(rows), std::move(tsql),
                                         updatable);
}

} // namespace kvad::db
