#include "convert_emitter.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "expr_emitter.h"
#include "tsql_dates.h"

namespace kvad::db::tsql {

namespace {

using IntegerRange = std::pair<std::int64_t, std::int64_t>;

/// The SQL of a date converted to text of `length` (-1: max) with a date style.
std::string DateToText(EmitContext& context, const Expr& expr, const TypedSql& value, int length) {
    const int style = expr.style.value_or(0);
    if (style == 0) {
        context.Fail("CONVERT of a date to text needs a style (e.g. 23 or 120)");
    }
    // Dates are stored as 'YYYY-MM-DD HH:MM:SS': style 23 is their first ten characters.
    if (style == 23) {
        return "SUBSTR(" + value.sql + ", 1, " +
               std::to_string(length < 0 ? 10 : std::min(length, 10)) + ")";
    }
    return "tsql_to_text(" + value.sql + ", " + std::to_string(length) + ", " +
           std::to_string(style) + ", -1)";
}

/// The SQL of a value other than a date converted to text of `length` (-1: max).
std::string ValueToText(const Expr& expr, const TypedSql& value, int length) {
    if (value.cls == ValueClass::Text) {
        // SQL Server ignores the style for text; text no longer than the target stays as it is.
        if (length < 0 || (value.length && *value.length <= length)) {
            return value.sql;
        }
        return "SUBSTR(" + value.sql + ", 1, " + std::to_string(length) + ")";
    }
    if (value.cls == ValueClass::Integer && (length < 0 || length >= 20)) {
        return "CAST(" + value.sql + " AS TEXT)";
    }
    int scale = -1;
    if (value.cls == ValueClass::Number) {
        scale = DeclaredScale(value.type).value_or(-1);
    }
    return "tsql_to_text(" + value.sql + ", " + std::to_string(length) + ", " +
           (expr.style ? std::to_string(*expr.style) : std::string("NULL")) + ", " +
           std::to_string(scale) + ")";
}

TypedSql ConvertToText(EmitContext& context, const Expr& expr, const TypedSql& value) {
    const TypeSpec& type = expr.type;
    const int length = type.max ? -1 : type.length.value_or(30);
    if (!type.max && (length < 1 || length > 8000)) {
        context.Fail("type " + type.Text() + " is not valid");
    }
    TypedSql typed = MakeTyped("", ValueClass::Text,
                               type.name + "(" + (type.max ? "max" : std::to_string(length)) + ")");
    if (!type.max) {
        typed.length = length;
    }
    if (value.null) {
        typed.sql = "CAST(NULL AS TEXT)";
        typed.null = true;
        return typed;
    }
    const int style = expr.style.value_or(0);
    if (expr.style && !IsKnownDateStyle(style) && style != 0) {
        context.Fail("CONVERT style " + std::to_string(style) + " is not supported");
    }
    typed.sql = value.cls == ValueClass::Date ? DateToText(context, expr, value, length)
                                              : ValueToText(expr, value, length);
    return typed;
}

// A CASE whose every result is an integer literal within the range (or NULL).
bool CaseOfIntLiteralsWithin(const Expr& argument, const IntegerRange& range) {
    if (argument.kind != ExprKind::Case) {
        return false;
    }
    std::size_t i = argument.hasOperand ? 1 : 0;
    const std::size_t whenEnd = argument.args.size() - (argument.hasElse ? 1 : 0);
    std::vector<const Expr*> results;
    for (; i < whenEnd; i += 2) {
        results.push_back(argument.args[i + 1].get());
    }
    if (argument.hasElse) {
        results.push_back(argument.args.back().get());
    }
    for (const Expr* result : results) {
        if (result->kind == ExprKind::Null) {
            continue;
        }
        const Expr* literal = result;
        bool negative = false;
        if (literal->kind == ExprKind::Unary && literal->text == "-") {
            negative = true;
            literal = literal->args[0].get();
        }
        if (literal->kind != ExprKind::Number) {
            return false;
        }
        const auto v = ParseInt64(literal->text);
        if (!v) {
            return false;
        }
        const std::int64_t signedValue = negative ? -*v : *v;
        if (signedValue < range.first || signedValue > range.second) {
            return false;
        }
    }
    return true;
}

TypedSql ConvertToInteger(const Expr& argument, const TypedSql& value, const std::string& base,
                          const IntegerRange& range) {
    if (value.null) {
        return NullOf("NULL", ValueClass::Integer, base);
    }
    TypedSql typed = MakeTyped("", ValueClass::Integer, base);
    // Literals and CASEs of literals that fit need no check at run time.
    if (value.intValue && *value.intValue >= range.first && *value.intValue <= range.second) {
        typed.sql = std::to_string(*value.intValue);
        typed.intValue = value.intValue;
        return typed;
    }
    if (CaseOfIntLiteralsWithin(argument, range)) {
        typed.sql = value.sql;
        return typed;
    }
    typed.sql = "tsql_convert_int(" + value.sql + ", '" + base + "')";
    return typed;
}

TypedSql ConvertToDate(const Expr& argument, TypedSql value, const std::string& base) {
    const bool keepTime = base != "date";
    if (argument.kind == ExprKind::String && keepTime) {
        return DateLiteral(argument.text);
    }
    if (value.null) {
        return NullOf("NULL", ValueClass::Date, base);
    }
    if (value.cls == ValueClass::Date && keepTime) {
        value.type = base;
        value.column = false;
        return value;
    }
    return MakeTyped("tsql_convert_datetime(" + value.sql + ", " + (keepTime ? "1" : "0") + ")",
                     ValueClass::Date, base);
}

TypedSql ConvertToDecimal(EmitContext& context, const TypeSpec& type, const TypedSql& value) {
    const int precision = type.length.value_or(18);
    const int scale = type.scale.value_or(0);
    if (precision < 1 || precision > 38 || scale < 0 || scale > precision) {
        context.Fail("type " + type.Text() + " is not valid");
    }
    if (value.null) {
        return NullOf("NULL", ValueClass::Number, type.Text());
    }
    return MakeTyped("tsql_convert_decimal(" + value.sql + ", " + std::to_string(precision) + ", " +
                         std::to_string(scale) + ")",
                     ValueClass::Number, type.Text());
}

} // namespace

TypedSql EmitConvert(EmitContext& context, const Expr& expr, NameScope& scope) {
    const TypeSpec& type = expr.type;
    const Expr& argument = *expr.args[0];
    TypedSql value = EmitExpr(context, argument, scope);
    Settle(context, value);
    const std::string& base = type.name;
    if (base == "varchar" || base == "nvarchar") {
        return ConvertToText(context, expr, value);
    }
    if (expr.style) {
        context.Fail("CONVERT style " + std::to_string(*expr.style) + " to " + type.Text() +
                     " is not supported");
    }
    if (type.length && (base == "tinyint" || base == "smallint" || base == "int" ||
                        base == "bigint" || base == "datetime" || base == "date")) {
        context.Fail("type " + type.Text() + " is not valid");
    }
    if (const auto range = IntegerTypeRange(base)) {
        return ConvertToInteger(argument, value, base, *range);
    }
    if (base == "datetime" || base == "smalldatetime" || base == "datetime2" || base == "date") {
        return ConvertToDate(argument, std::move(value), base);
    }
    if (base == "decimal" || base == "numeric") {
        return ConvertToDecimal(context, type, value);
    }
    context.Fail("CONVERT/CAST to " + type.Text() + " is not supported");
}

} // namespace kvad::db::tsql
