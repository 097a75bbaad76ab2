#include "row_set.h"

#include <sqlite3.h>

#include <algorithm>

#include "kvad_nso/errors.h"
#include "quote_identifier.h"
#include "rowid_columns.h"
#include "sqlite_schema_lookup.h"
#include "sqlite_statement.h"

namespace kvad::db {

namespace {

std::string TextOrEmpty(const char* text) {
    return text != nullptr ? text : std::string();
}

/// Records which result columns make up each table's primary key, for tables whose rowid
/// could not be read.
void FindKeyColumns(sqlite3* db, RowSet& set, const std::vector<int>& appendedIndex) {
    for (std::size_t t = 0; t < set.tables.size(); ++t) {
        if (appendedIndex[t] >= 0) {
            continue;
        }
        BaseTable& table = set.tables[t];
        std::vector<CatalogueColumn> key;
        for (CatalogueColumn& column : CatalogueColumns(db, {table.schema, table.name})) {
            if (column.primaryKeyOrder > 0) {
                key.push_back(std::move(column));
            }
        }
        std::sort(key.begin(), key.end(), [](const auto& a, const auto& b) {
            return a.primaryKeyOrder < b.primaryKeyOrder;
        });
        std::vector<int> found;
        for (const CatalogueColumn& column : key) {
            for (std::size_t c = 0; c < set.columns.size(); ++c) {
                const ResultColumn& result = set.columns[c];
                if (result.baseTable == static_cast<int>(t) &&
                    EqualsNoCase(result.originColumn, column.name)) {
                    found.push_back(static_cast<int>(c));
                    break;
                }
            }
        }
        if (!key.empty() && found.size() == key.size()) {
            table.keyColumns = std::move(found);
        }
    }
}

} // namespace

const std::string* FindTypeHint(const std::map<std::string, std::string>& hints,
                                std::string_view name) {
    for (const auto& [hintName, type] : hints) {
        if (EqualsNoCase(hintName, name)) {
            return &type;
        }
    }
    return nullptr;
}

std::string BaseTable::QualifiedName() const {
    return QuoteIdentifier(schema) + "." + QuoteIdentifier(name);
}

std::optional<int> RowSet::FindColumn(std::string_view name) const {
    const auto found = byName_.find(AsciiLower(name));
    if (found == byName_.end()) {
        return std::nullopt;
    }
    return found->second;
}

int RowSet::FindTable(std::string_view name) const {
    const SqliteTableRef ref = ResolveTableName(name);
    for (std::size_t t = 0; t < tables.size(); ++t) {
        if (EqualsNoCase(tables[t].name, ref.table)) {
            return static_cast<int>(t);
        }
    }
    return -1;
}

void RowSet::IndexColumns() {
    byName_.clear();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        byName_.emplace(AsciiLower(columns[i].name), static_cast<int>(i));
    }
}

RowSet LoadRowSet(sqlite3* db, const std::string& sql,
                  const std::map<std::string, std::string>& typeHints, bool locateRows) {
    Statement stmt(db, sql);
    RowSet set;
    const int count = stmt.ColumnCount();
    std::vector<TableSource> sources;
    for (int i = 0; i < count; ++i) {
        ResultColumn column;
        column.name = TextOrEmpty(sqlite3_column_name(stmt.Get(), i));
        column.declType = TextOrEmpty(sqlite3_column_decltype(stmt.Get(), i));
        if (column.declType.empty()) {
            if (const std::string* hint = FindTypeHint(typeHints, column.name)) {
                column.declType = *hint;
            }
        }
        column.kind = KindOfDeclType(column.declType);
        if (locateRows) {
            const std::string table = TextOrEmpty(sqlite3_column_table_name(stmt.Get(), i));
            const std::string schema = TextOrEmpty(sqlite3_column_database_name(stmt.Get(), i));
            // A column of a common table expression names the CTE but no schema: it has no
            // table to be written to.
            if (!table.empty() && !schema.empty()) {
                column.originColumn = TextOrEmpty(sqlite3_column_origin_name(stmt.Get(), i));
                auto known = std::find_if(sources.begin(), sources.end(), [&](const auto& s) {
                    return s.schema == schema && s.table == table;
                });
                if (known == sources.end()) {
                    sources.push_back({schema, table});
                    set.tables.push_back(BaseTable{schema, table, {}, -1});
                    known = sources.end() - 1;
                }
                column.baseTable = static_cast<int>(known - sources.begin());
            }
        }
        set.columns.push_back(std::move(column));
    }
    set.IndexColumns();

    std::vector<int> appendedIndex(sources.size(), -1);
    if (!sources.empty()) {
        if (auto withRowids = AddRowidColumns(sql, sources)) {
            try {
                Statement located(db, withRowids->sql);
                const int appended = static_cast<int>(
                    std::count_if(withRowids->appendedIndex.begin(),
                                  withRowids->appendedIndex.end(), [](int a) { return a >= 0; }));
                if (located.ColumnCount() == count + appended) {
                    stmt = std::move(located);
                    appendedIndex = withRowids->appendedIndex;
                }
            } catch (const DbError&) {
                // A table without rowid (or a view): rows are located by their key instead.
            }
        }
        for (std::size_t t = 0; t < set.tables.size(); ++t) {
            if (appendedIndex[t] >= 0) {
                set.tables[t].rowidState = 1;
            }
        }
        FindKeyColumns(db, set, appendedIndex);
    }

    while (stmt.Step()) {
        Row row;
        row.values.reserve(set.columns.size());
        for (int i = 0; i < count; ++i) {
            row.values.push_back(stmt.Column(i, set.columns[i].kind));
        }
        row.rowids.resize(set.tables.size());
        for (std::size_t t = 0; t < set.tables.size(); ++t) {
            const int index = appendedIndex[t];
            if (index >= 0 && sqlite3_column_type(stmt.Get(), count + index) != SQLITE_NULL) {
                row.rowids[t] = sqlite3_column_int64(stmt.Get(), count + index);
            }
        }
        set.rows.push_back(std::move(row));
    }
    return set;
}

} // namespace kvad::db
