#include "tsql_parser.h"

#include <array>
#include <charconv>
#include <optional>
#include <string_view>

#include "kvad_nso/text.h"
#include "tsql_error.h"

namespace kvad::db::tsql {

std::string TypeSpec::Text() const {
    if (max) {
        return name + "(max)";
    }
    if (length && scale) {
        return name + "(" + std::to_string(*length) + "," + std::to_string(*scale) + ")";
    }
    if (length) {
        return name + "(" + std::to_string(*length) + ")";
    }
    return name;
}

namespace {

// Words that end an expression or a table source, so they are never taken as an alias.
constexpr std::array<std::string_view, 52> kReserved = {
    "SELECT",   "FROM",   "WHERE",  "GROUP", "ORDER",  "HAVING", "UNION",   "EXCEPT", "INTERSECT",
    "INNER",    "LEFT",   "RIGHT",  "FULL",  "OUTER",  "CROSS",  "JOIN",    "ON",     "AND",
    "OR",       "NOT",    "IN",     "IS",    "NULL",   "LIKE",   "BETWEEN", "CASE",   "WHEN",
    "THEN",     "ELSE",   "END",    "AS",    "INTO",   "VALUES", "SET",     "WITH",   "TOP",
    "DISTINCT", "ALL",    "EXISTS", "APPLY", "OPTION", "FOR",    "BY",      "ASC",    "DESC",
    "UPDATE",   "DELETE", "INSERT", "DROP",  "TABLE",  "IF",     "ESCAPE",
};

// Statement keywords refused by name rather than with a generic syntax error.
constexpr std::array<std::string_view, 20> kUnsupportedStatements = {
    "MERGE",    "EXEC",   "EXECUTE", "DECLARE",  "SET", "BEGIN", "COMMIT",
    "ROLLBACK", "CREATE", "ALTER",   "TRUNCATE", "USE", "PRINT", "WHILE",
    "RETURN",   "GRANT",  "REVOKE",  "DENY",     "GO",  "BULK",
};

// Table hints that only concern SQL Server's locking; SQLite's own locking replaces them.
constexpr std::array<std::string_view, 7> kLockingHints = {
    "NOLOCK", "READUNCOMMITTED", "READCOMMITTED", "ROWLOCK", "UPDLOCK", "HOLDLOCK", "PAGLOCK",
};

// Deepest nesting of expressions and queries accepted. Parsing, translating and SQLite's own
// parser all recurse on it, so hostile input must not nest without bound.
constexpr int kMaxNesting = 128;

// The longest word of kReserved; longer words (most column names) need no search.
constexpr std::size_t kLongestReserved = 9;

[[nodiscard]] bool IsReserved(const Token& token) {
    if (token.kind != TokenKind::Word || token.text.size() > kLongestReserved) {
        return false;
    }
    for (const std::string_view word : kReserved) {
        if (EqualsNoCase(token.text, word)) {
            return true;
        }
    }
    return false;
}

class Parser {
  public:
    Parser(const std::vector<Token>& tokens, std::string_view text)
        : tokens_(tokens), text_(text) {}

    Statement Run() {
        while (Peek().IsSymbol(";")) {
            ++pos_;
        }
        Statement statement;
        const Token& first = Peek();
        if (first.IsWord("SELECT") || first.IsWord("WITH")) {
            statement = ParseSelect();
        } else if (first.IsWord("INSERT")) {
            statement = ParseInsert();
        } else if (first.IsWord("UPDATE")) {
            statement = ParseUpdate();
        } else if (first.IsWord("DELETE")) {
            statement = ParseDelete();
        } else if (first.IsWord("DROP")) {
            statement = ParseDrop();
        } else if (first.IsWord("IF")) {
            statement = ParseIfDrop();
        } else if (first.kind == TokenKind::End) {
            Refuse("empty statement", text_);
        } else {
            for (const std::string_view word : kUnsupportedStatements) {
                if (first.IsWord(word)) {
                    Refuse("statement " + AsciiUpper(word) + " is not supported", text_);
                }
            }
            Fail("unknown statement");
        }
        if (Peek().IsSymbol(";")) {
            ++pos_;
        }
        if (Peek().kind != TokenKind::End) {
            Refuse("text after the end of the statement at offset " +
                       std::to_string(Peek().offset) + ": '" + std::string(Rest()) + "'",
                   text_);
        }
        return statement;
    }

  private:
    // ---- nesting --------------------------------------------------------------------------

    // Levels of the tree being parsed for as long as it lives: an expression (also between
    // parentheses or as an argument), a subquery, a unary operator, and every further operand
    // of a chain of binary operators.
    class Nesting {
      public:
        Nesting(Parser& parser, int levels) : parser_(parser), start_(parser.depth_) {
            for (int i = 0; i < levels; ++i) {
                Deeper();
            }
        }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;
        Nesting(Nesting&&) = delete;
        Nesting& operator=(Nesting&&) = delete;
        ~Nesting() { parser_.depth_ = start_; }

        void Deeper() {
            if (++parser_.depth_ > kMaxNesting) {
                Refuse("the statement is nested too deeply (more than " +
                           std::to_string(kMaxNesting) + " levels)",
                       parser_.text_);
            }
        }

      private:
        Parser& parser_;
        int start_;
    };

    // ---- token access -------------------------------------------------------------------

    [[nodiscard]] const Token& Peek(std::size_t ahead = 0) const {
        const std::size_t i = pos_ + ahead;
        return i < tokens_.size() ? tokens_[i] : tokens_.back();
    }

    const Token& Advance() {
        const Token& token = Peek();
        if (pos_ < tokens_.size() - 1) {
            ++pos_;
        }
        return token;
    }

    bool AcceptWord(std::string_view word) {
        if (Peek().IsWord(word)) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool AcceptSymbol(std::string_view symbol) {
        if (Peek().IsSymbol(symbol)) {
            ++pos_;
            return true;
        }
        return false;
    }

    void ExpectWord(std::string_view word) {
        if (!AcceptWord(word)) {
            Fail("expected " + std::string(word));
        }
    }

    void ExpectSymbol(std::string_view symbol) {
        if (!AcceptSymbol(symbol)) {
            Fail("expected '" + std::string(symbol) + "'");
        }
    }

    [[nodiscard]] std::string_view Rest() const {
        const std::string_view rest = text_.substr(std::min(Peek().offset, text_.size()));
        return rest.substr(0, 40);
    }

    [[noreturn]] void Fail(const std::string& what) const {
        const Token& token = Peek();
        if (token.kind == TokenKind::End) {
            Refuse(what + " at the end of the statement", text_);
        }
        Refuse(what + " near '" + std::string(Rest()) + "' (offset " +
                   std::to_string(token.offset) + ")",
               text_);
    }

    [[nodiscard]] bool IsIdentifier(const Token& token) const {
        return token.kind == TokenKind::Quoted ||
               (token.kind == TokenKind::Word && !IsReserved(token));
    }

    std::string ExpectIdentifier(const char* what) {
        const Token& token = Peek();
        if (!IsIdentifier(token)) {
            Fail(std::string("expected ") + what);
        }
        if (token.kind == TokenKind::Word && token.text.starts_with('@')) {
            Refuse("variables are not supported (" + token.text + ")", text_);
        }
        ++pos_;
        return token.text;
    }

    int ExpectInteger(const char* what) {
        const Token& token = Peek();
        int value = 0;
        const auto [end, ec] =
            std::from_chars(token.text.data(), token.text.data() + token.text.size(), value);
        if (token.kind != TokenKind::Number || ec != std::errc() ||
            end != token.text.data() + token.text.size()) {
            Fail(std::string("expected ") + what);
        }
        ++pos_;
        return value;
    }

    // ---- names --------------------------------------------------------------------------

    QualifiedName ParseQualifiedName(const char* what) {
        QualifiedName name;
        name.offset = Peek().offset;
        name.parts.push_back(ExpectIdentifier(what));
        while (Peek().IsSymbol(".") && !Peek(1).IsSymbol("*")) {
            ++pos_;
            if (Peek().IsSymbol(".")) {
                Fail("empty part in a qualified name");
            }
            name.parts.push_back(ExpectIdentifier(what));
        }
        if (name.parts.size() > 3) {
            Refuse("names with more than three parts are not supported", text_);
        }
        return name;
    }

    // [AS] alias, where an alias is any identifier that is not a keyword.
    std::string ParseOptionalAlias() {
        if (AcceptWord("AS")) {
            if (Peek().kind == TokenKind::String) {
                return Advance().text;
            }
            return ExpectIdentifier("an alias");
        }
        if (IsIdentifier(Peek())) {
            return ExpectIdentifier("an alias");
        }
        return {};
    }

    void ParseTableHints() {
        if (!(Peek().IsWord("WITH") && Peek(1).IsSymbol("("))) {
            return;
        }
        pos_ += 2;
        do {
            const Token& hint = Peek();
            bool known = false;
            for (const std::string_view name : kLockingHints) {
                known = known || hint.IsWord(name);
            }
            if (!known) {
                Fail("table hint not supported");
            }
            ++pos_;
        } while (AcceptSymbol(","));
        ExpectSymbol(")");
    }

    // ---- queries ------------------------------------------------------------------------

    QueryPtr ParseQuery() {
        const Nesting nesting(*this, 1);
        auto query = std::make_unique<QueryExpr>();
        if (AcceptWord("WITH")) {
            do {
                query->ctes.push_back(ParseCte());
            } while (AcceptSymbol(","));
        }
        query->cores.push_back(ParseCore());
        while (const auto setOp = AcceptSetOperator()) {
            query->setOps.emplace_back(*setOp);
            query->cores.push_back(ParseCore());
        }
        if (AcceptWord("ORDER")) {
            ExpectWord("BY");
            do {
                query->orderBy.push_back(ParseOrderItem());
            } while (AcceptSymbol(","));
        }
        if (Peek().IsWord("OPTION") || Peek().IsWord("FOR")) {
            Fail(AsciiUpper(Peek().text) + " clause not supported");
        }
        return query;
    }

    /// name [(columns)] AS (query)
    Cte ParseCte() {
        Cte cte;
        cte.name = ExpectIdentifier("a common table expression name");
        if (AcceptSymbol("(")) {
            do {
                cte.columns.push_back(ExpectIdentifier("a column name"));
            } while (AcceptSymbol(","));
            ExpectSymbol(")");
        }
        ExpectWord("AS");
        ExpectSymbol("(");
        cte.query = ParseQuery();
        ExpectSymbol(")");
        return cte;
    }

    /// UNION [ALL], EXCEPT or INTERSECT, read; nullopt when none follows.
    std::optional<std::string_view> AcceptSetOperator() {
        if (AcceptWord("UNION")) {
            return AcceptWord("ALL") ? "UNION ALL" : "UNION";
        }
        if (AcceptWord("EXCEPT")) {
            return "EXCEPT";
        }
        if (AcceptWord("INTERSECT")) {
            return "INTERSECT";
        }
        return std::nullopt;
    }

    OrderItem ParseOrderItem() {
        OrderItem item;
        item.expr = ParseExpr();
        if (AcceptWord("DESC")) {
            item.descending = true;
        } else {
            AcceptWord("ASC");
        }
        return item;
    }

    SelectCore ParseCore() {
        SelectCore core;
        core.offset = Peek().offset;
        ExpectWord("SELECT");
        if (AcceptWord("DISTINCT")) {
            core.distinct = true;
        } else {
            AcceptWord("ALL");
        }
        if (AcceptWord("TOP")) {
            if (AcceptSymbol("(")) {
                core.top = ParseExpr();
                ExpectSymbol(")");
            } else if (Peek().kind == TokenKind::Number) {
                core.top = ParsePrimary();
            } else {
                Fail("expected the number of rows after TOP");
            }
            if (Peek().IsWord("PERCENT") || (Peek().IsWord("WITH") && Peek(1).IsWord("TIES"))) {
                Fail("TOP ... PERCENT and WITH TIES are not supported");
            }
        }
        do {
            core.items.push_back(ParseSelectItem());
        } while (AcceptSymbol(","));
        if (AcceptWord("INTO")) {
            core.into = ParseQualifiedName("a table name after INTO");
        }
        if (AcceptWord("FROM")) {
            core.from = ParseFrom();
        }
        if (AcceptWord("WHERE")) {
            core.where = ParseExpr();
        }
        if (AcceptWord("GROUP")) {
            ExpectWord("BY");
            do {
                core.groupBy.push_back(ParseExpr());
            } while (AcceptSymbol(","));
        }
        if (AcceptWord("HAVING")) {
            core.having = ParseExpr();
        }
        return core;
    }

    SelectItem ParseSelectItem() {
        SelectItem item;
        if (Peek().IsSymbol("*")) {
            item.expr = std::make_unique<Expr>();
            item.expr->kind = ExprKind::Star;
            item.expr->offset = Advance().offset;
            return item;
        }
        item.expr = ParseExpr();
        // alias = expression
        if (item.expr->kind == ExprKind::Compare && item.expr->text == "=" &&
            item.expr->args[0]->kind == ExprKind::Column &&
            item.expr->args[0]->name.parts.size() == 1) {
            item.alias = item.expr->args[0]->name.parts[0];
            item.expr = std::move(item.expr->args[1]);
            return item;
        }
        switch (item.expr->kind) {
        case ExprKind::Compare:
        case ExprKind::And:
        case ExprKind::Or:
        case ExprKind::Not:
        case ExprKind::IsNull:
        case ExprKind::InList:
        case ExprKind::InQuery:
        case ExprKind::Between:
        case ExprKind::Like:
        case ExprKind::Exists:
            Refuse("a condition cannot be a select item", text_);
        default:
            break;
        }
        if (item.expr->kind != ExprKind::Star) {
            item.alias = ParseOptionalAlias();
        }
        return item;
    }

    FromClause ParseFrom() {
        FromClause from;
        from.first = ParseTableSource();
        while (true) {
            Join join;
            if (AcceptSymbol(",")) {
                join.type = JoinType::Comma;
            } else if (AcceptWord("JOIN")) {
                join.type = JoinType::Inner;
            } else if (AcceptWord("INNER")) {
                ExpectWord("JOIN");
                join.type = JoinType::Inner;
            } else if (AcceptWord("LEFT")) {
                AcceptWord("OUTER");
                ExpectWord("JOIN");
                join.type = JoinType::Left;
            } else if (AcceptWord("RIGHT")) {
                AcceptWord("OUTER");
                ExpectWord("JOIN");
                join.type = JoinType::Right;
            } else if (AcceptWord("FULL")) {
                AcceptWord("OUTER");
                ExpectWord("JOIN");
                join.type = JoinType::Full;
            } else if (AcceptWord("CROSS")) {
                if (AcceptWord("APPLY")) {
                    join.type = JoinType::CrossApply;
                } else {
                    ExpectWord("JOIN");
                    join.type = JoinType::Cross;
                }
            } else if (Peek().IsWord("OUTER") && Peek(1).IsWord("APPLY")) {
                pos_ += 2;
                join.type = JoinType::OuterApply;
            } else {
                break;
            }
            join.source = ParseTableSource();
            if (join.type == JoinType::Inner || join.type == JoinType::Left ||
                join.type == JoinType::Right || join.type == JoinType::Full) {
                ExpectWord("ON");
                join.on = ParseExpr();
            }
            from.joins.push_back(std::move(join));
        }
        return from;
    }

    TableSource ParseTableSource() {
        TableSource source;
        source.offset = Peek().offset;
        if (AcceptSymbol("(")) {
            if (!(Peek().IsWord("SELECT") || Peek().IsWord("WITH"))) {
                Fail("expected a subquery");
            }
            source.kind = TableSource::Kind::Derived;
            source.query = ParseQuery();
            ExpectSymbol(")");
            source.alias = ParseOptionalAlias();
            if (source.alias.empty()) {
                Fail("a derived table needs an alias");
            }
            return source;
        }
        source.name = ParseQualifiedName("a table name");
        if (Peek().IsSymbol("(")) {
            Refuse("table-valued function " + source.name.Last() + " is not supported", text_);
        }
        ParseTableHints();
        source.alias = ParseOptionalAlias();
        ParseTableHints();
        return source;
    }

    // ---- statements ---------------------------------------------------------------------

    // A query, or SELECT INTO when its first SELECT has an INTO.
    Statement ParseSelect() {
        QueryPtr query = ParseQuery();
        std::optional<QualifiedName>& into = query->cores.front().into;
        if (!into) {
            return SelectStatement{std::move(query)};
        }
        SelectIntoStatement statement{std::move(*into), nullptr};
        into.reset();
        statement.query = std::move(query);
        return statement;
    }

    InsertStatement ParseInsert() {
        InsertStatement insert;
        ExpectWord("INSERT");
        AcceptWord("INTO");
        insert.table = ParseQualifiedName("a table name");
        if (Peek().IsSymbol("(") && !(Peek(1).IsWord("SELECT") || Peek(1).IsWord("WITH"))) {
            ++pos_;
            do {
                insert.columns.push_back(ExpectIdentifier("a column name"));
            } while (AcceptSymbol(","));
            ExpectSymbol(")");
        }
        if (AcceptWord("VALUES")) {
            do {
                ExpectSymbol("(");
                std::vector<ExprPtr> row;
                do {
                    row.push_back(ParseExpr());
                } while (AcceptSymbol(","));
                ExpectSymbol(")");
                insert.rows.push_back(std::move(row));
            } while (AcceptSymbol(","));
        } else if (Peek().IsWord("SELECT") || Peek().IsWord("WITH")) {
            insert.query = ParseQuery();
        } else {
            Fail("expected VALUES or SELECT");
        }
        return insert;
    }

    UpdateStatement ParseUpdate() {
        UpdateStatement update;
        ExpectWord("UPDATE");
        if (Peek().IsWord("TOP")) {
            Fail("UPDATE TOP is not supported");
        }
        update.target = ParseQualifiedName("a table name");
        ParseTableHints();
        ExpectWord("SET");
        do {
            Assignment assignment;
            assignment.column = ParseQualifiedName("a column name");
            ExpectSymbol("=");
            assignment.value = ParseExpr();
            update.assignments.push_back(std::move(assignment));
        } while (AcceptSymbol(","));
        if (AcceptWord("FROM")) {
            update.from = ParseFrom();
        }
        if (AcceptWord("WHERE")) {
            update.where = ParseExpr();
        }
        return update;
    }

    DeleteStatement ParseDelete() {
        DeleteStatement del;
        ExpectWord("DELETE");
        if (Peek().IsWord("TOP")) {
            Fail("DELETE TOP is not supported");
        }
        AcceptWord("FROM");
        del.table = ParseQualifiedName("a table name");
        ParseTableHints();
        if (Peek().IsWord("FROM")) {
            Fail("DELETE with a FROM clause of its own is not supported");
        }
        if (AcceptWord("WHERE")) {
            del.where = ParseExpr();
        }
        return del;
    }

    DropStatement ParseDrop() {
        DropStatement drop;
        ExpectWord("DROP");
        ExpectWord("TABLE");
        if (Peek().IsWord("IF") && Peek(1).IsWord("EXISTS")) {
            pos_ += 2;
            drop.ifExists = true;
        }
        drop.table = ParseQualifiedName("a table name");
        if (Peek().IsSymbol(",")) {
            Fail("dropping several tables at once is not supported");
        }
        return drop;
    }

    // IF NOT OBJECT_ID('tempdb..#X') IS NULL DROP TABLE #X, and the IS NOT NULL form: the only
    // IF the translator knows.
    DropStatement ParseIfDrop() {
        ExpectWord("IF");
        const bool notBefore = AcceptWord("NOT");
        if (!Peek().IsWord("OBJECT_ID")) {
            Fail("IF is supported only as IF OBJECT_ID(...) ... DROP TABLE");
        }
        ++pos_;
        ExpectSymbol("(");
        if (Peek().kind != TokenKind::String) {
            Fail("expected the object name as a string");
        }
        const std::string objectName = Advance().text;
        if (AcceptSymbol(",")) {
            if (Peek().kind != TokenKind::String || !EqualsNoCase(Peek().text, "U")) {
                Fail("expected the object type 'U'");
            }
            ++pos_;
        }
        ExpectSymbol(")");
        ExpectWord("IS");
        const bool notAfter = AcceptWord("NOT");
        ExpectWord("NULL");
        if (notBefore == notAfter) {
            Fail("IF OBJECT_ID(...) is supported only to drop a table that exists");
        }
        DropStatement drop = ParseDrop();
        drop.ifExists = true;
        // The name tested must be the table dropped: 'tempdb..#X' or '#X' for #X, 'X' or
        // 'dbo.X' for X.
        std::string_view tested = objectName;
        const std::size_t dot = tested.rfind('.');
        const std::string_view prefix =
            dot == std::string_view::npos ? std::string_view{} : tested.substr(0, dot + 1);
        tested = dot == std::string_view::npos ? tested : tested.substr(dot + 1);
        const std::string& dropped = drop.table.Last();
        const bool temp = dropped.starts_with('#');
        const bool prefixOk = temp ? (prefix.empty() || EqualsNoCase(prefix, "tempdb..") ||
                                      EqualsNoCase(prefix, "tempdb.dbo."))
                                   : (prefix.empty() || EqualsNoCase(prefix, "dbo."));
        if (!EqualsNoCase(tested, dropped) || !prefixOk) {
            Refuse("IF OBJECT_ID('" + objectName + "') does not test the table dropped (" +
                       dropped + ")",
                   text_);
        }
        return drop;
    }

    // ---- expressions --------------------------------------------------------------------

    ExprPtr Make(ExprKind kind, std::size_t offset) {
        auto expr = std::make_unique<Expr>();
        expr->kind = kind;
        expr->offset = offset;
        return expr;
    }

    ExprPtr ParseExpr() {
        const Nesting nesting(*this, 1);
        return ParseOr();
    }

    ExprPtr ParseOr() {
        ExprPtr left = ParseAnd();
        if (!Peek().IsWord("OR")) {
            return left;
        }
        ExprPtr node = Make(ExprKind::Or, left->offset);
        node->args.push_back(std::move(left));
        while (AcceptWord("OR")) {
            node->args.push_back(ParseAnd());
        }
        return node;
    }

    ExprPtr ParseAnd() {
        ExprPtr left = ParseNot();
        if (!Peek().IsWord("AND")) {
            return left;
        }
        ExprPtr node = Make(ExprKind::And, left->offset);
        node->args.push_back(std::move(left));
        while (AcceptWord("AND")) {
            node->args.push_back(ParseNot());
        }
        return node;
    }

    ExprPtr ParseNot() {
        if (Peek().IsWord("NOT")) {
            const Nesting nesting(*this, 1);
            ExprPtr node = Make(ExprKind::Not, Advance().offset);
            node->args.push_back(ParseNot());
            return node;
        }
        return ParsePredicate();
    }

    ExprPtr ParsePredicate() {
        ExprPtr left = ParseAdditive();
        const Token& token = Peek();
        if (IsComparisonSymbol(token)) {
            return ParseComparison(std::move(left));
        }
        if (token.IsSymbol("!<") || token.IsSymbol("!>")) {
            Fail("operator " + token.text + " is not supported");
        }
        if (AcceptWord("IS")) {
            ExprPtr node = Make(ExprKind::IsNull, left->offset);
            node->negated = AcceptWord("NOT");
            ExpectWord("NULL");
            node->args.push_back(std::move(left));
            return node;
        }
        const bool negated =
            Peek().IsWord("NOT") &&
            (Peek(1).IsWord("IN") || Peek(1).IsWord("BETWEEN") || Peek(1).IsWord("LIKE"));
        if (negated) {
            ++pos_;
        }
        if (AcceptWord("IN")) {
            return ParseIn(std::move(left), negated);
        }
        if (AcceptWord("BETWEEN")) {
            ExprPtr node = Make(ExprKind::Between, left->offset);
            node->negated = negated;
            node->args.push_back(std::move(left));
            node->args.push_back(ParseAdditive());
            ExpectWord("AND");
            node->args.push_back(ParseAdditive());
            return node;
        }
        if (AcceptWord("LIKE")) {
            ExprPtr node = Make(ExprKind::Like, left->offset);
            node->negated = negated;
            node->args.push_back(std::move(left));
            node->args.push_back(ParseAdditive());
            if (Peek().IsWord("ESCAPE")) {
                Fail("LIKE ... ESCAPE is not supported");
            }
            return node;
        }
        return left;
    }

    static bool IsComparisonSymbol(const Token& token) {
        return token.kind == TokenKind::Symbol &&
               (token.text == "=" || token.text == "<>" || token.text == "!=" ||
                token.text == "<" || token.text == ">" || token.text == "<=" || token.text == ">=");
    }

    /// `left` compared with what follows the comparison symbol.
    ExprPtr ParseComparison(ExprPtr left) {
        ExprPtr node = Make(ExprKind::Compare, left->offset);
        const std::string& symbol = Advance().text;
        node->text = symbol == "!=" ? "<>" : symbol;
        if (Peek().IsWord("ALL") || Peek().IsWord("ANY") || Peek().IsWord("SOME")) {
            Fail("ALL/ANY/SOME comparisons are not supported");
        }
        node->args.push_back(std::move(left));
        node->args.push_back(ParseAdditive());
        return node;
    }

    /// [NOT] IN (query) or [NOT] IN (list), after IN.
    ExprPtr ParseIn(ExprPtr left, bool negated) {
        ExpectSymbol("(");
        ExprPtr node;
        if (Peek().IsWord("SELECT") || Peek().IsWord("WITH")) {
            node = Make(ExprKind::InQuery, left->offset);
            node->query = ParseQuery();
            node->args.push_back(std::move(left));
        } else {
            node = Make(ExprKind::InList, left->offset);
            node->args.push_back(std::move(left));
            do {
                node->args.push_back(ParseExpr());
            } while (AcceptSymbol(","));
        }
        ExpectSymbol(")");
        node->negated = negated;
        return node;
    }

    ExprPtr ParseAdditive() {
        ExprPtr left = ParseMultiplicative();
        Nesting chain(*this, 0);
        while (Peek().kind == TokenKind::Symbol &&
               (Peek().text == "+" || Peek().text == "-" || Peek().text == "&" ||
                Peek().text == "|" || Peek().text == "^")) {
            chain.Deeper();
            ExprPtr node = Make(ExprKind::Binary, left->offset);
            node->text = Advance().text;
            node->args.push_back(std::move(left));
            node->args.push_back(ParseMultiplicative());
            left = std::move(node);
        }
        return left;
    }

    ExprPtr ParseMultiplicative() {
        ExprPtr left = ParseUnary();
        Nesting chain(*this, 0);
        while (Peek().kind == TokenKind::Symbol &&
               (Peek().text == "*" || Peek().text == "/" || Peek().text == "%")) {
            chain.Deeper();
            ExprPtr node = Make(ExprKind::Binary, left->offset);
            node->text = Advance().text;
            node->args.push_back(std::move(left));
            node->args.push_back(ParseUnary());
            left = std::move(node);
        }
        return left;
    }

    ExprPtr ParseUnary() {
        if (Peek().IsSymbol("-") || Peek().IsSymbol("+") || Peek().IsSymbol("~")) {
            const Nesting nesting(*this, 1);
            ExprPtr node = Make(ExprKind::Unary, Peek().offset);
            node->text = Advance().text;
            node->args.push_back(ParseUnary());
            return node;
        }
        return ParsePrimary();
    }

    ExprPtr ParsePrimary() {
        const Token& token = Peek();
        switch (token.kind) {
        case TokenKind::Number: {
            ExprPtr node = Make(ExprKind::Number, token.offset);
            node->text = Advance().text;
            return node;
        }
        case TokenKind::String: {
            ExprPtr node = Make(ExprKind::String, token.offset);
            node->national = token.national;
            node->text = Advance().text;
            return node;
        }
        case TokenKind::Symbol:
            if (token.IsSymbol("(")) {
                const std::size_t offset = Advance().offset;
                if (Peek().IsWord("SELECT") || Peek().IsWord("WITH")) {
                    ExprPtr node = Make(ExprKind::Subquery, offset);
                    node->query = ParseQuery();
                    ExpectSymbol(")");
                    return node;
                }
                ExprPtr inner = ParseExpr();
                ExpectSymbol(")");
                return inner;
            }
            Fail("unexpected '" + token.text + "'");
        case TokenKind::End:
            Fail("expression expected");
        case TokenKind::Word:
        case TokenKind::Quoted:
            break;
        }
        if (token.IsWord("NULL")) {
            return Make(ExprKind::Null, Advance().offset);
        }
        if (token.IsWord("CASE")) {
            return ParseCase();
        }
        if (token.IsWord("EXISTS")) {
            ExprPtr node = Make(ExprKind::Exists, Advance().offset);
            ExpectSymbol("(");
            node->query = ParseQuery();
            ExpectSymbol(")");
            return node;
        }
        if (token.kind == TokenKind::Word && token.text.starts_with('@')) {
            Refuse("variables are not supported (" + token.text + ")", text_);
        }
        if (token.kind == TokenKind::Word && Peek(1).IsSymbol("(")) {
            return ParseFunction();
        }
        if (!IsIdentifier(token)) {
            Fail("unexpected keyword " + AsciiUpper(token.text));
        }
        QualifiedName name = ParseQualifiedName("a column name");
        if (Peek().IsSymbol(".") && Peek(1).IsSymbol("*")) {
            pos_ += 2;
            ExprPtr star = Make(ExprKind::Star, name.offset);
            star->name = std::move(name);
            return star;
        }
        ExprPtr column = Make(ExprKind::Column, name.offset);
        column->name = std::move(name);
        return column;
    }

    ExprPtr ParseCase() {
        ExprPtr node = Make(ExprKind::Case, Advance().offset);
        if (!Peek().IsWord("WHEN")) {
            node->hasOperand = true;
            node->args.push_back(ParseExpr());
        }
        if (!Peek().IsWord("WHEN")) {
            Fail("expected WHEN");
        }
        while (AcceptWord("WHEN")) {
            node->args.push_back(ParseExpr());
            ExpectWord("THEN");
            node->args.push_back(ParseExpr());
        }
        if (AcceptWord("ELSE")) {
            node->hasElse = true;
            node->args.push_back(ParseExpr());
        }
        ExpectWord("END");
        return node;
    }

    TypeSpec ParseType() {
        TypeSpec type;
        const Token& token = Peek();
        if (token.kind != TokenKind::Word) {
            Fail("expected a data type");
        }
        type.name = AsciiLower(Advance().text);
        if (AcceptSymbol("(")) {
            if (AcceptWord("MAX")) {
                type.max = true;
            } else {
                type.length = ExpectInteger("a length");
                if (AcceptSymbol(",")) {
                    type.scale = ExpectInteger("a scale");
                }
            }
            ExpectSymbol(")");
        }
        return type;
    }

    ExprPtr ParseFunction() {
        const Token& nameToken = Advance();
        ExprPtr node = Make(ExprKind::Function, nameToken.offset);
        node->text = AsciiUpper(nameToken.text);
        ExpectSymbol("(");
        if (node->text == "CONVERT") {
            node->kind = ExprKind::Convert;
            node->type = ParseType();
            ExpectSymbol(",");
            node->args.push_back(ParseExpr());
            if (AcceptSymbol(",")) {
                node->style = ExpectInteger("a style number");
            }
            ExpectSymbol(")");
            return node;
        }
        if (node->text == "CAST") {
            node->kind = ExprKind::Convert;
            node->args.push_back(ParseExpr());
            ExpectWord("AS");
            node->type = ParseType();
            ExpectSymbol(")");
            return node;
        }
        if (AcceptSymbol(")")) {
            return node;
        }
        if (Peek().IsSymbol("*")) {
            ExprPtr star = Make(ExprKind::Star, Advance().offset);
            node->args.push_back(std::move(star));
            ExpectSymbol(")");
            return node;
        }
        if (AcceptWord("DISTINCT")) {
            node->distinct = true;
        } else {
            AcceptWord("ALL");
        }
        do {
            node->args.push_back(ParseExpr());
        } while (AcceptSymbol(","));
        ExpectSymbol(")");
        if (Peek().IsWord("OVER") || Peek().IsWord("WITHIN")) {
            Fail("window functions are not supported");
        }
        return node;
    }

    const std::vector<Token>& tokens_;
    std::string_view text_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

} // namespace

Statement ParseStatement(const std::vector<Token>& tokens, std::string_view text) {
    return Parser(tokens, text).Run();
}

} // namespace kvad::db::tsql
