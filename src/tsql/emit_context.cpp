#include "emit_context.h"

#include "kvad_nso/text.h"
#include "tsql_error.h"

namespace kvad::db::tsql {

namespace {

// Most text the columns of OUTER APPLY may add to a translation, as their subqueries.
constexpr std::size_t kMaxApplyCopies = 1'000'000;

} // namespace

void EmitContext::Fail(const std::string& message) const {
    Refuse(message, text_);
}

const ColumnList* EmitContext::TableColumns(const std::string& table) {
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

bool EmitContext::TableExists(const std::string& table) {
    return schema_.TableColumns(table).has_value();
}

std::string EmitContext::TableSql(const QualifiedName& name) const {
    if (name.parts.size() == 3) {
        Fail("tables of another database are not supported (" + name.parts[0] + ")");
    }
    if (name.parts.size() == 2 && !EqualsNoCase(name.parts[0], "dbo")) {
        Fail("schema " + name.parts[0] + " is not supported");
    }
    const std::string& table = name.Last();
    if (table.starts_with('#')) {
        return (CurrentDialect() == SqlDialect::Postgres ? "pg_temp." : "temp.") +
               SqliteIdentifier(table);
    }
    return SqliteIdentifier(table);
}

std::size_t EmitContext::DefineCte(const std::string& name) {
    ctes_.push_back(CteEntry{name, nullptr, false});
    return ctes_.size() - 1;
}

void EmitContext::SetCteColumns(std::string_view name, const ColumnList* columns) {
    for (auto it = ctes_.rbegin(); it != ctes_.rend(); ++it) {
        if (EqualsNoCase(it->name, name)) {
            it->columns = columns;
            return;
        }
    }
}

bool EmitContext::IsCte(std::string_view name) const {
    for (const CteEntry& entry : ctes_) {
        if (EqualsNoCase(entry.name, name)) {
            return true;
        }
    }
    return false;
}

const ColumnList* EmitContext::ReferenceCte(std::string_view name) {
    for (auto it = ctes_.rbegin(); it != ctes_.rend(); ++it) {
        if (EqualsNoCase(it->name, name)) {
            it->referenced = true;
            return it->columns;
        }
    }
    return nullptr;
}

void EmitContext::CountApplyCopy(std::size_t size) {
    applyCopies_ += size;
    if (applyCopies_ > kMaxApplyCopies) {
        Fail("the columns of OUTER APPLY are used too often (the translation would exceed " +
             std::to_string(kMaxApplyCopies) + " bytes)");
    }
}

} // namespace kvad::db::tsql
