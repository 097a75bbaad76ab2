#include "tsql_emitter.h"

#include <sqlite3.h>

#include <charconv>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kvad_nso/text.h"
#include "tsql_catalogue.h"
#include "tsql_dates.h"
#include "tsql_error.h"
#include "tsql_types.h"

namespace kvad::db::tsql {

namespace {

// ---- values and their types -----------------------------------------------------------------

/// A translated expression with what is known of its value.
struct Typed {
    std::string sql;
    ValueClass cls = ValueClass::Unknown;
    /// T-SQL type ("varchar(50)", "int", "datetime"), empty when unknown.
    std::string type;
    /// Text: the most characters it can hold, when known.
    std::optional<int> length;
    /// A plain column reference: SQLite compares it with the column's declared collation.
    bool column = false;
    bool null = false;
    /// Integer literal (also after folding a CONVERT of one).
    std::optional<std::int64_t> intValue;
    /// The type is that of this column, not looked up yet (see Emitter::Settle).
    const QualifiedName* ref = nullptr;
    const struct Scope* refScope = nullptr;
};

[[nodiscard]] bool IsNumeric(ValueClass cls) noexcept {
    return cls == ValueClass::Integer || cls == ValueClass::Number;
}

// Length of a text type as declared ("varchar(50)" -> 50); nullopt for max and unsized types.
[[nodiscard]] std::optional<int> DeclaredLength(std::string_view declType) {
    const std::size_t open = declType.find('(');
    if (open == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t close = declType.find_first_of(",)", open);
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, ec] =
        std::from_chars(declType.data() + open + 1, declType.data() + close, value);
    if (ec != std::errc() || end != declType.data() + close) {
        return std::nullopt;
    }
    return value;
}

// Scale of a decimal type as declared ("decimal(19,6)" -> 6).
[[nodiscard]] std::optional<int> DeclaredScale(std::string_view declType) {
    const std::size_t comma = declType.find(',');
    if (comma == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t close = declType.find(')', comma);
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view digits = declType.substr(comma + 1, close - comma - 1);
    while (!digits.empty() && digits.front() == ' ') {
        digits.remove_prefix(1);
    }
    int value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc()) {
        return std::nullopt;
    }
    return value;
}

/// A column a source provides, with what is known of its type.
struct ColumnInfo {
    std::string name;
    ValueClass cls = ValueClass::Unknown;
    std::string type;
    std::optional<int> length;
    bool identity = false;
};

/// The columns of a source; `complete` is false when some could not be known.
struct ColumnList {
    std::vector<ColumnInfo> columns;
    bool complete = true;
};

[[nodiscard]] ColumnInfo InfoFromDecl(std::string name, std::string_view declType) {
    ColumnInfo info;
    info.name = std::move(name);
    info.cls = ClassOfType(declType);
    info.type = std::string(declType);
    if (info.cls == ValueClass::Text) {
        info.length = DeclaredLength(declType);
    }
    return info;
}

[[nodiscard]] ColumnInfo InfoFromTyped(std::string name, const Typed& typed) {
    ColumnInfo info;
    info.name = std::move(name);
    info.cls = typed.cls;
    info.type = typed.type;
    info.length = typed.length;
    return info;
}

struct Scope;

struct Source;

/// An OUTER APPLY (SELECT TOP 1 ...) AS alias: its columns become correlated subqueries.
struct ApplyInfo {
    const QueryExpr* query = nullptr;
    const Scope* owner = nullptr;
    /// The sources of the owner's FROM clause left of the apply: the only ones its subquery
    /// sees there (not the apply itself, whose columns it computes).
    std::vector<Source> left;
    ColumnList columns;
};

/// A source of a FROM clause as the expressions see it. The columns of a table are looked up
/// only when a type is needed.
struct Source {
    std::string exposed;
    mutable const ColumnList* columns = nullptr;
    const ApplyInfo* apply = nullptr;
    /// Table whose columns are still to be looked up (empty once done).
    mutable std::string pendingTable;
};

/// The sources of one SELECT, inside those of the enclosing queries.
struct Scope {
    explicit Scope(const Scope* outer) : parent(outer) {}
    const Scope* parent;
    std::vector<Source> sources;
    std::deque<ApplyInfo> applies;
};

struct Resolved {
    const ColumnInfo* column = nullptr;
    const Source* source = nullptr;
    std::size_t index = 0;
};

[[nodiscard]] std::string QuoteString(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    out.push_back('\'');
    return out;
}

[[nodiscard]] std::optional<std::int64_t> ParseInt64(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// ---- the emitter ----------------------------------------------------------------------------

// Most text the columns of OUTER APPLY may add to a translation, as their subqueries.
constexpr std::size_t kMaxInlinedApplies = 1'000'000;

class Emitter {
  public:
    Emitter(std::string_view text, SchemaLookup& schema) : text_(text), schema_(schema) {}

    Translation Run(const Statement& statement) {
        if (statement.query) {
            Translation result = RunQuery(*statement.query);
            result.readsCatalogue = readsCatalogue_;
            return result;
        }
        if (statement.insert) {
            return RunInsert(*statement.insert);
        }
        if (statement.update) {
            return RunUpdate(*statement.update);
        }
        if (statement.del) {
            return RunDelete(*statement.del);
        }
        return RunDrop(*statement.drop);
    }

  private:
    [[noreturn]] void Fail(const std::string& message) const { Refuse(message, text_); }

    // ---- schema -----------------------------------------------------------------------

    const ColumnList* TableColumns(const std::string& table) {
        const std::string key = AsciiUpper(table);
        auto found = tables_.find(key);
        if (found == tables_.end()) {
            std::optional<ColumnList> list;
            if (auto decls = schema_.TableColumns(table)) {
                list.emplace();
                for (const ColumnDecl& decl : *decls) {
                    list->columns.push_back(InfoFromDecl(decl.name, decl.declType));
                    list->columns.back().identity = decl.identity;
                }
            }
            found = tables_.emplace(key, std::move(list)).first;
        }
        return found->second ? &*found->second : nullptr;
    }

    // The SQLite name of a table of the statement: dbo.X and X are X, #X is temp."#X".
    std::string TableSql(const QualifiedName& name) {
        if (name.parts.size() == 3) {
            Fail("tables of another database are not supported (" + name.parts[0] + ")");
        }
        if (name.parts.size() == 2 && !EqualsNoCase(name.parts[0], "dbo")) {
            Fail("schema " + name.parts[0] + " is not supported");
        }
        const std::string& table = name.Last();
        if (table.starts_with('#')) {
            return "temp." + SqliteIdentifier(table);
        }
        return SqliteIdentifier(table);
    }

    [[nodiscard]] const ColumnList* FindCte(std::string_view name) const {
        for (auto it = ctes_.rbegin(); it != ctes_.rend(); ++it) {
            if (EqualsNoCase(it->first, name)) {
                return it->second;
            }
        }
        return nullptr;
    }

    [[nodiscard]] bool IsCte(std::string_view name) const {
        for (const auto& entry : ctes_) {
            if (EqualsNoCase(entry.first, name)) {
                return true;
            }
        }
        return false;
    }

    // ---- name resolution --------------------------------------------------------------

    const ColumnList* Columns(const Source& source) {
        if (!source.pendingTable.empty()) {
            source.columns = TableColumns(source.pendingTable);
            source.pendingTable.clear();
        }
        return source.columns;
    }

    std::optional<Resolved> FindIn(const Source& source, std::string_view column) {
        if (Columns(source) == nullptr) {
            return std::nullopt;
        }
        const auto& columns = source.columns->columns;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (EqualsNoCase(columns[i].name, column)) {
                return Resolved{&columns[i], &source, i};
            }
        }
        return std::nullopt;
    }

    // The column a reference names, when it can be known for sure.
    Resolved Resolve(const QualifiedName& name, const Scope& scope) {
        const std::string& column = name.Last();
        const std::string* qualifier =
            name.parts.size() >= 2 ? &name.parts[name.parts.size() - 2] : nullptr;
        for (const Scope* s = &scope; s != nullptr; s = s->parent) {
            if (qualifier != nullptr) {
                for (const Source& source : s->sources) {
                    if (EqualsNoCase(source.exposed, *qualifier)) {
                        return FindIn(source, column).value_or(Resolved{});
                    }
                }
                continue;
            }
            int hits = 0;
            bool uncertain = false;
            Resolved found;
            for (const Source& source : s->sources) {
                if (auto hit = FindIn(source, column)) {
                    ++hits;
                    found = *hit;
                } else if (source.columns == nullptr || !source.columns->complete) {
                    uncertain = true;
                }
            }
            if (hits == 1 && !uncertain) {
                return found;
            }
            if (hits > 0 || uncertain) {
                return {};
            }
        }
        return {};
    }

    static const Source* FindSource(const Scope& scope, std::string_view exposed) {
        for (const Source& source : scope.sources) {
            if (EqualsNoCase(source.exposed, exposed)) {
                return &source;
            }
        }
        return nullptr;
    }

    // ---- statements -------------------------------------------------------------------

    Translation RunQuery(const QueryExpr& query) {
        Translation result;
        ColumnList columns;
        const SelectCore& first = query.cores.front();
        needTypes_ = first.into.has_value();
        result.sql = EmitQuery(query, nullptr, columns, nullptr, true);
        if (!first.into) {
            // The types also help the reader of a query where SQLite declares none (computed
            // columns); a name given to columns of different types gets no hint.
            result.kind = Translation::Kind::Query;
            std::map<std::string, std::string> seen;
            for (const ColumnInfo& column : columns.columns) {
                const std::string key = AsciiUpper(column.name);
                if (column.name.empty() || column.type.empty() || seen.contains(key)) {
                    if (seen.contains(key) && seen[key] != column.type) {
                        std::erase_if(result.columnTypes, [&key](const auto& entry) {
                            return AsciiUpper(entry.first) == key;
                        });
                    }
                    continue;
                }
                seen[key] = column.type;
                result.columnTypes[column.name] = column.type;
            }
            return result;
        }
        if (first.into->parts.size() != 1) {
            Fail("SELECT INTO is supported only into a table of this database");
        }
        result.kind = Translation::Kind::SelectInto;
        result.intoTable = first.into->Last();
        for (const ColumnInfo& column : columns.columns) {
            if (column.name.empty()) {
                Fail("SELECT INTO needs a name for every column");
            }
            if (!column.type.empty()) {
                result.columnTypes[column.name] = column.type;
            }
        }
        return result;
    }

    Translation RunInsert(const InsertStmt& insert) {
        Translation result;
        result.kind = Translation::Kind::Command;
        const std::string table = TableSql(insert.table);
        // The table's columns are needed without a column list (every column but the identity
        // takes a value) and for text values going into date or number columns.
        bool anyString = false;
        for (const auto& row : insert.rows) {
            for (const ExprPtr& value : row) {
                anyString = anyString || value->kind == ExprKind::String;
            }
        }
        std::vector<std::string> names = insert.columns;
        const ColumnList* tableColumns = nullptr;
        if (names.empty() || anyString) {
            tableColumns = TableColumns(insert.table.Last());
        }
        if (names.empty()) {
            if (tableColumns == nullptr) {
                Fail("table " + insert.table.Last() + " not found");
            }
            for (const ColumnInfo& column : tableColumns->columns) {
                if (!column.identity) {
                    names.push_back(column.name);
                }
            }
        }
        std::vector<const ColumnInfo*> targets;
        for (const std::string& name : names) {
            const ColumnInfo* info = nullptr;
            if (tableColumns != nullptr) {
                for (const ColumnInfo& column : tableColumns->columns) {
                    if (EqualsNoCase(column.name, name)) {
                        info = &column;
                    }
                }
            }
            targets.push_back(info);
        }
        std::string sql = "INSERT INTO " + table + " (";
        for (std::size_t i = 0; i < names.size(); ++i) {
            sql += (i == 0 ? "" : ", ") + SqliteIdentifier(names[i]);
        }
        sql += ")";
        Scope scope(nullptr);
        if (insert.query) {
            ColumnList columns;
            sql += " " + EmitQuery(*insert.query, nullptr, columns, nullptr, false);
            if (columns.complete && columns.columns.size() != names.size()) {
                Fail("the SELECT of INSERT gives " + std::to_string(columns.columns.size()) +
                     " columns for " + std::to_string(names.size()));
            }
        } else {
            sql += " VALUES ";
            for (std::size_t r = 0; r < insert.rows.size(); ++r) {
                const auto& row = insert.rows[r];
                if (row.size() != names.size()) {
                    Fail("Column name or number of supplied values does not match table "
                         "definition.");
                }
                sql += (r == 0 ? "(" : ", (");
                for (std::size_t i = 0; i < row.size(); ++i) {
                    const ValueClass target =
                        targets[i] != nullptr ? targets[i]->cls : ValueClass::Unknown;
                    sql += (i == 0 ? "" : ", ") +
                           CoerceTo(*row[i], EmitExpr(*row[i], scope), target).sql;
                }
                sql += ")";
            }
        }
        result.sql = std::move(sql);
        return result;
    }

    Translation RunDelete(const DeleteStmt& del) {
        Translation result;
        result.kind = Translation::Kind::Command;
        Scope scope(nullptr);
        AddTableSource(scope, del.table, "");
        result.sql = "DELETE FROM " + TableSql(del.table);
        if (del.where) {
            result.sql += " WHERE " + EmitExpr(*del.where, scope).sql;
        }
        return result;
    }

    Translation RunDrop(const DropStmt& drop) {
        Translation result;
        result.kind = Translation::Kind::Command;
        const std::string table = TableSql(drop.table);
        if (drop.ifExists) {
            result.sql = "DROP TABLE IF EXISTS " + table;
            if (!schema_.TableColumns(drop.table.Last())) {
                result.kind = Translation::Kind::Nothing;
            }
            return result;
        }
        result.sql = "DROP TABLE " + table;
        return result;
    }

    Translation RunUpdate(const UpdateStmt& update) {
        Translation result;
        result.kind = Translation::Kind::Command;
        if (!update.from) {
            return RunPlainUpdate(update);
        }
        if (update.target.parts.size() != 1) {
            Fail("UPDATE ... FROM needs the target as a single name");
        }
        // The row source is the whole FROM clause; the target is the one source of it that
        // the UPDATE names, by alias or, when it appears once, by table name.
        Scope scope(nullptr);
        const std::string from = EmitFrom(*update.from, scope);
        const std::string& targetName = update.target.Last();
        const TableSource* target = nullptr;
        std::vector<const TableSource*> all;
        all.push_back(&update.from->first);
        for (const Join& join : update.from->joins) {
            all.push_back(&join.source);
        }
        for (const TableSource* source : all) {
            if (!source->alias.empty() && EqualsNoCase(source->alias, targetName)) {
                target = source;
            }
        }
        if (target == nullptr) {
            int count = 0;
            for (const TableSource* source : all) {
                if (source->kind == TableSource::Kind::Table &&
                    EqualsNoCase(source->name.Last(), targetName)) {
                    target = source;
                    ++count;
                }
            }
            if (count == 0) {
                Fail("UPDATE target " + targetName +
                     " does not appear in its FROM clause (every row would be joined to "
                     "every row)");
            }
            if (count > 1) {
                Fail("UPDATE target " + targetName + " appears more than once in FROM");
            }
        }
        if (target->kind != TableSource::Kind::Table || IsSysName(target->name) ||
            (target->name.parts.size() == 1 && IsCte(target->name.Last()))) {
            Fail("UPDATE target " + targetName + " is not a table");
        }
        const std::string table = TableSql(target->name);
        const Source* targetSource = FindSource(scope, target->ExposedName());
        std::string select = "SELECT " + QualifierSql(target->ExposedName()) + ".rowid AS __rid";
        std::string sets;
        for (std::size_t i = 0; i < update.assignments.size(); ++i) {
            const Assignment& assignment = update.assignments[i];
            const std::string& column = CheckSetColumn(assignment.column, *target);
            const Typed value = CoerceTo(*assignment.value, EmitExpr(*assignment.value, scope),
                                         TargetClass(targetSource, column, *assignment.value));
            const std::string valueName = "__v" + std::to_string(i + 1);
            select += ", " + value.sql + " AS " + valueName;
            sets += (i == 0 ? "" : ", ") + SqliteIdentifier(column) + " = __src." + valueName;
        }
        select += " FROM " + from;
        if (update.where) {
            select += " WHERE " + EmitExpr(*update.where, scope).sql;
        }
        const std::string targetRef = SqliteIdentifier(target->name.Last());
        result.sql = "UPDATE " + table + " SET " + sets + " FROM (" + select + ") AS __src WHERE " +
                     targetRef + ".rowid = __src.__rid";
        return result;
    }

    Translation RunPlainUpdate(const UpdateStmt& update) {
        Translation result;
        result.kind = Translation::Kind::Command;
        Scope scope(nullptr);
        AddTableSource(scope, update.target, "");
        TableSource target;
        target.name = update.target;
        const Source* targetSource = &scope.sources.front();
        std::string sql = "UPDATE " + TableSql(update.target) + " SET ";
        for (std::size_t i = 0; i < update.assignments.size(); ++i) {
            const Assignment& assignment = update.assignments[i];
            const std::string& column = CheckSetColumn(assignment.column, target);
            const Typed value = CoerceTo(*assignment.value, EmitExpr(*assignment.value, scope),
                                         TargetClass(targetSource, column, *assignment.value));
            sql += (i == 0 ? "" : ", ") + SqliteIdentifier(column) + " = " + value.sql;
        }
        if (update.where) {
            sql += " WHERE " + EmitExpr(*update.where, scope).sql;
        }
        result.sql = std::move(sql);
        return result;
    }

    // SET may qualify the column only with the target's own name.
    const std::string& CheckSetColumn(const QualifiedName& column, const TableSource& target) {
        if (column.parts.size() > 2 ||
            (column.parts.size() == 2 && !EqualsNoCase(column.parts[0], target.ExposedName()) &&
             !EqualsNoCase(column.parts[0], target.name.Last()))) {
            Fail("SET column " + column.parts.front() + "." + column.Last() +
                 " is not a column of the UPDATE target");
        }
        return column.Last();
    }

    // The class of a SET column, looked up only for a text literal (the one value it changes).
    ValueClass TargetClass(const Source* source, std::string_view column, const Expr& value) {
        if (source == nullptr || value.kind != ExprKind::String) {
            return ValueClass::Unknown;
        }
        const auto hit = FindIn(*source, column);
        return hit ? hit->column->cls : ValueClass::Unknown;
    }

    // ---- queries ----------------------------------------------------------------------

    // Writes a query; `out` receives the columns of its first SELECT. `cteSlot` is the entry
    // of ctes_ the query defines (its columns become known to its recursive members as soon
    // as the first SELECT is written).
    std::string EmitQuery(const QueryExpr& query, const Scope* parent, ColumnList& out,
                          const Cte* cte, bool topLevel) {
        const std::size_t ctesBefore = ctes_.size();
        std::string sql;
        if (!query.ctes.empty()) {
            sql = "WITH RECURSIVE ";
            for (std::size_t i = 0; i < query.ctes.size(); ++i) {
                const Cte& definition = query.ctes[i];
                ctes_.emplace_back(definition.name, nullptr);
                ColumnList& columns = lists_.emplace_back();
                const std::string body =
                    EmitQuery(*definition.query, parent, columns, &definition, false);
                SetCteColumns(definition.name, &columns);
                sql += (i == 0 ? "" : ", ") + SqliteIdentifier(definition.name);
                if (!definition.columns.empty()) {
                    sql += "(";
                    for (std::size_t c = 0; c < definition.columns.size(); ++c) {
                        sql += (c == 0 ? "" : ", ") + SqliteIdentifier(definition.columns[c]);
                    }
                    sql += ")";
                }
                // SQL Server expands a common table expression where it is used; SQLite may
                // materialize it without an index, which makes a join on it quadratic. Only a
                // recursive one (its body names it) has to be materialized.
                const bool recursive =
                    body.find(SqliteIdentifier(definition.name)) != std::string::npos;
                sql += std::string(recursive ? " AS (" : " AS NOT MATERIALIZED (") + body + ")";
            }
            sql += " ";
        }
        std::deque<Scope> scopes;
        const bool compound = query.cores.size() > 1;
        for (std::size_t i = 0; i < query.cores.size(); ++i) {
            const SelectCore& core = query.cores[i];
            if (core.into && !(topLevel && i == 0)) {
                Fail("SELECT INTO is supported only as the statement's first SELECT");
            }
            Scope& scope = scopes.emplace_back(parent);
            ColumnList scratch;
            ColumnList& columns = i == 0 ? out : scratch;
            std::string coreSql = EmitCore(core, scope, columns);
            if (i == 0 && cte != nullptr) {
                if (!cte->columns.empty()) {
                    if (columns.complete && columns.columns.size() != cte->columns.size()) {
                        Fail("common table expression " + cte->name + " names " +
                             std::to_string(cte->columns.size()) + " columns for " +
                             std::to_string(columns.columns.size()));
                    }
                    for (std::size_t c = 0; c < cte->columns.size() && c < columns.columns.size();
                         ++c) {
                        columns.columns[c].name = cte->columns[c];
                    }
                }
                SetCteColumns(cte->name, &columns);
            }
            if (i > 0) {
                sql += " " + query.setOps[i - 1] + " ";
            }
            if (compound && core.top) {
                // A member of a compound cannot have its own LIMIT in SQLite.
                sql += "SELECT * FROM (";
                sql += coreSql;
                sql += " LIMIT ";
                sql += EmitExpr(*core.top, scope).sql;
                sql += ")";
            } else {
                sql += coreSql;
            }
        }
        if (!query.orderBy.empty()) {
            Scope compoundScope(parent);
            Scope& scope = compound ? compoundScope : scopes.front();
            sql += " ORDER BY ";
            for (std::size_t i = 0; i < query.orderBy.size(); ++i) {
                const OrderItem& item = query.orderBy[i];
                Typed value = EmitExpr(*item.expr, scope);
                if (!value.column) {
                    Settle(value);
                }
                if (value.cls == ValueClass::Text && !value.column) {
                    value.sql += " COLLATE NOCASE";
                }
                sql += (i == 0 ? "" : ", ") + value.sql + (item.descending ? " DESC" : "");
            }
        }
        if (!compound && query.cores.front().top) {
            sql += " LIMIT " + EmitExpr(*query.cores.front().top, scopes.front()).sql;
        }
        ctes_.resize(ctesBefore);
        return sql;
    }

    void SetCteColumns(std::string_view name, const ColumnList* columns) {
        for (auto it = ctes_.rbegin(); it != ctes_.rend(); ++it) {
            if (EqualsNoCase(it->first, name)) {
                it->second = columns;
                return;
            }
        }
    }

    std::string EmitCore(const SelectCore& core, Scope& scope, ColumnList& out) {
        std::string from;
        if (core.from) {
            from = EmitFrom(*core.from, scope);
        }
        std::string items;
        for (const SelectItem& item : core.items) {
            if (!items.empty()) {
                items += ", ";
            }
            if (item.expr->kind == ExprKind::Star) {
                items += EmitStarItem(*item.expr, scope, out);
                continue;
            }
            Typed value = EmitExpr(*item.expr, scope);
            if (!value.column) {
                Settle(value);
            } else {
                SettleIfKnown(value);
            }
            std::string name = item.alias;
            if (name.empty() && item.expr->kind == ExprKind::Column) {
                name = item.expr->name.Last();
            }
            // Computed text keeps SQL Server's case-insensitive comparison in the queries
            // that read this column (CTEs, derived tables, DISTINCT).
            if (value.cls == ValueClass::Text && !value.column) {
                value.sql += " COLLATE NOCASE";
            }
            items += value.sql;
            if (!item.alias.empty()) {
                items += " AS " + SqliteIdentifier(item.alias);
            }
            out.columns.push_back(InfoFromTyped(std::move(name), value));
        }
        std::string sql = "SELECT ";
        if (core.distinct) {
            sql += "DISTINCT ";
        }
        sql += items;
        if (core.from) {
            sql += " FROM " + from;
        }
        if (core.where) {
            sql += " WHERE " + EmitExpr(*core.where, scope).sql;
        }
        if (!core.groupBy.empty()) {
            sql += " GROUP BY ";
            for (std::size_t i = 0; i < core.groupBy.size(); ++i) {
                Typed value = EmitExpr(*core.groupBy[i], scope);
                if (!value.column) {
                    Settle(value);
                }
                if (value.cls == ValueClass::Text && !value.column) {
                    value.sql += " COLLATE NOCASE";
                }
                sql += (i == 0 ? "" : ", ") + value.sql;
            }
        }
        if (core.having) {
            sql += " HAVING " + EmitExpr(*core.having, scope).sql;
        }
        return sql;
    }

    // * and T.*; the columns of an OUTER APPLY are written out one by one.
    std::string EmitStarItem(const Expr& star, const Scope& scope, ColumnList& out) {
        auto appendColumns = [&out](const Source& source) {
            if (!source.pendingTable.empty() || source.columns == nullptr) {
                out.complete = false;
                return;
            }
            out.complete = out.complete && source.columns->complete;
            for (const ColumnInfo& column : source.columns->columns) {
                out.columns.push_back(column);
            }
        };
        if (star.name.parts.empty()) {
            if (scope.sources.empty()) {
                Fail("SELECT * without FROM");
            }
            std::string sql = "*";
            for (const Source& source : scope.sources) {
                appendColumns(source);
                if (source.apply != nullptr) {
                    sql += ", " + ApplyColumns(source);
                }
            }
            return sql;
        }
        const std::string& qualifier = star.name.Last();
        const Source* source = FindSource(scope, qualifier);
        if (source == nullptr) {
            Fail("unknown table " + qualifier + " in " + qualifier + ".*");
        }
        appendColumns(*source);
        if (source->apply != nullptr) {
            return ApplyColumns(*source);
        }
        return QualifierSql(qualifier) + ".*";
    }

    std::string ApplyColumns(const Source& source) {
        std::string sql;
        const auto& columns = source.columns->columns;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            sql += (i == 0 ? "" : ", ") + ApplyValue(*source.apply, i).sql + " AS " +
                   SqliteIdentifier(columns[i].name);
        }
        return sql;
    }

    // A column of an OUTER APPLY (SELECT TOP 1 ...): the same SELECT as a correlated scalar
    // subquery, which gives NULL when there is no row, as OUTER APPLY does.
    Typed ApplyValue(const ApplyInfo& apply, std::size_t index) {
        const SelectCore& core = apply.query->cores.front();
        Scope leftOfApply(apply.owner->parent);
        leftOfApply.sources = apply.left;
        Scope inner(&leftOfApply);
        std::string from;
        if (core.from) {
            from = EmitFrom(*core.from, inner);
        }
        Typed value = EmitExpr(*core.items[index].expr, inner);
        Settle(value);
        std::string sql = "(SELECT " + value.sql;
        if (core.from) {
            sql += " FROM " + from;
        }
        if (core.where) {
            sql += " WHERE " + EmitExpr(*core.where, inner).sql;
        }
        if (!core.groupBy.empty()) {
            sql += " GROUP BY ";
            for (std::size_t i = 0; i < core.groupBy.size(); ++i) {
                sql += (i == 0 ? "" : ", ") + EmitExpr(*core.groupBy[i], inner).sql;
            }
        }
        if (core.having) {
            sql += " HAVING " + EmitExpr(*core.having, inner).sql;
        }
        if (!apply.query->orderBy.empty()) {
            sql += " ORDER BY ";
            for (std::size_t i = 0; i < apply.query->orderBy.size(); ++i) {
                const OrderItem& item = apply.query->orderBy[i];
                sql += (i == 0 ? "" : ", ") + EmitExpr(*item.expr, inner).sql +
                       (item.descending ? " DESC" : "");
            }
        }
        sql += " LIMIT 1)";
        // Every use of an apply's column repeats its subquery, and the subquery may use the
        // columns of an earlier apply: the text could double with every apply.
        inlinedApplies_ += sql.size();
        if (inlinedApplies_ > kMaxInlinedApplies) {
            Fail("the columns of OUTER APPLY are used too often (the translation would exceed " +
                 std::to_string(kMaxInlinedApplies) + " bytes)");
        }
        Typed result;
        result.sql = std::move(sql);
        result.cls = value.cls;
        result.type = value.type;
        result.length = value.length;
        return result;
    }

    std::string EmitFrom(const FromClause& from, Scope& scope) {
        std::string sql = EmitSource(from.first, scope);
        bool applySeen = false;
        for (const Join& join : from.joins) {
            if (join.type == JoinType::OuterApply) {
                RegisterApply(join.source, scope);
                applySeen = true;
                continue;
            }
            if (join.type == JoinType::CrossApply) {
                Fail("CROSS APPLY is not supported");
            }
            if (applySeen) {
                Fail("a join after OUTER APPLY is not supported");
            }
            switch (join.type) {
            case JoinType::Inner:
                // Catalogue views are joined in the order written (SQLite's CROSS JOIN keeps
                // it): the table is found by name first, so its columns are read only once.
                sql += join.source.kind != TableSource::Kind::Derived && IsSysName(join.source.name)
                           ? " CROSS JOIN "
                           : " INNER JOIN ";
                break;
            case JoinType::Left:
                sql += " LEFT OUTER JOIN ";
                break;
            case JoinType::Right:
                sql += " RIGHT OUTER JOIN ";
                break;
            case JoinType::Full:
                sql += " FULL OUTER JOIN ";
                break;
            case JoinType::Cross:
                sql += " CROSS JOIN ";
                break;
            case JoinType::Comma:
                sql += ", ";
                break;
            case JoinType::OuterApply:
            case JoinType::CrossApply:
                break;
            }
            sql += EmitSource(join.source, scope);
            if (join.on) {
                sql += " ON " + EmitExpr(*join.on, scope).sql;
            }
        }
        return sql;
    }

    void RegisterApply(const TableSource& source, Scope& scope) {
        if (source.kind != TableSource::Kind::Derived) {
            Fail("OUTER APPLY is supported only on a subquery");
        }
        const QueryExpr& query = *source.query;
        if (!query.ctes.empty() || query.cores.size() != 1) {
            Fail("OUTER APPLY is supported only on a single SELECT");
        }
        const SelectCore& core = query.cores.front();
        if (!core.top || core.top->kind != ExprKind::Number || core.top->text != "1") {
            Fail("OUTER APPLY is supported only on SELECT TOP 1 (it must give at most one row)");
        }
        ApplyInfo& apply = scope.applies.emplace_back();
        apply.query = &query;
        apply.owner = &scope;
        apply.left = scope.sources;
        // The types of the columns: written once in a scratch scope to learn them.
        Scope probe(&scope);
        if (core.from) {
            (void)EmitFrom(*core.from, probe);
        }
        for (const SelectItem& item : core.items) {
            if (item.expr->kind == ExprKind::Star) {
                Fail("OUTER APPLY (SELECT * ...) is not supported: name its columns");
            }
            std::string name = item.alias;
            if (name.empty() && item.expr->kind == ExprKind::Column) {
                name = item.expr->name.Last();
            }
            if (name.empty()) {
                Fail("every column of OUTER APPLY needs a name");
            }
            Typed value = EmitExpr(*item.expr, probe);
            apply.columns.columns.push_back(InfoFromTyped(name, Settle(value)));
        }
        scope.sources.push_back(Source{source.alias, &apply.columns, &apply, {}});
    }

    [[nodiscard]] static bool IsSysName(const QualifiedName& name) {
        return name.parts.size() == 2 && EqualsNoCase(name.parts[0], "sys");
    }

    void AddTableSource(Scope& scope, const QualifiedName& name, const std::string& alias) {
        const std::string& table = name.Last();
        if (name.parts.size() == 1 && IsCte(table)) {
            scope.sources.push_back(
                Source{alias.empty() ? table : alias, FindCte(table), nullptr, {}});
            return;
        }
        scope.sources.push_back(Source{alias.empty() ? table : alias, nullptr, nullptr, table});
        if (needTypes_) {
            (void)Columns(scope.sources.back());
        }
    }

    std::string EmitSource(const TableSource& source, Scope& scope) {
        if (source.kind == TableSource::Kind::Derived) {
            ColumnList& columns = lists_.emplace_back();
            const std::string body =
                EmitQuery(*source.query, scope.parent, columns, nullptr, false);
            scope.sources.push_back(Source{source.alias, &columns, nullptr, {}});
            return "(" + body + ") AS " + SqliteIdentifier(source.alias);
        }
        if (IsSysName(source.name)) {
            auto view = CatalogueViewFor(source.name.Last());
            if (!view) {
                Fail("catalogue view sys." + source.name.Last() + " is not supported");
            }
            ColumnList& columns = lists_.emplace_back();
            for (const CatalogueColumn& column : view->columns) {
                columns.columns.push_back(
                    InfoFromDecl(std::string(column.name), std::string(column.type)));
            }
            const std::string& exposed = source.ExposedName();
            scope.sources.push_back(Source{exposed, &columns, nullptr, {}});
            readsCatalogue_ = true;
            return view->sql + " AS " + SqliteIdentifier(exposed);
        }
        if (source.name.parts.size() == 1 && IsCte(source.name.Last())) {
            scope.sources.push_back(
                Source{source.ExposedName(), FindCte(source.name.Last()), nullptr, {}});
            std::string sql = SqliteIdentifier(source.name.Last());
            if (!source.alias.empty()) {
                sql += " AS " + SqliteIdentifier(source.alias);
            }
            return sql;
        }
        std::string sql = TableSql(source.name);
        AddTableSource(scope, source.name, source.alias);
        if (!source.alias.empty()) {
            sql += " AS " + SqliteIdentifier(source.alias);
        }
        return sql;
    }

    // A table or alias used as a qualifier: "#T".col for temporary tables.
    static std::string QualifierSql(std::string_view name) { return SqliteIdentifier(name); }

    // ---- expressions ------------------------------------------------------------------

    static Typed Make(std::string sql, ValueClass cls, std::string type = {}) {
        Typed typed;
        typed.sql = std::move(sql);
        typed.cls = cls;
        typed.type = std::move(type);
        return typed;
    }

    // A date given as text, in the stored form; the empty text is 1900-01-01 as in SQL
    // Server, other text that is no date fails when the statement runs.
    static Typed DateLiteral(std::string_view text) {
        std::string_view trimmed = text;
        while (!trimmed.empty() && trimmed.front() == ' ') {
            trimmed.remove_prefix(1);
        }
        while (!trimmed.empty() && trimmed.back() == ' ') {
            trimmed.remove_suffix(1);
        }
        if (trimmed.empty()) {
            return Make("'1900-01-01 00:00:00'", ValueClass::Date, "datetime");
        }
        if (const auto date = ParseDateTime(trimmed)) {
            return Make(QuoteString(FormatDateTime(*date)), ValueClass::Date, "datetime");
        }
        return Make("tsql_convert_datetime(" + QuoteString(text) + ", 1)", ValueClass::Date,
                    "datetime");
    }

    // A string literal that a comparison with a date or a number reads differently from its
    // text: the empty string (1900-01-01, 0) and dates not in the stored form. Only for these
    // does a comparison look up the other side's type; other text compares as it is (SQLite's
    // column affinity reads numbers in text as numbers).
    static bool MayBeReadAsAnother(const Expr& expr) {
        if (expr.kind != ExprKind::String) {
            return false;
        }
        if (expr.text.find_first_not_of(' ') == std::string::npos) {
            return true;
        }
        const auto date = ParseDateTime(expr.text);
        return date && FormatDateTime(*date) != expr.text;
    }

    // A string literal meeting a value of another class is read as that class, as SQL Server
    // converts it (the string has the lower precedence).
    static Typed CoerceTo(const Expr& expr, Typed typed, ValueClass target) {
        if (expr.kind != ExprKind::String) {
            return typed;
        }
        if (target == ValueClass::Date) {
            return DateLiteral(expr.text);
        }
        if (target == ValueClass::Integer) {
            std::string_view text = expr.text;
            while (!text.empty() && text.front() == ' ') {
                text.remove_prefix(1);
            }
            while (!text.empty() && text.back() == ' ') {
                text.remove_suffix(1);
            }
            if (text.empty()) {
                return Make("0", ValueClass::Integer, "int");
            }
            if (const auto value = ParseInt64(text.front() == '+' ? text.substr(1) : text)) {
                Typed out = Make(std::to_string(*value), ValueClass::Integer, "int");
                out.intValue = value;
                return out;
            }
            return Make("tsql_convert_int(" + typed.sql + ", 'int')", ValueClass::Integer, "int");
        }
        return typed;
    }

    Typed EmitExpr(const Expr& expr, Scope& scope) {
        switch (expr.kind) {
        case ExprKind::Null: {
            Typed typed = Make("NULL", ValueClass::Unknown);
            typed.null = true;
            return typed;
        }
        case ExprKind::Number:
            return NumberLiteral(expr.text);
        case ExprKind::String: {
            Typed typed = Make(QuoteString(expr.text), ValueClass::Text);
            const int length = static_cast<int>(expr.text.size());
            typed.type = (expr.national ? "nvarchar(" : "varchar(") +
                         std::to_string(length == 0 ? 1 : length) + ")";
            typed.length = length;
            return typed;
        }
        case ExprKind::Column:
            return EmitColumn(expr, scope);
        case ExprKind::Star:
            Fail("* is allowed only in a select list or COUNT(*)");
        case ExprKind::Unary:
            return EmitUnary(expr, scope);
        case ExprKind::Binary:
            return EmitBinary(expr, scope);
        case ExprKind::Compare:
            return EmitCompare(expr, scope);
        case ExprKind::And:
        case ExprKind::Or: {
            std::string sql = "(";
            const char* op = expr.kind == ExprKind::And ? " AND " : " OR ";
            for (std::size_t i = 0; i < expr.args.size(); ++i) {
                sql += (i == 0 ? "" : op) + EmitExpr(*expr.args[i], scope).sql;
            }
            return Make(sql + ")", ValueClass::Integer);
        }
        case ExprKind::Not:
            return Make("(NOT " + EmitExpr(*expr.args[0], scope).sql + ")", ValueClass::Integer);
        case ExprKind::IsNull:
            return Make("(" + EmitExpr(*expr.args[0], scope).sql +
                            (expr.negated ? " IS NOT NULL)" : " IS NULL)"),
                        ValueClass::Integer);
        case ExprKind::InList:
            return EmitInList(expr, scope);
        case ExprKind::InQuery: {
            Typed left = EmitExpr(*expr.args[0], scope);
            ColumnList columns;
            const std::string sub = EmitQuery(*expr.query, &scope, columns, nullptr, false);
            if (columns.complete && columns.columns.size() != 1) {
                Fail("the subquery of IN must give one column");
            }
            std::string lhs = left.sql;
            if (!left.column && !IsNumeric(left.cls)) {
                lhs += " COLLATE NOCASE";
            }
            return Make("(" + lhs + (expr.negated ? " NOT IN (" : " IN (") + sub + "))",
                        ValueClass::Integer);
        }
        case ExprKind::Between:
            return EmitBetween(expr, scope);
        case ExprKind::Like:
            return EmitLike(expr, scope);
        case ExprKind::Exists: {
            ColumnList columns;
            const std::string sub = EmitQuery(*expr.query, &scope, columns, nullptr, false);
            return Make(std::string(expr.negated ? "(NOT EXISTS (" : "(EXISTS (") + sub + "))",
                        ValueClass::Integer);
        }
        case ExprKind::Case:
            return EmitCase(expr, scope);
        case ExprKind::Function:
            return EmitFunction(expr, scope);
        case ExprKind::Convert:
            return EmitConvert(expr, scope);
        case ExprKind::Subquery: {
            ColumnList columns;
            const std::string sub = EmitQuery(*expr.query, &scope, columns, nullptr, false);
            if (columns.complete && columns.columns.size() != 1) {
                Fail("a subquery used as a value must give one column");
            }
            Typed typed = Make("(" + sub + ")", ValueClass::Unknown);
            if (columns.columns.size() == 1) {
                typed.cls = columns.columns[0].cls;
                typed.type = columns.columns[0].type;
                typed.length = columns.columns[0].length;
            }
            return typed;
        }
        }
        Fail("unknown expression");
    }

    static Typed NumberLiteral(const std::string& text) {
        if (text.find_first_of(".eE") == std::string::npos) {
            if (const auto value = ParseInt64(text)) {
                const bool fitsInt = *value <= 2147483647LL;
                Typed typed = Make(text, ValueClass::Integer, fitsInt ? "int" : "bigint");
                typed.intValue = value;
                return typed;
            }
            return Make(text, ValueClass::Number);
        }
        if (text.find_first_of("eE") != std::string::npos) {
            return Make(text, ValueClass::Number, "float");
        }
        // A decimal literal has the precision and scale it is written with.
        const std::size_t dot = text.find('.');
        std::size_t digits = 0;
        for (const char c : text) {
            digits += (c >= '0' && c <= '9') ? 1 : 0;
        }
        const std::size_t scale = text.size() - dot - 1;
        const std::size_t precision = std::max(digits, scale + 1);
        return Make(text, ValueClass::Number,
                    "numeric(" + std::to_string(precision) + "," + std::to_string(scale) + ")");
    }

    // The apply a column reference names, found without looking up any table.
    std::optional<Resolved> FindApplyColumn(const QualifiedName& name, const Scope& scope) {
        for (const Scope* s = &scope; s != nullptr; s = s->parent) {
            for (const Source& source : s->sources) {
                if (source.apply == nullptr) {
                    continue;
                }
                if (name.parts.size() >= 2) {
                    if (EqualsNoCase(source.exposed, name.parts[name.parts.size() - 2])) {
                        return FindIn(source, name.Last());
                    }
                    continue;
                }
                if (auto hit = FindIn(source, name.Last())) {
                    // An unqualified name is the apply's only if no other source has it.
                    for (const Source& other : s->sources) {
                        if (&other != &source && FindIn(other, name.Last())) {
                            Fail("column name " + name.Last() + " is ambiguous");
                        }
                    }
                    return hit;
                }
            }
        }
        return std::nullopt;
    }

    Typed EmitColumn(const Expr& expr, Scope& scope) {
        const QualifiedName& name = expr.name;
        if (const auto apply = FindApplyColumn(name, scope)) {
            return ApplyValue(*apply->source->apply, apply->index);
        }
        if (name.parts.size() > 2) {
            Fail("column names with more than two parts are not supported (" + name.parts[0] + "." +
                 name.parts[1] + "." + name.Last() + ")");
        }
        std::string sql;
        if (name.parts.size() == 2) {
            sql = QualifierSql(name.parts[0]) + ".";
        }
        sql += SqliteIdentifier(name.Last());
        Typed typed = Make(std::move(sql), ValueClass::Unknown);
        typed.column = true;
        typed.ref = &name;
        typed.refScope = &scope;
        if (needTypes_) {
            Settle(typed);
        }
        return typed;
    }

    // Looks up the type of a value that has it from a column, when the rewrite depends on it.
    Typed& Settle(Typed& typed) {
        if (typed.ref == nullptr) {
            return typed;
        }
        const Resolved resolved = Resolve(*typed.ref, *typed.refScope);
        typed.ref = nullptr;
        typed.refScope = nullptr;
        if (resolved.column != nullptr) {
            typed.cls = resolved.column->cls;
            typed.type = resolved.column->type;
            typed.length = resolved.column->length;
        }
        return typed;
    }

    // Settles a qualified column of a source whose columns are known without a lookup (a
    // derived table, a CTE, a catalogue view): its type helps the reader of the result.
    void SettleIfKnown(Typed& typed) {
        if (typed.ref == nullptr || typed.ref->parts.size() != 2) {
            return;
        }
        for (const Scope* s = typed.refScope; s != nullptr; s = s->parent) {
            if (const Source* source = FindSource(*s, typed.ref->parts[0])) {
                if (source->pendingTable.empty()) {
                    Settle(typed);
                }
                return;
            }
        }
    }

    // A value whose type is that of another, possibly not looked up yet.
    static void TakeTypeOf(Typed& target, const Typed& source) {
        target.cls = source.cls;
        target.type = source.type;
        target.length = source.length;
        target.ref = source.ref;
        target.refScope = source.refScope;
    }

    Typed EmitUnary(const Expr& expr, Scope& scope) {
        Typed operand = EmitExpr(*expr.args[0], scope);
        Settle(operand);
        if (operand.cls == ValueClass::Date || operand.cls == ValueClass::Text) {
            Fail("unary " + expr.text + " on a date or text is not supported");
        }
        if (expr.text == "+") {
            return operand;
        }
        Typed typed = Make("(" + expr.text + operand.sql + ")", operand.cls, operand.type);
        if (expr.text == "-" && operand.intValue) {
            typed.intValue = -*operand.intValue;
        }
        return typed;
    }

    Typed EmitBinary(const Expr& expr, Scope& scope) {
        Typed left = EmitExpr(*expr.args[0], scope);
        Typed right = EmitExpr(*expr.args[1], scope);
        Settle(left);
        Settle(right);
        const std::string& op = expr.text;
        if (left.null || right.null) {
            // NULL in any arithmetic or concatenation gives NULL.
            Typed typed =
                Make("NULL", left.null ? right.cls : left.cls, left.null ? right.type : left.type);
            typed.null = true;
            return typed;
        }
        if (left.cls == ValueClass::Date || right.cls == ValueClass::Date) {
            Fail("date arithmetic with " + op + " is not supported (use DATEADD)");
        }
        if (op == "+") {
            return EmitPlus(std::move(left), std::move(right));
        }
        if (left.cls == ValueClass::Text || right.cls == ValueClass::Text) {
            Fail("operator " + op + " on text is not supported");
        }
        if (op == "^") {
            Fail("operator ^ is not supported");
        }
        const ValueClass cls = (left.cls == ValueClass::Integer && right.cls == ValueClass::Integer)
                                   ? ValueClass::Integer
                               : (IsNumeric(left.cls) && IsNumeric(right.cls))
                                   ? ValueClass::Number
                                   : ValueClass::Unknown;
        std::string type;
        if (cls == ValueClass::Integer) {
            type = (left.type == "bigint" || right.type == "bigint") ? "bigint" : "int";
        }
        return Make("(" + left.sql + " " + op + " " + right.sql + ")", cls, type);
    }

    // '+' joins two texts and adds everything else; when the operand types are known here
    // the plain SQLite operator does it, otherwise tsql_add decides row by row.
    static Typed EmitPlus(Typed left, Typed right) {
        if (left.cls == ValueClass::Text && right.cls == ValueClass::Text) {
            Typed typed = Make("(" + left.sql + " || " + right.sql + ")", ValueClass::Text);
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
            const ValueClass cls =
                (left.cls == ValueClass::Integer && right.cls == ValueClass::Integer)
                    ? ValueClass::Integer
                    : ValueClass::Number;
            std::string type;
            if (cls == ValueClass::Integer) {
                type = (left.type == "bigint" || right.type == "bigint") ? "bigint" : "int";
            }
            return Make("(" + left.sql + " + " + right.sql + ")", cls, type);
        }
        return Make("tsql_add(" + left.sql + ", " + right.sql + ")", ValueClass::Unknown);
    }

    // Text compares without regard to case. SQLite does so by itself when a side is a column
    // (the schema declares text columns NOCASE); for other operands the comparison says so.
    static std::string ComparedLeft(const Typed& left, const Typed& right) {
        const bool numeric = IsNumeric(left.cls) && IsNumeric(right.cls);
        if (left.column || right.column || numeric || left.null || right.null) {
            return left.sql;
        }
        return left.sql + " COLLATE NOCASE";
    }

    Typed EmitCompare(const Expr& expr, Scope& scope) {
        Typed left = EmitExpr(*expr.args[0], scope);
        Typed right = EmitExpr(*expr.args[1], scope);
        if (MayBeReadAsAnother(*expr.args[1])) {
            Settle(left);
        }
        if (MayBeReadAsAnother(*expr.args[0])) {
            Settle(right);
        }
        right = CoerceTo(*expr.args[1], std::move(right), left.cls);
        left = CoerceTo(*expr.args[0], std::move(left), right.cls);
        return Make("(" + ComparedLeft(left, right) + " " + expr.text + " " + right.sql + ")",
                    ValueClass::Integer);
    }

    Typed EmitInList(const Expr& expr, Scope& scope) {
        Typed left = EmitExpr(*expr.args[0], scope);
        for (std::size_t i = 1; i < expr.args.size(); ++i) {
            if (MayBeReadAsAnother(*expr.args[i])) {
                Settle(left);
            }
        }
        std::string list;
        bool allColumns = true;
        bool allNumeric = IsNumeric(left.cls);
        for (std::size_t i = 1; i < expr.args.size(); ++i) {
            Typed item = CoerceTo(*expr.args[i], EmitExpr(*expr.args[i], scope), left.cls);
            allNumeric = allNumeric && IsNumeric(item.cls);
            allColumns = allColumns && item.column;
            list += (i == 1 ? "" : ", ") + item.sql;
        }
        std::string lhs = left.sql;
        if (!left.column && !allNumeric) {
            lhs += " COLLATE NOCASE";
        }
        return Make("(" + lhs + (expr.negated ? " NOT IN (" : " IN (") + list + "))",
                    ValueClass::Integer);
    }

    Typed EmitBetween(const Expr& expr, Scope& scope) {
        Typed value = EmitExpr(*expr.args[0], scope);
        if (MayBeReadAsAnother(*expr.args[1]) || MayBeReadAsAnother(*expr.args[2])) {
            Settle(value);
        }
        Typed low = CoerceTo(*expr.args[1], EmitExpr(*expr.args[1], scope), value.cls);
        Typed high = CoerceTo(*expr.args[2], EmitExpr(*expr.args[2], scope), value.cls);
        std::string lhs = value.sql;
        const bool numeric = IsNumeric(value.cls) && IsNumeric(low.cls) && IsNumeric(high.cls);
        if (!value.column && !numeric) {
            lhs += " COLLATE NOCASE";
        }
        return Make("(" + lhs + (expr.negated ? " NOT BETWEEN " : " BETWEEN ") + low.sql + " AND " +
                        high.sql + ")",
                    ValueClass::Integer);
    }

    // SQLite's LIKE ignores ASCII case like SQL Server's default collation; patterns with
    // SQL Server's [...] classes have no SQLite equivalent.
    Typed EmitLike(const Expr& expr, Scope& scope) {
        const Expr& pattern = *expr.args[1];
        if (pattern.kind != ExprKind::String) {
            Fail("LIKE is supported only with a literal pattern");
        }
        if (pattern.text.find('[') != std::string::npos) {
            Fail("LIKE patterns with [...] are not supported");
        }
        const Typed value = EmitExpr(*expr.args[0], scope);
        return Make("(" + value.sql + (expr.negated ? " NOT LIKE " : " LIKE ") +
                        QuoteString(pattern.text) + ")",
                    ValueClass::Integer);
    }

    Typed EmitCase(const Expr& expr, Scope& scope) {
        std::string sql = "CASE";
        std::size_t i = 0;
        if (expr.hasOperand) {
            sql += " " + EmitExpr(*expr.args[0], scope).sql;
            i = 1;
        }
        const std::size_t whenEnd = expr.args.size() - (expr.hasElse ? 1 : 0);
        std::vector<Typed> results;
        for (; i < whenEnd; i += 2) {
            sql += " WHEN " + EmitExpr(*expr.args[i], scope).sql;
            results.push_back(EmitExpr(*expr.args[i + 1], scope));
            sql += " THEN " + results.back().sql;
        }
        if (expr.hasElse) {
            results.push_back(EmitExpr(*expr.args.back(), scope));
            sql += " ELSE " + results.back().sql;
        }
        sql += " END";
        // The result type: the one every branch shares (NULL branches aside).
        Typed typed = Make(std::move(sql), ValueClass::Unknown);
        bool first = true;
        bool same = true;
        bool allIntLiterals = true;
        for (const Typed& result : results) {
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
        return typed;
    }

    void ExpectArgs(const Expr& expr, std::size_t count) const {
        if (expr.args.size() != count) {
            Fail(expr.text + " needs " + std::to_string(count) + " argument(s)");
        }
        for (const ExprPtr& arg : expr.args) {
            if (arg->kind == ExprKind::Star) {
                Fail(expr.text + "(*) is not supported");
            }
        }
    }

    Typed EmitFunction(const Expr& expr, Scope& scope) {
        const std::string& name = expr.text;
        if (expr.distinct && name != "COUNT") {
            Fail(name + "(DISTINCT ...) is not supported");
        }
        if (name == "ISNULL") {
            ExpectArgs(expr, 2);
            Typed value = EmitExpr(*expr.args[0], scope);
            if (expr.args[1]->kind == ExprKind::String) {
                Settle(value);
            }
            Typed fallback = CoerceTo(*expr.args[1], EmitExpr(*expr.args[1], scope), value.cls);
            Typed typed = Make("IFNULL(" + value.sql + ", " + fallback.sql + ")", value.cls);
            TakeTypeOf(typed, value);
            if (value.null) {
                typed.cls = fallback.cls;
                typed.type = fallback.type;
                typed.length = fallback.length;
            }
            return typed;
        }
        if (name == "COALESCE") {
            if (expr.args.size() < 2) {
                Fail("COALESCE needs at least two arguments");
            }
            std::string sql = "COALESCE(";
            Typed first;
            for (std::size_t i = 0; i < expr.args.size(); ++i) {
                Typed arg = EmitExpr(*expr.args[i], scope);
                if (i == 0) {
                    first = arg;
                } else {
                    if (expr.args[i]->kind == ExprKind::String) {
                        Settle(first);
                    }
                    arg = CoerceTo(*expr.args[i], std::move(arg), first.cls);
                }
                sql += (i == 0 ? "" : ", ") + arg.sql;
            }
            Typed typed = Make(sql + ")", first.cls);
            TakeTypeOf(typed, first);
            return typed;
        }
        if (name == "GETDATE") {
            ExpectArgs(expr, 0);
            return Make("tsql_getdate()", ValueClass::Date, "datetime");
        }
        if (name == "DATEADD") {
            ExpectArgs(expr, 3);
            const Expr& unit = *expr.args[0];
            if (unit.kind != ExprKind::Column || unit.name.parts.size() != 1) {
                Fail("DATEADD needs a date part name as its first argument");
            }
            const auto part = ParseDatePart(unit.name.Last());
            if (!part) {
                Fail("DATEADD date part " + unit.name.Last() + " is not supported");
            }
            const Typed amount = EmitExpr(*expr.args[1], scope);
            Typed date = CoerceTo(*expr.args[2], EmitExpr(*expr.args[2], scope), ValueClass::Date);
            Settle(date);
            if (date.cls == ValueClass::Text || date.cls == ValueClass::Integer) {
                Fail("DATEADD needs a date as its third argument");
            }
            return Make("tsql_dateadd('" + std::string(DatePartName(*part)) + "', " + amount.sql +
                            ", " + date.sql + ")",
                        ValueClass::Date, "datetime");
        }
        if (name == "MAX" || name == "MIN") {
            ExpectArgs(expr, 1);
            Typed value = EmitExpr(*expr.args[0], scope);
            Typed typed = Make(AsciiUpper(name) + "(" + value.sql + ")", value.cls);
            TakeTypeOf(typed, value);
            return typed;
        }
        if (name == "SUM") {
            ExpectArgs(expr, 1);
            Typed value = EmitExpr(*expr.args[0], scope);
            Settle(value);
            if (value.cls == ValueClass::Text || value.cls == ValueClass::Date) {
                Fail("SUM of text or dates is not supported");
            }
            return Make("SUM(" + value.sql + ")",
                        value.cls == ValueClass::Integer ? ValueClass::Integer : ValueClass::Number,
                        value.cls == ValueClass::Integer ? "int" : value.type);
        }
        if (name == "COUNT") {
            if (expr.args.size() == 1 && expr.args[0]->kind == ExprKind::Star) {
                return Make("COUNT(*)", ValueClass::Integer, "int");
            }
            ExpectArgs(expr, 1);
            const Typed value = EmitExpr(*expr.args[0], scope);
            return Make(std::string("COUNT(") + (expr.distinct ? "DISTINCT " : "") + value.sql +
                            ")",
                        ValueClass::Integer, "int");
        }
        if (name == "UPPER" || name == "LOWER" || name == "LTRIM" || name == "RTRIM") {
            ExpectArgs(expr, 1);
            const Typed value = EmitExpr(*expr.args[0], scope);
            Typed typed = Make(AsciiUpper(name) + "(" + value.sql + ")", ValueClass::Text,
                               value.cls == ValueClass::Text ? value.type : "");
            typed.length = value.length;
            return typed;
        }
        if (name == "LEN") {
            // LEN leaves trailing blanks out.
            ExpectArgs(expr, 1);
            const Typed value = EmitExpr(*expr.args[0], scope);
            return Make("LENGTH(RTRIM(" + value.sql + "))", ValueClass::Integer, "int");
        }
        if (name == "SUBSTRING") {
            ExpectArgs(expr, 3);
            const Typed value = EmitExpr(*expr.args[0], scope);
            const Typed start = EmitExpr(*expr.args[1], scope);
            const Typed count = EmitExpr(*expr.args[2], scope);
            Typed typed = Make("SUBSTR(" + value.sql + ", " + start.sql + ", " + count.sql + ")",
                               ValueClass::Text, value.cls == ValueClass::Text ? value.type : "");
            typed.length = value.length;
            return typed;
        }
        if (name == "ABS") {
            ExpectArgs(expr, 1);
            const Typed value = EmitExpr(*expr.args[0], scope);
            Typed typed = Make("ABS(" + value.sql + ")", value.cls);
            TakeTypeOf(typed, value);
            return typed;
        }
        Fail("function " + name + " is not supported");
    }

    Typed EmitConvert(const Expr& expr, Scope& scope) {
        const TypeSpec& type = expr.type;
        const Expr& argument = *expr.args[0];
        Typed value = EmitExpr(argument, scope);
        Settle(value);
        const std::string& base = type.name;
        if (base == "varchar" || base == "nvarchar") {
            return ConvertToText(expr, std::move(value));
        }
        if (expr.style) {
            Fail("CONVERT style " + std::to_string(*expr.style) + " to " + type.Text() +
                 " is not supported");
        }
        if (type.length && (base == "tinyint" || base == "smallint" || base == "int" ||
                            base == "bigint" || base == "datetime" || base == "date")) {
            Fail("type " + type.Text() + " is not valid");
        }
        if (const auto range = IntegerTypeRange(base)) {
            return ConvertToInteger(argument, value, base, *range);
        }
        if (base == "datetime" || base == "smalldatetime" || base == "datetime2" ||
            base == "date") {
            const bool keepTime = base != "date";
            if (argument.kind == ExprKind::String && keepTime) {
                return DateLiteral(argument.text);
            }
            if (value.null) {
                Typed typed = Make("NULL", ValueClass::Date, base);
                typed.null = true;
                return typed;
            }
            if (value.cls == ValueClass::Date && keepTime) {
                value.type = base;
                value.column = false;
                return value;
            }
            return Make("tsql_convert_datetime(" + value.sql + ", " + (keepTime ? "1" : "0") + ")",
                        ValueClass::Date, base);
        }
        if (base == "decimal" || base == "numeric") {
            const int precision = type.length.value_or(18);
            const int scale = type.scale.value_or(0);
            if (precision < 1 || precision > 38 || scale < 0 || scale > precision) {
                Fail("type " + type.Text() + " is not valid");
            }
            if (value.null) {
                Typed typed = Make("NULL", ValueClass::Number, type.Text());
                typed.null = true;
                return typed;
            }
            return Make("tsql_convert_decimal(" + value.sql + ", " + std::to_string(precision) +
                            ", " + std::to_string(scale) + ")",
                        ValueClass::Number, type.Text());
        }
        Fail("CONVERT/CAST to " + type.Text() + " is not supported");
    }

    Typed ConvertToText(const Expr& expr, Typed value) {
        const TypeSpec& type = expr.type;
        const int length = type.max ? -1 : type.length.value_or(30);
        if (!type.max && (length < 1 || length > 8000)) {
            Fail("type " + type.Text() + " is not valid");
        }
        Typed typed = Make("", ValueClass::Text,
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
            Fail("CONVERT style " + std::to_string(style) + " is not supported");
        }
        if (value.cls == ValueClass::Date) {
            if (!expr.style || style == 0) {
                Fail("CONVERT of a date to text needs a style (e.g. 23 or 120)");
            }
            // Dates are stored as 'YYYY-MM-DD HH:MM:SS': style 23 is their first ten
            // characters.
            if (style == 23) {
                typed.sql = "SUBSTR(" + value.sql + ", 1, " +
                            std::to_string(length < 0 ? 10 : std::min(length, 10)) + ")";
                return typed;
            }
            typed.sql = "tsql_to_text(" + value.sql + ", " + std::to_string(length) + ", " +
                        std::to_string(style) + ", -1)";
            return typed;
        }
        if (value.cls == ValueClass::Text) {
            // SQL Server ignores the style for text; text no longer than the target stays as
            // it is.
            if (length < 0 || (value.length && *value.length <= length)) {
                typed.sql = value.sql;
                typed.column = false;
                return typed;
            }
            typed.sql = "SUBSTR(" + value.sql + ", 1, " + std::to_string(length) + ")";
            return typed;
        }
        if (value.cls == ValueClass::Integer && (length < 0 || length >= 20)) {
            typed.sql = "CAST(" + value.sql + " AS TEXT)";
            return typed;
        }
        int scale = -1;
        if (value.cls == ValueClass::Number) {
            scale = DeclaredScale(value.type).value_or(-1);
        }
        typed.sql = "tsql_to_text(" + value.sql + ", " + std::to_string(length) + ", " +
                    (expr.style ? std::to_string(style) : std::string("NULL")) + ", " +
                    std::to_string(scale) + ")";
        return typed;
    }

    static Typed ConvertToInteger(const Expr& argument, const Typed& value, const std::string& base,
                                  std::pair<std::int64_t, std::int64_t> range) {
        const auto inRange = [&range](std::int64_t v) {
            return v >= range.first && v <= range.second;
        };
        Typed typed = Make("", ValueClass::Integer, base);
        if (value.null) {
            typed.sql = "NULL";
            typed.null = true;
            return typed;
        }
        // Literals and CASEs of literals that fit need no check at run time.
        if (value.intValue && inRange(*value.intValue)) {
            typed.sql = std::to_string(*value.intValue);
            typed.intValue = value.intValue;
            return typed;
        }
        if (CaseOfIntLiteralsWithin(argument, inRange)) {
            typed.sql = value.sql;
            return typed;
        }
        typed.sql = "tsql_convert_int(" + value.sql + ", '" + base + "')";
        return typed;
    }

    // A CASE whose every result is an integer literal within the range (or NULL).
    template <typename InRange>
    static bool CaseOfIntLiteralsWithin(const Expr& argument, const InRange& inRange) {
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
            if (!v || !inRange(negative ? -*v : *v)) {
                return false;
            }
        }
        return true;
    }

    std::string_view text_;
    SchemaLookup& schema_;
    std::map<std::string, std::optional<ColumnList>> tables_;
    /// SELECT INTO: every column's type is wanted, so columns are looked up as met.
    bool needTypes_ = false;
    bool readsCatalogue_ = false;
    std::deque<ColumnList> lists_;
    std::vector<std::pair<std::string, const ColumnList*>> ctes_;
    std::size_t inlinedApplies_ = 0;
};

} // namespace

std::string SqliteIdentifier(std::string_view name) {
    bool plain = !name.empty() && !(name.front() >= '0' && name.front() <= '9');
    for (const char c : name) {
        plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_');
    }
    if (plain && sqlite3_keyword_check(name.data(), static_cast<int>(name.size())) == 0) {
        return std::string(name);
    }
    std::string out = "\"";
    for (const char c : name) {
        out.push_back(c);
        if (c == '"') {
            out.push_back('"');
        }
    }
    out.push_back('"');
    return out;
}

Translation EmitStatement(const Statement& statement, std::string_view text, SchemaLookup& schema) {
    return Emitter(text, schema).Run(statement);
}

} // namespace kvad::db::tsql
