#pragma once
// Parse trees of the T-SQL statements the translator accepts. The parser builds them and
// refuses anything else; the emitter writes them out as SQLite.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kvad::db::tsql {

struct QueryExpr;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;
using QueryPtr = std::unique_ptr<QueryExpr>;

/// A possibly qualified name as written ("sys", "tables"), ("TEMP_ORD", "IE91_ID").
struct QualifiedName {
    std::vector<std::string> parts;
    std::size_t offset = 0;

    /// The last part (the object or column itself).
    [[nodiscard]] const std::string& Last() const { return parts.back(); }
};

/// A data type as written in CONVERT/CAST ("VARCHAR(50)", "DECIMAL(19,6)", "VARCHAR(MAX)").
struct TypeSpec {
    std::string name; ///< lower case ("varchar")
    std::optional<int> length;
    std::optional<int> scale;
    bool max = false;

    /// The type as SQL Server writes it ("varchar(50)", "decimal(19,6)", "tinyint").
    [[nodiscard]] std::string Text() const;
};

enum class ExprKind {
    Null,
    Number,
    String,
    Column,   ///< name.parts = qualifier..., column
    Star,     ///< name.parts = qualifier (may be empty)
    Unary,    ///< op, args[0]
    Binary,   ///< op (+ - * / % & | ^), args[0], args[1]
    Compare,  ///< op (= <> != < > <= >=), args[0], args[1]
    And,      ///< args
    Or,       ///< args
    Not,      ///< args[0]
    IsNull,   ///< args[0]; negated for IS NOT NULL
    InList,   ///< args[0] IN (args[1..]); negated for NOT IN
    InQuery,  ///< args[0] IN (query); negated for NOT IN
    Between,  ///< args[0] BETWEEN args[1] AND args[2]; negated
    Like,     ///< args[0] LIKE args[1]; negated
    Exists,   ///< EXISTS (query); negated
    Case,     ///< [operand] (when, then)... [else]: see hasOperand/hasElse
    Function, ///< name(args); distinct for COUNT(DISTINCT x); args[0] Star for COUNT(*)
    Convert,  ///< CONVERT(type, args[0] [, style]) or CAST(args[0] AS type)
    Subquery, ///< (query) as a value
};

/// An expression.
struct Expr {
    ExprKind kind = ExprKind::Null;
    std::size_t offset = 0;
    /// Literal text (numbers as written, strings unescaped), operator, or function name.
    std::string text;
    bool national = false;
    QualifiedName name;
    std::vector<ExprPtr> args;
    bool negated = false;
    bool distinct = false;
    bool hasOperand = false;
    bool hasElse = false;
    TypeSpec type;
    std::optional<int> style;
    QueryPtr query;
};

/// A table or derived table of a FROM clause (table hints are checked and dropped by the parser).
struct TableSource {
    enum class Kind { Table, Derived };
    Kind kind = Kind::Table;
    QualifiedName name;
    QueryPtr query;
    std::string alias;
    std::size_t offset = 0;

    /// The name the source is known by in the statement: its alias, else its table name.
    [[nodiscard]] const std::string& ExposedName() const {
        return alias.empty() ? name.Last() : alias;
    }
};

enum class JoinType { Inner, Left, Right, Full, Cross, Comma, OuterApply, CrossApply };

/// A table source joined to what comes before it.
struct Join {
    JoinType type = JoinType::Inner;
    TableSource source;
    ExprPtr on;
};

/// FROM first-source joins...
struct FromClause {
    TableSource first;
    std::vector<Join> joins;
};

/// An item of a select list; `expr` is a Star for * and T.*.
struct SelectItem {
    ExprPtr expr;
    std::string alias;
};

/// One SELECT of a query (a member of a UNION).
struct SelectCore {
    std::size_t offset = 0;
    bool distinct = false;
    ExprPtr top;
    std::vector<SelectItem> items;
    /// INTO of a SELECT that is not the statement's first one (the parser takes that one into
    /// SelectIntoStatement): refused.
    std::optional<QualifiedName> into;
    std::optional<FromClause> from;
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

/// A common table expression of a WITH clause.
struct Cte {
    std::string name;
    std::vector<std::string> columns;
    QueryPtr query;
};

/// A whole query: WITH ..., SELECT cores joined by set operators, ORDER BY.
struct QueryExpr {
    std::vector<Cte> ctes;
    std::vector<SelectCore> cores;
    /// Operators between cores ("UNION ALL", "UNION", "EXCEPT", "INTERSECT").
    std::vector<std::string> setOps;
    std::vector<OrderItem> orderBy;
};

/// column = value of an UPDATE.
struct Assignment {
    QualifiedName column;
    ExprPtr value;
};

/// SELECT ... or WITH ... SELECT ...: rows for the caller.
struct SelectStatement {
    QueryPtr query;
};

/// SELECT ... INTO table ...: a new table from the rows of the query (whose first SELECT no
/// longer carries the INTO).
struct SelectIntoStatement {
    QualifiedName table;
    QueryPtr query;
};

struct InsertStatement {
    QualifiedName table;
    std::vector<std::string> columns;
    std::vector<std::vector<ExprPtr>> rows;
    QueryPtr query;
};

struct UpdateStatement {
    QualifiedName target;
    std::vector<Assignment> assignments;
    std::optional<FromClause> from;
    ExprPtr where;
};

struct DeleteStatement {
    QualifiedName table;
    ExprPtr where;
};

struct DropStatement {
    QualifiedName table;
    /// IF NOT OBJECT_ID(...) IS NULL DROP TABLE ...: no error when the table is missing.
    bool ifExists = false;
};

/// One parsed statement.
using Statement = std::variant<SelectStatement, SelectIntoStatement, InsertStatement,
                               UpdateStatement, DeleteStatement, DropStatement>;

} // namespace kvad::db::tsql
