#pragma once
// What the translation of one statement shares across its parts: the statement text for
// refusals, the tables' columns as looked up, the common table expressions in scope and what
// the statement turned out to read.

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "name_scope.h"
#include "tsql/tsql_translator.h"
#include "tsql_ast.h"

namespace kvad::db::tsql {

class EmitContext {
  public:
    EmitContext(std::string_view text, SchemaLookup& schema) : text_(text), schema_(schema) {}

    /// Refuses the statement (DbError 42000).
    [[noreturn]] void Fail(const std::string& message) const;

    // ---- schema -------------------------------------------------------------------------

    /// The columns of a table, looked up once per statement; nullptr when it does not exist.
    const ColumnList* TableColumns(const std::string& table);
    /// The columns that fix the order of tied rows of a working table (see SchemaLookup).
    [[nodiscard]] std::vector<std::string> TieBreakColumns(const std::string& table) {
        return schema_.TieBreakColumns(table);
    }

    /// Whether the table exists now (asked of the database every time).
    [[nodiscard]] bool TableExists(const std::string& table);

    /// The SQLite name of a table of the statement: dbo.X and X are X, #X is temp."#X".
    [[nodiscard]] std::string TableSql(const QualifiedName& name) const;

    /// A column list that lives as long as the translation.
    ColumnList& NewColumnList() { return lists_.emplace_back(); }

    /// SELECT INTO: every column's type is wanted, so columns are looked up as met.
    [[nodiscard]] bool NeedTypes() const noexcept { return needTypes_; }
    /// The SELECT whose rows an INSERT writes: its text literals go into the target's columns
    /// as they are, typed by those columns (a collation on them would keep the server from
    /// reading '2025-01-02' as a date).
    [[nodiscard]] const SelectCore* InsertedCore() const noexcept { return insertedCore_; }
    void SetInsertedCore(const SelectCore* core) noexcept { insertedCore_ = core; }
    void SetNeedTypes(bool value) noexcept { needTypes_ = value; }

    /// The statement reads a catalogue view.
    [[nodiscard]] bool ReadsCatalogue() const noexcept { return readsCatalogue_; }
    void SetReadsCatalogue() noexcept { readsCatalogue_ = true; }

    // ---- common table expressions -------------------------------------------------------

    /// How many are in scope (to drop the ones a query defined when it ends).
    [[nodiscard]] std::size_t CteCount() const noexcept { return ctes_.size(); }

    /// A CTE whose body is about to be written; its columns become known later. Gives the
    /// index that CteIsReferenced takes.
    std::size_t DefineCte(const std::string& name);

    /// The columns of the innermost CTE of that name.
    void SetCteColumns(std::string_view name, const ColumnList* columns);

    /// Drops the CTEs defined after `count` were in scope.
    void DropCtes(std::size_t count) { ctes_.resize(count); }

    [[nodiscard]] bool IsCte(std::string_view name) const;

    /// A FROM clause names the innermost CTE of that name: gives its columns (nullptr while
    /// still unknown) and notes the reference.
    const ColumnList* ReferenceCte(std::string_view name);

    /// The CTE has been named by a FROM clause since it was defined. Asked when its body is
    /// written, this tells a recursive CTE: its body names it.
    [[nodiscard]] bool CteIsReferenced(std::size_t index) const { return ctes_[index].referenced; }

    // ---- OUTER APPLY --------------------------------------------------------------------

    /// Counts text an apply's column adds as a copy of its subquery; refuses the statement
    /// past a limit (each copy may hold copies of an earlier apply's).
    void CountApplyCopy(std::size_t size);

  private:
    std::string_view text_;
    SchemaLookup& schema_;
    std::map<std::string, std::optional<ColumnList>> tables_;
    bool needTypes_ = false;
    const SelectCore* insertedCore_ = nullptr;
    bool readsCatalogue_ = false;
    std::deque<ColumnList> lists_;
    struct CteEntry {
        std::string name;
        const ColumnList* columns = nullptr;
        bool referenced = false;
    };
    std::vector<CteEntry> ctes_;
    std::size_t applyCopies_ = 0;
};

} // namespace kvad::db::tsql
