#include "function_handlers.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "expr_emitter.h"
#include "tsql_dates.h"

namespace kvad::db::tsql {

namespace {

void ExpectArgs(EmitContext& context, const Expr& expr, std::size_t count) {
    if (expr.args.size() != count) {
        context.Fail(expr.text + " needs " + std::to_string(count) + " argument(s)");
    }
    for (const ExprPtr& arg : expr.args) {
        if (arg->kind == ExprKind::Star) {
            context.Fail(expr.text + "(*) is not supported");
        }
    }
}

// ISNULL(value, fallback): the type of the value, the fallback read as that type.
TypedSql IsNull(EmitContext& context, const Expr& expr, NameScope& scope) {
    ExpectArgs(context, expr, 2);
    TypedSql value = EmitExpr(context, *expr.args[0], scope);
    if (expr.args[1]->kind == ExprKind::String) {
        Settle(context, value);
    }
    const TypedSql fallback =
        CoerceTo(*expr.args[1], EmitExpr(context, *expr.args[1], scope), value.cls);
    TypedSql typed =
        MakeTyped(IfNullFunction() + "(" + value.sql + ", " + fallback.sql + ")", value.cls);
    TakeTypeOf(typed, value);
    if (value.null) {
        typed.cls = fallback.cls;
        typed.type = fallback.type;
        typed.length = fallback.length;
    }
    return typed;
}

// COALESCE(first, ...): the type of the first, string literals read as that type.
TypedSql Coalesce(EmitContext& context, const Expr& expr, NameScope& scope) {
    if (expr.args.size() < 2) {
        context.Fail("COALESCE needs at least two arguments");
    }
    std::string sql = "COALESCE(";
    TypedSql first;
    for (std::size_t i = 0; i < expr.args.size(); ++i) {
        TypedSql arg = EmitExpr(context, *expr.args[i], scope);
        if (i == 0) {
            first = arg;
        } else {
            if (expr.args[i]->kind == ExprKind::String) {
                Settle(context, first);
            }
            arg = CoerceTo(*expr.args[i], std::move(arg), first.cls);
        }
        sql += (i == 0 ? "" : ", ") + arg.sql;
    }
    TypedSql typed = MakeTyped(sql + ")", first.cls);
    TakeTypeOf(typed, first);
    return typed;
}

TypedSql GetDate(EmitContext& context, const Expr& expr, NameScope& /*scope*/) {
    ExpectArgs(context, expr, 0);
    return MakeTyped("tsql_getdate()", ValueClass::Date, "datetime");
}

// DATEADD(part, number, date): the part is checked here, the arithmetic is tsql_dateadd's.
TypedSql DateAdd(EmitContext& context, const Expr& expr, NameScope& scope) {
    ExpectArgs(context, expr, 3);
    const Expr& unit = *expr.args[0];
    if (unit.kind != ExprKind::Column || unit.name.parts.size() != 1) {
        context.Fail("DATEADD needs a date part name as its first argument");
    }
    const auto part = ParseDatePart(unit.name.Last());
    if (!part) {
        context.Fail("DATEADD date part " + unit.name.Last() + " is not supported");
    }
    const TypedSql amount = EmitExpr(context, *expr.args[1], scope);
    TypedSql date =
        CoerceTo(*expr.args[2], EmitExpr(context, *expr.args[2], scope), ValueClass::Date);
    Settle(context, date);
    if (date.cls == ValueClass::Text || date.cls == ValueClass::Integer) {
        context.Fail("DATEADD needs a date as its third argument");
    }
    return MakeTyped("tsql_dateadd('" + std::string(DatePartName(*part)) + "', " + amount.sql +
                         ", " + date.sql + ")",
                     ValueClass::Date, "datetime");
}

// MAX, MIN and ABS: the type of their argument.
TypedSql SameTypeAsArgument(EmitContext& context, const Expr& expr, NameScope& scope) {
    ExpectArgs(context, expr, 1);
    const TypedSql value = EmitExpr(context, *expr.args[0], scope);
    TypedSql typed = MakeTyped(expr.text + "(" + value.sql + ")", value.cls);
    TakeTypeOf(typed, value);
    return typed;
}

TypedSql Sum(EmitContext& context, const Expr& expr, NameScope& scope) {
    ExpectArgs(context, expr, 1);
    TypedSql value = EmitExpr(context, *expr.args[0], scope);
    Settle(context, value);
    if (value.cls == ValueClass::Text || value.cls == ValueClass::Date) {
        context.Fail("SUM of text or dates is not supported");
    }
    return MakeTyped("SUM(" + value.sql + ")",
                     value.cls == ValueClass::Integer ? ValueClass::Integer : ValueClass::Number,
                     value.cls == ValueClass::Integer ? "int" : value.type);
}

TypedSql Count(EmitContext& context, const Expr& expr, NameScope& scope) {
    if (expr.args.size() == 1 && expr.args[0]->kind == ExprKind::Star) {
        return MakeTyped("COUNT(*)", ValueClass::Integer, "int");
    }
    ExpectArgs(context, expr, 1);
    const TypedSql value = EmitExpr(context, *expr.args[0], scope);
    return MakeTyped(std::string("COUNT(") + (expr.distinct ? "DISTINCT " : "") + value.sql + ")",
                     ValueClass::Integer, "int");
}

// UPPER, LOWER, LTRIM and RTRIM: text of the argument's type and length.
TypedSql TextOfSameType(EmitContext& context, const Expr& expr, NameScope& scope) {
    ExpectArgs(context, expr, 1);
    const TypedSql value = EmitExpr(context, *expr.args[0], scope);
    TypedSql typed = MakeTyped(expr.text + "(" + value.sql + ")", ValueClass::Text,
                               value.cls == ValueClass::Text ? value.type : "");
    typed.length = value.length;
    return typed;
}

// LEN leaves trailing blanks out.
TypedSql Len(EmitContext& context, const Expr& expr, NameScope& scope) {
    ExpectArgs(context, expr, 1);
    const TypedSql value = EmitExpr(context, *expr.args[0], scope);
    return MakeTyped("LENGTH(RTRIM(" + value.sql + "))", ValueClass::Integer, "int");
}

TypedSql Substring(EmitContext& context, const Expr& expr, NameScope& scope) {
    ExpectArgs(context, expr, 3);
    const TypedSql value = EmitExpr(context, *expr.args[0], scope);
    const TypedSql start = EmitExpr(context, *expr.args[1], scope);
    const TypedSql count = EmitExpr(context, *expr.args[2], scope);
    TypedSql typed = MakeTyped("SUBSTR(" + value.sql + ", " + start.sql + ", " + count.sql + ")",
                               ValueClass::Text, value.cls == ValueClass::Text ? value.type : "");
    typed.length = value.length;
    return typed;
}

using FunctionHandler = TypedSql (*)(EmitContext&, const Expr&, NameScope&);

struct FunctionEntry {
    std::string_view name;
    FunctionHandler handler;
    /// NAME(DISTINCT x) is accepted.
    bool distinct = false;
};

constexpr std::array<FunctionEntry, 15> kFunctions = {{
    {"ABS", &SameTypeAsArgument},
    {"COALESCE", &Coalesce},
    {"COUNT", &Count, true},
    {"DATEADD", &DateAdd},
    {"GETDATE", &GetDate},
    {"ISNULL", &IsNull},
    {"LEN", &Len},
    {"LOWER", &TextOfSameType},
    {"LTRIM", &TextOfSameType},
    {"MAX", &SameTypeAsArgument},
    {"MIN", &SameTypeAsArgument},
    {"RTRIM", &TextOfSameType},
    {"SUBSTRING", &Substring},
    {"SUM", &Sum},
    {"UPPER", &TextOfSameType},
}};

const FunctionEntry* FindFunction(std::string_view name) {
    for (const FunctionEntry& entry : kFunctions) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

TypedSql EmitFunction(EmitContext& context, const Expr& expr, NameScope& scope) {
    const FunctionEntry* entry = FindFunction(expr.text);
    if (expr.distinct && (entry == nullptr || !entry->distinct)) {
        context.Fail(expr.text + "(DISTINCT ...) is not supported");
    }
    if (entry == nullptr) {
        context.Fail("function " + expr.text + " is not supported");
    }
    return entry->handler(context, expr, scope);
}

} // namespace kvad::db::tsql
