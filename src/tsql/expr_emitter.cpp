#include "expr_emitter.h"

#include <string>
#include <utility>
#include <vector>

#include "convert_emitter.h"
#include "from_emitter.h"
#include "function_handlers.h"
#include "outer_apply.h"
#include "query_emitter.h"

namespace kvad::db::tsql {

namespace {

TypedSql EmitString(const Expr& expr) {
    TypedSql typed = MakeTyped(QuoteString(expr.text), ValueClass::Text);
    const int length = static_cast<int>(expr.text.size());
    typed.type =
        (expr.national ? "nvarchar(" : "varchar(") + std::to_string(length == 0 ? 1 : length) + ")";
    typed.length = length;
    return typed;
}

TypedSql EmitColumn(EmitContext& context, const Expr& expr, NameScope& scope) {
    const QualifiedName& name = expr.name;
    if (const auto apply = FindApplyColumn(context, name, scope)) {
        return ApplyValue(context, *apply->source->apply, apply->index);
    }
    if (name.parts.size() > 2) {
        context.Fail("column names with more than two parts are not supported (" + name.parts[0] +
                     "." + name.parts[1] + "." + name.Last() + ")");
    }
    std::string sql;
    if (name.parts.size() == 2) {
        sql = QualifierSql(name.parts[0]) + ".";
    }
    sql += SqliteIdentifier(name.Last());
    TypedSql typed = MakeTyped(std::move(sql), ValueClass::Unknown);
    typed.column = true;
    typed.ref = &name;
    typed.refScope = &scope;
    if (context.NeedTypes()) {
        Settle(context, typed);
    }
    return typed;
}

TypedSql EmitUnary(EmitContext& context, const Expr& expr, NameScope& scope) {
    TypedSql operand = EmitExpr(context, *expr.args[0], scope);
    Settle(context, operand);
    if (operand.cls == ValueClass::Date || operand.cls == ValueClass::Text) {
        context.Fail("unary " + expr.text + " on a date or text is not supported");
    }
    if (expr.text == "+") {
        return operand;
    }
    TypedSql typed = MakeTyped("(" + expr.text + operand.sql + ")", operand.cls, operand.type);
    if (expr.text == "-" && operand.intValue) {
        typed.intValue = -*operand.intValue;
    }
    return typed;
}

// The type of integer arithmetic: bigint when either side is one.
std::string IntegerResultType(const TypedSql& left, const TypedSql& right) {
    return (left.type == "bigint" || right.type == "bigint") ? "bigint" : "int";
}

// '+' joins two texts and adds everything else; when the operand types are known here the
// plain SQLite operator does it, otherwise tsql_add decides row by row.
TypedSql EmitPlus(const TypedSql& left, const TypedSql& right) {
    if (left.cls == ValueClass::Text && right.cls == ValueClass::Text) {
        TypedSql typed = MakeTyped("(" + left.sql + " || " + right.sql + ")", ValueClass::Text);
        if (left.length && right.length) {
            typed.length = *left.length + *right.length;
            const bool national = left.type.starts_with("n") || right.type.starts_with("n");
            typed.type = std::string(national ? "nvarchar(" : "varchar(") +
                         std::to_string(*typed.length) + ")";
        } else {
            typed.type = "varchar(max)";
        }
        return typed;
    }
    if (IsNumeric(left.cls) && IsNumeric(right.cls)) {
        const ValueClass cls = (left.cls == ValueClass::Integer && right.cls == ValueClass::Integer)
                                   ? ValueClass::Integer
                                   : ValueClass::Number;
        return MakeTyped("(" + left.sql + " + " + right.sql + ")", cls,
                         cls == ValueClass::Integer ? IntegerResultType(left, right) : "");
    }
    return MakeTyped("tsql_add(" + left.sql + ", " + right.sql + ")", ValueClass::Unknown);
}

TypedSql EmitBinary(EmitContext& context, const Expr& expr, NameScope& scope) {
    TypedSql left = EmitExpr(context, *expr.args[0], scope);
    TypedSql right = EmitExpr(context, *expr.args[1], scope);
    Settle(context, left);
    Settle(context, right);
    const std::string& op = expr.text;
    if (left.null || right.null) {
        // NULL in any arithmetic or concatenation gives NULL.
        return NullOf("NULL", left.null ? right.cls : left.cls, left.null ? right.type : left.type);
    }
    if (left.cls == ValueClass::Date || right.cls == ValueClass::Date) {
        context.Fail("date arithmetic with " + op + " is not supported (use DATEADD)");
    }
    if (op == "+") {
        return EmitPlus(left, right);
    }
    if (left.cls == ValueClass::Text || right.cls == ValueClass::Text) {
        context.Fail("operator " + op + " on text is not supported");
    }
    if (op == "^") {
        context.Fail("operator ^ is not supported");
    }
    const ValueClass cls = (left.cls == ValueClass::Integer && right.cls == ValueClass::Integer)
                               ? ValueClass::Integer
                           : (IsNumeric(left.cls) && IsNumeric(right.cls)) ? ValueClass::Number
                                                                           : ValueClass::Unknown;
    return MakeTyped("(" + left.sql + " " + op + " " + right.sql + ")", cls,
                     cls == ValueClass::Integer ? IntegerResultType(left, right) : "");
}

// Text compares without regard to case. SQLite does so by itself when a side is a column (the
// schema declares text columns NOCASE); for other operands the comparison says so.
std::string ComparedLeft(const TypedSql& left, const TypedSql& right) {
    const bool numeric = IsNumeric(left.cls) && IsNumeric(right.cls);
    if (left.column || right.column || numeric || left.null || right.null) {
        return left.sql;
    }
    return NoCase(left.sql, left.cls == ValueClass::Unknown ? right.cls : left.cls);
}

TypedSql EmitCompare(EmitContext& context, const Expr& expr, NameScope& scope) {
    TypedSql left = EmitExpr(context, *expr.args[0], scope);
    TypedSql right = EmitExpr(context, *expr.args[1], scope);
    if (MayBeReadAsAnother(*expr.args[1])) {
        Settle(context, left);
    }
    if (MayBeReadAsAnother(*expr.args[0])) {
        Settle(context, right);
    }
    right = CoerceTo(*expr.args[1], std::move(right), left.cls);
    left = CoerceTo(*expr.args[0], std::move(left), right.cls);
    return MakeTyped("(" + ComparedLeft(left, right) + " " + expr.text + " " + right.sql + ")",
                     ValueClass::Integer);
}

// AND and OR over all their operands.
TypedSql EmitLogical(EmitContext& context, const Expr& expr, NameScope& scope) {
    std::string sql = "(";
    const char* op = expr.kind == ExprKind::And ? " AND " : " OR ";
    for (std::size_t i = 0; i < expr.args.size(); ++i) {
        sql += (i == 0 ? "" : op) + EmitExpr(context, *expr.args[i], scope).sql;
    }
    return MakeTyped(sql + ")", ValueClass::Integer);
}

TypedSql EmitInList(EmitContext& context, const Expr& expr, NameScope& scope) {
    TypedSql left = EmitExpr(context, *expr.args[0], scope);
    for (std::size_t i = 1; i < expr.args.size(); ++i) {
        if (MayBeReadAsAnother(*expr.args[i])) {
            Settle(context, left);
        }
    }
    std::string list;
    bool allNumeric = IsNumeric(left.cls);
    for (std::size_t i = 1; i < expr.args.size(); ++i) {
        const TypedSql item =
            CoerceTo(*expr.args[i], EmitExpr(context, *expr.args[i], scope), left.cls);
        allNumeric = allNumeric && IsNumeric(item.cls);
        list += (i == 1 ? "" : ", ") + item.sql;
    }
    std::string lhs = left.sql;
    if (!left.column && !allNumeric) {
        lhs = NoCase(lhs, left.cls);
    }
    return MakeTyped("(" + lhs + (expr.negated ? " NOT IN (" : " IN (") + list + "))",
                     ValueClass::Integer);
}

TypedSql EmitInQuery(EmitContext& context, const Expr& expr, NameScope& scope) {
    const TypedSql left = EmitExpr(context, *expr.args[0], scope);
    ColumnList columns;
    const std::string sub = EmitQuery(context, *expr.query, &scope, columns);
    if (columns.complete && columns.columns.size() != 1) {
        context.Fail("the subquery of IN must give one column");
    }
    std::string lhs = left.sql;
    if (!left.column && !IsNumeric(left.cls)) {
        lhs = NoCase(lhs, left.cls);
    }
    return MakeTyped("(" + lhs + (expr.negated ? " NOT IN (" : " IN (") + sub + "))",
                     ValueClass::Integer);
}

TypedSql EmitBetween(EmitContext& context, const Expr& expr, NameScope& scope) {
    TypedSql value = EmitExpr(context, *expr.args[0], scope);
    if (MayBeReadAsAnother(*expr.args[1]) || MayBeReadAsAnother(*expr.args[2])) {
        Settle(context, value);
    }
    const TypedSql low =
        CoerceTo(*expr.args[1], EmitExpr(context, *expr.args[1], scope), value.cls);
    const TypedSql high =
        CoerceTo(*expr.args[2], EmitExpr(context, *expr.args[2], scope), value.cls);
    std::string lhs = value.sql;
    const bool numeric = IsNumeric(value.cls) && IsNumeric(low.cls) && IsNumeric(high.cls);
    if (!value.column && !numeric) {
        lhs = NoCase(lhs, value.cls);
    }
    return MakeTyped("(" + lhs + (expr.negated ? " NOT BETWEEN " : " BETWEEN ") + low.sql +
                         " AND " + high.sql + ")",
                     ValueClass::Integer);
}

// SQLite's LIKE ignores ASCII case like SQL Server's default collation; patterns with SQL
// Server's [...] classes have no SQLite equivalent.
TypedSql EmitLike(EmitContext& context, const Expr& expr, NameScope& scope) {
    const Expr& pattern = *expr.args[1];
    if (pattern.kind != ExprKind::String) {
        context.Fail("LIKE is supported only with a literal pattern");
    }
    if (pattern.text.find('[') != std::string::npos) {
        context.Fail("LIKE patterns with [...] are not supported");
    }
    const TypedSql value = EmitExpr(context, *expr.args[0], scope);
    if (CurrentDialect() == SqlDialect::Postgres) {
        // PostgreSQL's LIKE refuses a nondeterministic collation: ILIKE under the C collation
        // ignores case as SQL Server's does.
        return MakeTyped("((" + value.sql + ")::text COLLATE \"C\"" +
                             (expr.negated ? " NOT ILIKE " : " ILIKE ") +
                             QuoteString(pattern.text) + ")",
                         ValueClass::Integer);
    }
    return MakeTyped("(" + value.sql + (expr.negated ? " NOT LIKE " : " LIKE ") +
                         QuoteString(pattern.text) + ")",
                     ValueClass::Integer);
}

TypedSql EmitExists(EmitContext& context, const Expr& expr, NameScope& scope) {
    ColumnList columns;
    const std::string sub = EmitQuery(context, *expr.query, &scope, columns);
    return MakeTyped(std::string(expr.negated ? "(NOT EXISTS (" : "(EXISTS (") + sub + "))",
                     ValueClass::Integer);
}

// The result type of CASE: the one every branch shares (NULL branches aside).
void TypeOfBranches(TypedSql& typed, const std::vector<TypedSql>& results) {
    bool first = true;
    bool same = true;
    bool allIntLiterals = true;
    for (const TypedSql& result : results) {
        if (result.null) {
            continue;
        }
        allIntLiterals = allIntLiterals && result.intValue.has_value();
        if (first) {
            typed.cls = result.cls;
            typed.type = result.type;
            typed.length = result.length;
            first = false;
        } else if (result.cls != typed.cls) {
            same = false;
        } else if (result.type != typed.type) {
            typed.type.clear();
            typed.length.reset();
        }
    }
    if (!same) {
        typed.cls = ValueClass::Unknown;
        typed.type.clear();
        typed.length.reset();
    }
    if (same && !first && allIntLiterals) {
        typed.type = "int";
    }
}

TypedSql EmitCase(EmitContext& context, const Expr& expr, NameScope& scope) {
    std::string sql = "CASE";
    std::size_t i = 0;
    if (expr.hasOperand) {
        sql += " " + EmitExpr(context, *expr.args[0], scope).sql;
        i = 1;
    }
    const std::size_t whenEnd = expr.args.size() - (expr.hasElse ? 1 : 0);
    std::vector<TypedSql> results;
    for (; i < whenEnd; i += 2) {
        sql += " WHEN " + EmitExpr(context, *expr.args[i], scope).sql;
        results.push_back(EmitExpr(context, *expr.args[i + 1], scope));
        sql += " THEN " + results.back().sql;
    }
    if (expr.hasElse) {
        results.push_back(EmitExpr(context, *expr.args.back(), scope));
        sql += " ELSE " + results.back().sql;
    }
    sql += " END";
    TypedSql typed = MakeTyped(std::move(sql), ValueClass::Unknown);
    TypeOfBranches(typed, results);
    return typed;
}

TypedSql EmitSubquery(EmitContext& context, const Expr& expr, NameScope& scope) {
    ColumnList columns;
    const std::string sub = EmitQuery(context, *expr.query, &scope, columns);
    if (columns.complete && columns.columns.size() != 1) {
        context.Fail("a subquery used as a value must give one column");
    }
    TypedSql typed = MakeTyped("(" + sub + ")", ValueClass::Unknown);
    if (columns.columns.size() == 1) {
        typed.cls = columns.columns[0].cls;
        typed.type = columns.columns[0].type;
        typed.length = columns.columns[0].length;
    }
    return typed;
}

} // namespace

TypedSql EmitExpr(EmitContext& context, const Expr& expr, NameScope& scope) {
    switch (expr.kind) {
    case ExprKind::Null:
        return NullOf("NULL", ValueClass::Unknown);
    case ExprKind::Number:
        return NumberLiteral(expr.text);
    case ExprKind::String:
        return EmitString(expr);
    case ExprKind::Column:
        return EmitColumn(context, expr, scope);
    case ExprKind::Star:
        context.Fail("* is allowed only in a select list or COUNT(*)");
    case ExprKind::Unary:
        return EmitUnary(context, expr, scope);
    case ExprKind::Binary:
        return EmitBinary(context, expr, scope);
    case ExprKind::Compare:
        return EmitCompare(context, expr, scope);
    case ExprKind::And:
    case ExprKind::Or:
        return EmitLogical(context, expr, scope);
    case ExprKind::Not:
        return MakeTyped("(NOT " + EmitExpr(context, *expr.args[0], scope).sql + ")",
                         ValueClass::Integer);
    case ExprKind::IsNull:
        return MakeTyped("(" + EmitExpr(context, *expr.args[0], scope).sql +
                             (expr.negated ? " IS NOT NULL)" : " IS NULL)"),
                         ValueClass::Integer);
    case ExprKind::InList:
        return EmitInList(context, expr, scope);
    case ExprKind::InQuery:
        return EmitInQuery(context, expr, scope);
    case ExprKind::Between:
        return EmitBetween(context, expr, scope);
    case ExprKind::Like:
        return EmitLike(context, expr, scope);
    case ExprKind::Exists:
        return EmitExists(context, expr, scope);
    case ExprKind::Case:
        return EmitCase(context, expr, scope);
    case ExprKind::Function:
        return EmitFunction(context, expr, scope);
    case ExprKind::Convert:
        return EmitConvert(context, expr, scope);
    case ExprKind::Subquery:
        return EmitSubquery(context, expr, scope);
    }
    context.Fail("unknown expression");
}

} // namespace kvad::db::tsql
