#include "ado_filter.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "quote_identifier.h"
#include "recordset_errors.h"
#include "row_set.h"
#include "value_codec.h"

namespace kvad::db {

namespace {

struct Token {
    enum class Kind { Name, String, Date, Number, Symbol, End };
    Kind kind = Kind::End;
    std::string text;
};

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$' || c == '#' ||
           c == '@' || static_cast<unsigned char>(c) >= 0x80;
}

std::vector<Token> Lex(std::string_view text) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            ++i;
            continue;
        }
        Token token;
        if (c == '\'') {
            token.kind = Token::Kind::String;
            bool closed = false;
            for (++i; i < text.size(); ++i) {
                if (text[i] == '\'') {
                    if (i + 1 < text.size() && text[i + 1] == '\'') {
                        token.text += '\'';
                        ++i;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                token.text += text[i];
            }
            if (!closed) {
                ThrowBadArguments();
            }
        } else if (c == '#') {
            token.kind = Token::Kind::Date;
            const auto close = text.find('#', i + 1);
            if (close == std::string_view::npos) {
                ThrowBadArguments();
            }
            token.text = std::string(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == '[') {
            token.kind = Token::Kind::Name;
            const auto close = text.find(']', i + 1);
            if (close == std::string_view::npos) {
                ThrowBadArguments();
            }
            token.text = std::string(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' ||
                   c == '+' || c == '$') {
            token.kind = Token::Kind::Number;
            if (c == '-' || c == '+') {
                token.text += c;
                ++i;
            }
            if (i < text.size() && text[i] == '$') {
                ++i; // a currency sign before the digits is allowed and ignored
            }
            while (i < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[i])) != 0 || text[i] == '.' ||
                    ((text[i] == '+' || text[i] == '-') &&
                     (text[i - 1] == 'e' || text[i - 1] == 'E')))) {
                token.text += text[i++];
            }
        } else if (c == '<' || c == '>' || c == '=') {
            token.kind = Token::Kind::Symbol;
            token.text = c;
            ++i;
            if (i < text.size() && c != '=' && (text[i] == '=' || (c == '<' && text[i] == '>'))) {
                token.text += text[i++];
            }
        } else if (c == '(' || c == ')') {
            token.kind = Token::Kind::Symbol;
            token.text = c;
            ++i;
        } else if (IsNameChar(c)) {
            token.kind = Token::Kind::Name;
            while (i < text.size() && IsNameChar(text[i])) {
                token.text += text[i++];
            }
        } else {
            ThrowBadArguments();
        }
        tokens.push_back(std::move(token));
    }
    tokens.push_back(Token{});
    return tokens;
}

bool IsKeyword(const Token& token, std::string_view word) {
    return token.kind == Token::Kind::Name && EqualsNoCase(token.text, word);
}

bool IsSymbol(const Token& token, std::string_view symbol) {
    return token.kind == Token::Kind::Symbol && token.text == symbol;
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

/// -1, 0 or 1 comparing a (non-null) field value with a literal, the literal read as the
/// field's kind. Throws VbError 3001 when they cannot be compared.
int CompareWithLiteral(const Variant& field, const Variant& literal) {
    switch (field.Type()) {
    case VarType::String: {
        const std::string& text = *field.AsString();
        if (literal.Type() == VarType::String) {
            return CompareNoCase(text, *literal.AsString());
        }
        if (literal.IsNumber()) {
            if (auto number = TextAsNumber(Trim(text))) {
                return Sign(*number <=> literal.ToDecimal());
            }
            return CompareNoCase(text, literal.Text());
        }
        if (literal.Type() == VarType::Date) {
            if (auto date = DateTime::Parse(Trim(text))) {
                return Sign(*date <=> literal.ToDate());
            }
        }
        return CompareNoCase(text, literal.Text());
    }
    case VarType::Integer:
    case VarType::Long:
    case VarType::Decimal:
    case VarType::Double:
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
    case VarType::Boolean: {
        const auto wanted = AsBoolean(literal);
        if (!wanted) {
            ThrowBadArguments();
        }
        return static_cast<int>(field.ToBool()) - static_cast<int>(*wanted);
    }
    case VarType::Date: {
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
    Parser(std::vector<Token> tokens, const RowSet& fields, AdoFilter& filter)
        : tokens_(std::move(tokens)), fields_(fields), filter_(filter) {}

    int ParseAll() {
        const int root = ParseOr();
        if (tokens_[pos_].kind != Token::Kind::End) {
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
        const Token& field = tokens_[pos_];
        if (field.kind != Token::Kind::Name || IsKeyword(field, "AND") || IsKeyword(field, "OR")) {
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
        const Token& token = tokens_[pos_++];
        if (IsKeyword(token, "LIKE")) {
            return Op::Like;
        }
        if (token.kind != Token::Kind::Symbol) {
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
        const Token& token = tokens_[pos_++];
        switch (token.kind) {
        case Token::Kind::String:
            return Variant(token.text);
        case Token::Kind::Date: {
            const auto date = DateTime::Parse(Trim(token.text));
            if (!date || !date->IsValid()) {
                ThrowBadArguments();
            }
            return Variant(*date);
        }
        case Token::Kind::Number: {
            const auto number = TryParseDecimal(token.text);
            if (!number) {
                ThrowBadArguments();
            }
            return Variant(*number);
        }
        case Token::Kind::Name:
            if (EqualsNoCase(token.text, "NULL")) {
                return Variant::Null();
            }
            if (EqualsNoCase(token.text, "TRUE") || EqualsNoCase(token.text, "FALSE")) {
                return Variant(EqualsNoCase(token.text, "TRUE"));
            }
            break;
        case Token::Kind::Symbol:
        case Token::Kind::End:
            break;
        }
        ThrowBadArguments();
    }

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    const RowSet& fields_;
    AdoFilter& filter_;
};

AdoFilter AdoFilter::Parse(std::string_view text, const RowSet& fields) {
    AdoFilter filter;
    Parser parser(Lex(text), fields, filter);
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

bool AdoFilter::Matches(const std::vector<Variant>& values) const {
    return root_ < 0 || Evaluate(root_, values);
}

bool AdoFilter::Evaluate(int index, const std::vector<Variant>& values) const {
    const Node& node = nodes_[static_cast<std::size_t>(index)];
    switch (node.kind) {
    case Node::Kind::And:
        return std::all_of(node.operands.begin(), node.operands.end(),
                           [&](int operand) { return Evaluate(operand, values); });
    case Node::Kind::Or:
        return std::any_of(node.operands.begin(), node.operands.end(),
                           [&](int operand) { return Evaluate(operand, values); });
    case Node::Kind::Compare:
        return Compare(values[static_cast<std::size_t>(node.column)], node.op, node.literal);
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
