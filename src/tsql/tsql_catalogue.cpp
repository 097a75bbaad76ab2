#include "tsql_catalogue.h"

#include "kvad_nso/text.h"
#include "tsql_types.h"

namespace kvad::db::tsql {

namespace {

// Names compare without regard to case, as in SQL Server's default collation.
constexpr std::string_view kTables =
    "(SELECT rowid AS object_id, name COLLATE NOCASE AS name, 1 AS schema_id, "
    "'U' AS type FROM main.sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite%')";

constexpr std::string_view kSysColumns =
    "(SELECT s.rowid AS id, c.name COLLATE NOCASE AS name, tsql_xtype(c.type) AS xtype, "
    "tsql_xtype(c.type) AS xusertype, c.cid + 1 AS colorder, c.cid + 1 AS colid, "
    "CASE WHEN c.\"notnull\" THEN 0 ELSE 1 END AS isnullable "
    "FROM main.sqlite_schema AS s JOIN pragma_table_info(s.name, 'main') AS c "
    "WHERE s.type = 'table' AND s.name NOT LIKE 'sqlite%')";

constexpr std::string_view kColumns =
    "(SELECT s.rowid AS object_id, c.name COLLATE NOCASE AS name, c.cid + 1 AS column_id, "
    "tsql_xtype(c.type) AS system_type_id, tsql_xtype(c.type) AS user_type_id, "
    "CASE WHEN c.\"notnull\" THEN 0 ELSE 1 END AS is_nullable "
    "FROM main.sqlite_schema AS s JOIN pragma_table_info(s.name, 'main') AS c "
    "WHERE s.type = 'table' AND s.name NOT LIKE 'sqlite%')";

std::string TypesView() {
    std::string sql = "(SELECT column1 AS system_type_id, column1 AS user_type_id, "
                      "column2 COLLATE NOCASE AS name FROM (VALUES ";
    bool first = true;
    for (const SqlServerType& type : SystemTypes()) {
        if (!first) {
            sql += ", ";
        }
        first = false;
        sql += "(" + std::to_string(type.xtype) + ", '" + std::string(type.name) + "')";
    }
    sql += "))";
    return sql;
}

} // namespace

std::optional<CatalogueView> CatalogueViewFor(std::string_view name) {
    if (EqualsNoCase(name, "tables")) {
        return CatalogueView{std::string(kTables),
                             {{"object_id", "int"},
                              {"name", "nvarchar(128)"},
                              {"schema_id", "int"},
                              {"type", "char(2)"}}};
    }
    if (EqualsNoCase(name, "syscolumns")) {
        return CatalogueView{std::string(kSysColumns),
                             {{"id", "int"},
                              {"name", "nvarchar(128)"},
                              {"xtype", "tinyint"},
                              {"xusertype", "smallint"},
                              {"colorder", "smallint"},
                              {"colid", "smallint"},
                              {"isnullable", "int"}}};
    }
    if (EqualsNoCase(name, "columns")) {
        return CatalogueView{std::string(kColumns),
                             {{"object_id", "int"},
                              {"name", "nvarchar(128)"},
                              {"column_id", "int"},
                              {"system_type_id", "tinyint"},
                              {"user_type_id", "int"},
                              {"is_nullable", "bit"}}};
    }
    if (EqualsNoCase(name, "types")) {
        return CatalogueView{
            TypesView(),
            {{"system_type_id", "tinyint"}, {"user_type_id", "int"}, {"name", "nvarchar(128)"}}};
    }
    return std::nullopt;
}

} // namespace kvad::db::tsql
