#include "ado_filter.h"

#include <algorithm>
#include <optional>
#include <string>

#include "filter_lexer.h"
#include "quote_identifier.h"
#include "recordset_errors.h"
#include "row_set.h"
#include "value_codec.h"

namespace kvad::db {

namespace {

bool IsKeyword(const FilterToken& token, std::string_view word) {
    return token.kind == FilterToken::Kind::Name && EqualsNoCase(token.text, word);
}

bool IsSymbol(const FilterToken& token, std::string_view symbol) {
    return token.kind == FilterToken::Kind::Symbol && token.text == symbol;
}

int Sign(std::strong_ordering order) noexcept {
    if (order == std::strong_ordering::less) {
        return -1;
    }
    return order == std::strong_ordering::greater ? 1 : 0;
}

int CompareDoubles(double a, double b) noexcept {
    if (a < b) {
        return -1;
    }
    return a > b ? 1 : 0;
}

int CompareNumbers(const Variant& a, const Variant& b) {
    if (a.Type() == VarType::Double || b.Type() == VarType::Double) {
        return CompareDoubles(a.ToDouble(), b.ToDouble());
    }
    return Sign(a.ToDecimal() <=> b.ToDecimal());
}

/// Reads text as the literal kind's value; nullopt when it is not one.
std::optional<Decimal> TextAsNumber(const std::string& text) {
    return TryParseDecimal(text);
}

std::optional<bool> AsBoolean(const Variant& value) {
    if (value.Type() == VarType::Boolean) {
        return value.ToBool();
    }
    if (value.IsNumber()) {
        return !value.ToDecimal().IsZero();
    }
    if (const std::string* text = value.AsString()) {
        const std::string trimmed = Trim(*text);
        if (EqualsNoCase(trimmed, "true")) {
            return true;
        }
        if (EqualsNoCase(trimmed, "false")) {
            return false;
        }
        if (auto number = TryParseDecimal(trimmed)) {
            return !number->IsZero();
        }
    }
    return std::nullopt;
}

int CompareTextWithLiteral(const std::string& text, const Variant& literal) {
    if (literal.Type() == VarType::String) {
        return CompareNoCase(text, *literal.AsString());
    }
    if (literal.IsNumber()) {
        if (auto number = TextAsNumber(Trim(text))) {
            return Sign(*number <=> literal.ToDecimal());
        }
    } else if (literal.Type() == VarType::Date) {
        if (auto date = DateTime::Parse(Trim(text))) {
            return Sign(*date <=> literal.ToDate());
        }
    }
    return CompareNoCase(text, literal.Text());
}

int CompareNumberWithLiteral(const Variant& field, const Variant& literal) {
    if (literal.IsNumber()) {
        return CompareNumbers(field, literal);
    }
    if (const std::string* text = literal.AsString()) {
        if (auto number = TextAsNumber(Trim(*text))) {
            return CompareNumbers(field, Variant(*number));
        }
    }
    if (literal.Type() == VarType::Boolean) {
        return CompareNumbers(field, Variant(std::int32_t{literal.ToBool() ? 1 : 0}));
    }
    ThrowBadArguments();
}

int CompareBooleanWithLiteral(const Variant& field, const Variant& literal) {
    const auto wanted = AsBoolean(literal);
    if (!wanted) {
        ThrowBadArguments();
    }
    return static_cast<int>(field.ToBool()) - static_cast<int>(*wanted);
}

int CompareDateWithLiteral(const Variant& field, const Variant& literal) {
    std::optional<DateTime> wanted;
    if (literal.Type() == VarType::Date) {
        wanted = literal.ToDate();
    } else if (const std::string* text = literal.AsString()) {
        wanted = DateTime::Parse(Trim(*text));
    }
    if (!wanted) {
        ThrowBadArguments();
    }
    return Sign(field.ToDate() <=> *wanted);
}

/// -1, 0 or 1 comparing a (non-null) field value with a literal, the literal read as the
/// field's kind. Throws VbError 3001 when they cannot be compared.
int CompareWithLiteral(const Variant& field, const Variant& literal) {
    switch (field.Type()) {
    case VarType::String:
        return CompareTextWithLiteral(*field.AsString(), literal);
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
    case VarType::Double:
        return CompareNumberWithLiteral(field, literal);
    case VarType::Boolean:
        return CompareBooleanWithLiteral(field, literal);
    case VarType::Date:
        return CompareDateWithLiteral(field, literal);
    case VarType::Empty:
    case VarType::Null:
    case VarType::Bytes:
        break;
    }
    ThrowBadArguments();
}

/// ADO's LIKE: '*' and '%' stand for any run of characters; case is ignored.
bool MatchesPattern(std::string_view text, std::string_view pattern) {
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '*' || pattern[p] == '%')) {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && AsciiLower(pattern[p]) == AsciiLower(text[t])) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && (pattern[p] == '*' || pattern[p] == '%')) {
        ++p;
    }
    return p == pattern.size();
}

} // namespace

class AdoFilter::Parser {
  public:
    Parser(std::vector<FilterToken> tokens, const RowSet& fields, AdoFilter& filter)
        : tokens_(std::move(tokens)), fields_(fields), filter_(filter) {}

    int ParseAll() {
        const int root = ParseOr();
        if (tokens_[pos_].kind != FilterToken::Kind::End) {
            ThrowBadArguments();
        }
        return root;
    }

  private:
    int Add(Node node) {
        filter_.nodes_.push_back(std::move(node));
        return static_cast<int>(filter_.nodes_.size()) - 1;
    }

    /// One node for a whole run of operands joined by the same keyword.
    template <class Operand> int ParseRun(Node::Kind kind, std::string_view keyword, Operand next) {
        const int first = next();
        if (!IsKeyword(tokens_[pos_], keyword)) {
            return first;
        }
        Node node;
        node.kind = kind;
        node.operands.push_back(first);
        while (IsKeyword(tokens_[pos_], keyword)) {
            ++pos_;
            node.operands.push_back(next());
        }
        return Add(std::move(node));
    }

    int ParseOr() {
        return ParseRun(Node::Kind::Or, "OR", [this] { return ParseAnd(); });
    }

    int ParseAnd() {
        return ParseRun(Node::Kind::And, "AND", [this] { return ParseFactor(); });
    }

    int ParseFactor() {
        if (IsSymbol(tokens_[pos_], "(")) {
            if (++depth_ > kMaxNesting) {
                ThrowBadArguments();
            }
            ++pos_;
            const int inner = ParseOr();
            if (!IsSymbol(tokens_[pos_], ")")) {
                ThrowBadArguments();
            }
            ++pos_;
            --depth_;
            return inner;
        }
        return ParseComparison();
    }

    int ParseComparison() {
        const FilterToken& field = tokens_[pos_];
        if (field.kind != FilterToken::Kind::Name || IsKeyword(field, "AND") ||
            IsKeyword(field, "OR")) {
            ThrowBadArguments();
        }
        const auto column = fields_.FindColumn(field.text);
        if (!column) {
            ThrowItemNotFound();
        }
        ++pos_;
        Node node;
        node.column = *column;
        node.op = ParseOperator();
        node.literal = ParseLiteral();
        if (node.literal.IsNull() && node.op != Op::Equal && node.op != Op::NotEqual) {
            ThrowBadArguments();
        }
        if (node.op == Op::Like && node.literal.Type() != VarType::String) {
            ThrowBadArguments();
        }
        return Add(std::move(node));
    }

    Op ParseOperator() {
        const FilterToken& token = tokens_[pos_++];
        if (IsKeyword(token, "LIKE")) {
            return Op::Like;
        }
        if (token.kind != FilterToken::Kind::Symbol) {
            ThrowBadArguments();
        }
        if (token.text == "=") {
            return Op::Equal;
        }
        if (token.text == "<>") {
            return Op::NotEqual;
        }
        if (token.text == "<") {
            return Op::Less;
        }
        if (token.text == ">") {
            return Op::Greater;
        }
        if (token.text == "<=") {
            return Op::LessEqual;
        }
        if (token.text == ">=") {
            return Op::GreaterEqual;
        }
        ThrowBadArguments();
    }

    Variant ParseLiteral() {
        const FilterToken& token = tokens_[pos_++];
        switch (token.kind) {
        case FilterToken::Kind::String:
            return Variant(token.text);
        case FilterToken::Kind::Date: {
            const auto date = DateTime::Parse(Trim(token.text));
            if (!date || !date->IsValid()) {
                ThrowBadArguments();
            }
            return Variant(*date);
        }
        case FilterToken::Kind::Number: {
            const auto number = TryParseDecimal(token.text);
            if (!number) {
                ThrowBadArguments();
            }
            return Variant(*number);
        }
        case FilterToken::Kind::Name:
            if (EqualsNoCase(token.text, "NULL")) {
                return Variant::Null();
            }
            if (EqualsNoCase(token.text, "TRUE") || EqualsNoCase(token.text, "FALSE")) {
                return Variant(EqualsNoCase(token.text, "TRUE"));
            }
            break;
        case FilterToken::Kind::Symbol:
        case FilterToken::Kind::End:
            break;
        }
        ThrowBadArguments();
    }

    std::vector<FilterToken> tokens_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    const RowSet& fields_;
    AdoFilter& filter_;
};

AdoFilter AdoFilter::Parse(std::string_view text, const RowSet& fields) {
    AdoFilter filter;
    Parser parser(LexFilter(text), fields, filter);
    filter.root_ = parser.ParseAll();
    return filter;
}

std::vector<int> AdoFilter::Columns() const {
    std::vector<int> columns;
    for (const Node& node : nodes_) {
        if (node.kind == Node::Kind::Compare) {
            columns.push_back(node.column);
        }
    }
    return columns;
}

std::optional<std::pair<int, std::string_view>> AdoFilter::LeadingTextMatch() const {
    if (root_ < 0) {
        return std::nullopt;
    }
    const Node* node = &nodes_[static_cast<std::size_t>(root_)];
    if (node->kind == Node::Kind::And) {
        // An AND run reads its operands in order and stops at the first that fails.
        node = &nodes_[static_cast<std::size_t>(node->operands.front())];
    }
    const std::string* text = node->literal.AsString();
    if (node->kind != Node::Kind::Compare || node->op != Op::Equal || text == nullptr) {
        return std::nullopt;
    }
    return std::pair<int, std::string_view>{node->column, *text};
}

bool AdoFilter::Matches(const std::vector<const Variant*>& values) const {
    return root_ < 0 || Evaluate(root_, values);
}

bool AdoFilter::Evaluate(int index, const std::vector<const Variant*>& values) const {
    const Node& node = nodes_[static_cast<std::size_t>(index)];
    switch (node.kind) {
    case Node::Kind::And:
        return std::all_of(node.operands.begin(), node.operands.end(),
                           [&](int operand) { return Evaluate(operand, values); });
    case Node::Kind::Or:
        return std::any_of(node.operands.begin(), node.operands.end(),
                           [&](int operand) { return Evaluate(operand, values); });
    case Node::Kind::Compare:
        return Compare(*values[static_cast<std::size_t>(node.column)], node.op, node.literal);
    }
    return false;
}

bool AdoFilter::Compare(const Variant& field, Op op, const Variant& literal) {
    const bool fieldIsNull = field.IsNull() || field.IsEmpty();
    if (literal.IsNull()) {
        return op == Op::Equal ? fieldIsNull : !fieldIsNull;
    }
    if (fieldIsNull) {
        return false;
    }
    if (op == Op::Like) {
        return MatchesPattern(field.Text(), *literal.AsString());
    }
    const int order = CompareWithLiteral(field, literal);
    switch (op) {
    case Op::Equal:
        return order == 0;
    case Op::NotEqual:
        return order != 0;
    case Op::Less:
        return order < 0;
    case Op::Greater:
        return order > 0;
    case Op::LessEqual:
        return order <= 0;
    case Op::GreaterEqual:
        return order >= 0;
    case Op::Like:
        break;
    }
    return false;
}

} // namespace kvad::db
