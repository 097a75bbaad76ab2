#include "name_scope.h"

#include <utility>

#include "emit_context.h"
#include "kvad_nso/text.h"

namespace kvad::db::tsql {

ColumnInfo InfoFromDecl(std::string name, std::string_view declType) {
    ColumnInfo info;
    info.name = std::move(name);
    info.cls = ClassOfType(declType);
    info.type = std::string(declType);
    if (info.cls == ValueClass::Text) {
        info.length = DeclaredLength(declType);
    }
    return info;
}

ColumnInfo InfoFromTyped(std::string name, const TypedSql& typed) {
    ColumnInfo info;
    info.name = std::move(name);
    info.cls = typed.cls;
    info.type = typed.type;
    info.length = typed.length;
    return info;
}

const ColumnList* Columns(EmitContext& context, const Source& source) {
    if (!source.pendingTable.empty()) {
        source.columns = context.TableColumns(source.pendingTable);
        source.pendingTable.clear();
    }
    return source.columns;
}

std::optional<Resolved> FindIn(EmitContext& context, const Source& source,
                               std::string_view column) {
    if (Columns(context, source) == nullptr) {
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

Resolved Resolve(EmitContext& context, const QualifiedName& name, const NameScope& scope) {
    const std::string& column = name.Last();
    const std::string* qualifier =
        name.parts.size() >= 2 ? &name.parts[name.parts.size() - 2] : nullptr;
    for (const NameScope* s = &scope; s != nullptr; s = s->parent) {
        if (qualifier != nullptr) {
            if (const Source* source = FindSource(*s, *qualifier)) {
                return FindIn(context, *source, column).value_or(Resolved{});
            }
            continue;
        }
        // Unqualified: the one source of the nearest scope that has it, if no source of that
        // scope may have it unseen.
        int hits = 0;
        bool uncertain = false;
        Resolved found;
        for (const Source& source : s->sources) {
            if (auto hit = FindIn(context, source, column)) {
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

const Source* FindSource(const NameScope& scope, std::string_view exposed) {
    for (const Source& source : scope.sources) {
        if (EqualsNoCase(source.exposed, exposed)) {
            return &source;
        }
    }
    return nullptr;
}

/// An unqualified name found in the apply `source`: the apply's only if no other of the
/// scope's `sources` has it.
std::optional<Resolved> FindOnlyInApply(EmitContext& context, const QualifiedName& name,
                                        const std::vector<Source>& sources, const Source& source) {
    auto hit = FindIn(context, source, name.Last());
    if (!hit) {
        return std::nullopt;
    }
    for (const Source& other : sources) {
        if (&other != &source && FindIn(context, other, name.Last())) {
            context.Fail("column name " + name.Last() + " is ambiguous");
        }
    }
    return hit;
}

std::optional<Resolved> FindApplyColumn(EmitContext& context, const QualifiedName& name,
                                        const NameScope& scope) {
    for (const NameScope* s = &scope; s != nullptr; s = s->parent) {
        for (const Source& source : s->sources) {
            if (source.apply == nullptr) {
                continue;
            }
            if (name.parts.size() >= 2) {
                if (EqualsNoCase(source.exposed, name.parts[name.parts.size() - 2])) {
                    return FindIn(context, source, name.Last());
                }
                continue;
            }
            if (auto hit = FindOnlyInApply(context, name, s->sources, source)) {
                return hit;
            }
        }
    }
    return std::nullopt;
}

TypedSql& Settle(EmitContext& context, TypedSql& typed) {
    if (typed.ref == nullptr) {
        return typed;
    }
    const Resolved resolved = Resolve(context, *typed.ref, *typed.refScope);
    typed.ref = nullptr;
    typed.refScope = nullptr;
    if (resolved.column != nullptr) {
        typed.cls = resolved.column->cls;
        typed.type = resolved.column->type;
        typed.length = resolved.column->length;
    }
    return typed;
}

void SettleIfKnown(EmitContext& context, TypedSql& typed) {
    if (typed.ref == nullptr || typed.ref->parts.size() != 2) {
        return;
    }
    for (const NameScope* s = typed.refScope; s != nullptr; s = s->parent) {
        if (const Source* source = FindSource(*s, typed.ref->parts[0])) {
            if (source->pendingTable.empty()) {
                Settle(context, typed);
            }
            return;
        }
    }
}

} // namespace kvad::db::tsql
