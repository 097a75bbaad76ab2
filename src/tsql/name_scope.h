#pragma once
// The names a part of a statement sees: the sources of its FROM clause inside those of the
// enclosing queries, the columns each source provides, and the lookup of a column reference.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tsql_ast.h"
#include "tsql_types.h"
#include "typed_sql.h"

namespace kvad::db::tsql {

class EmitContext;

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

/// A column of a declared type ("varchar(50)").
[[nodiscard]] ColumnInfo InfoFromDecl(std::string name, std::string_view declType);

/// A column computed by an expression.
[[nodiscard]] ColumnInfo InfoFromTyped(std::string name, const TypedSql& typed);

struct NameScope;
struct Source;

/// An OUTER APPLY (SELECT TOP 1 ...) AS alias: its columns become correlated subqueries.
struct ApplyInfo {
    const QueryExpr* query = nullptr;
    const NameScope* owner = nullptr;
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
    /// The database table this source reads (empty for a CTE, a derived table or a view).
    std::string table;
};

/// The sources of one SELECT, inside those of the enclosing queries.
struct NameScope {
    explicit NameScope(const NameScope* outer) : parent(outer) {}
    const NameScope* parent;
    std::vector<Source> sources;
    std::deque<ApplyInfo> applies;
};

/// A column a reference names.
struct Resolved {
    const ColumnInfo* column = nullptr;
    const Source* source = nullptr;
    std::size_t index = 0;
};

/// The columns of a source, looked up now if still pending (nullptr when unknown).
const ColumnList* Columns(EmitContext& context, const Source& source);

/// The column of a source with that name.
[[nodiscard]] std::optional<Resolved> FindIn(EmitContext& context, const Source& source,
                                             std::string_view column);

/// The column a reference names, when it can be known for sure (else an empty Resolved).
[[nodiscard]] Resolved Resolve(EmitContext& context, const QualifiedName& name,
                               const NameScope& scope);

/// The source of a scope (not of its parents) known by that name.
[[nodiscard]] const Source* FindSource(const NameScope& scope, std::string_view exposed);

/// The OUTER APPLY column a reference names, found without looking up any table; refuses an
/// unqualified name that another source of the same scope also has.
[[nodiscard]] std::optional<Resolved>
FindApplyColumn(EmitContext& context, const QualifiedName& name, const NameScope& scope);

/// Looks up the type of a value that has it from a column, when the rewrite depends on it.
TypedSql& Settle(EmitContext& context, TypedSql& typed);

/// Settles a qualified column of a source whose columns are known without a lookup (a
/// derived table, a CTE, a catalogue view): its type helps the reader of the result.
void SettleIfKnown(EmitContext& context, TypedSql& typed);

} // namespace kvad::db::tsql
