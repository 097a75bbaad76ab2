#include "tsql_catalogue.h"

#include "kvad_nso/text.h"
#include "tsql_types.h"
#include "typed_sql.h"

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

// PostgreSQL: the tables of the current schema, their columns with the names and T-SQL types
// the schema declared ("IE92_DeliveryTerms_Text nvarchar(500)" in the column's comment, which
// the schema conversion writes; else the PostgreSQL name and kvad_tsql_type). The comment is
// joined, not read by a function per column: the loader's column list of a table then costs the
// server a few milliseconds instead of a hundred. Column names are upper case, as the
// translation quotes them.
constexpr std::string_view kPgTables =
    "(SELECT c.oid::int AS \"OBJECT_ID\", c.relname::text COLLATE nocase AS \"NAME\", "
    "1 AS \"SCHEMA_ID\", 'U'::text AS \"TYPE\" FROM pg_class AS c "
    "WHERE c.relnamespace = current_schema()::regnamespace AND c.relkind IN ('r', 'p'))";

// A column's declared name and type number, from its comment "d" and its attribute "a".
constexpr std::string_view kPgDeclaredName =
    "COALESCE(NULLIF(split_part(d.description, ' ', 1), ''), a.attname::text) COLLATE nocase";
constexpr std::string_view kPgDeclaredXtype =
    "tsql_xtype(COALESCE(NULLIF(substr(d.description, strpos(d.description, ' ') + 1), ''), "
    "kvad_tsql_type(a.atttypid, a.atttypmod)))";
constexpr std::string_view kPgColumnsFrom =
    "FROM pg_attribute AS a JOIN pg_class AS c ON c.oid = a.attrelid "
    "LEFT JOIN pg_description AS d ON d.objoid = a.attrelid "
    "AND d.classoid = 'pg_class'::regclass AND d.objsubid = a.attnum "
    "WHERE c.relnamespace = current_schema()::regnamespace AND c.relkind IN ('r', 'p') "
    "AND a.attnum > 0 AND NOT a.attisdropped)";

std::string PgSysColumns() {
    std::string sql = "(SELECT a.attrelid::int AS \"ID\", ";
    sql.append(kPgDeclaredName).append(" AS \"NAME\", ");
    sql.append(kPgDeclaredXtype).append(" AS \"XTYPE\", ");
    sql.append(kPgDeclaredXtype).append(" AS \"XUSERTYPE\", ");
    sql.append("a.attnum::int AS \"COLORDER\", a.attnum::int AS \"COLID\", "
               "CASE WHEN a.attnotnull THEN 0 ELSE 1 END AS \"ISNULLABLE\" ");
    return sql.append(kPgColumnsFrom);
}

std::string PgColumns() {
    std::string sql = "(SELECT a.attrelid::int AS \"OBJECT_ID\", ";
    sql.append(kPgDeclaredName).append(" AS \"NAME\", a.attnum::int AS \"COLUMN_ID\", ");
    sql.append(kPgDeclaredXtype).append(" AS \"SYSTEM_TYPE_ID\", ");
    sql.append(kPgDeclaredXtype).append(" AS \"USER_TYPE_ID\", ");
    sql.append("CASE WHEN a.attnotnull THEN 0 ELSE 1 END AS \"IS_NULLABLE\" ");
    return sql.append(kPgColumnsFrom);
}

std::string TypesView(bool postgres) {
    if (postgres) {
        return "(SELECT \"SYSTEM_TYPE_ID\", \"SYSTEM_TYPE_ID\" AS \"USER_TYPE_ID\", "
               "\"NAME\" COLLATE nocase AS \"NAME\" FROM kvad_system_types())";
    }
    return TypesView();
}

/// The catalogue view's SQL in the dialect of the statement.
std::string ViewSql(std::string_view sqlite, std::string_view postgres) {
    return std::string(CurrentDialect() == SqlDialect::Postgres ? postgres : sqlite);
}

} // namespace

std::optional<CatalogueView> CatalogueViewFor(std::string_view name) {
    if (EqualsNoCase(name, "tables")) {
        return CatalogueView{ViewSql(kTables, kPgTables),
                             {{"object_id", "int"},
                              {"name", "nvarchar(128)"},
                              {"schema_id", "int"},
                              {"type", "char(2)"}}};
    }
    if (EqualsNoCase(name, "syscolumns")) {
        return CatalogueView{ViewSql(kSysColumns, PgSysColumns()),
                             {{"id", "int"},
                              {"name", "nvarchar(128)"},
                              {"xtype", "tinyint"},
                              {"xusertype", "smallint"},
                              {"colorder", "smallint"},
                              {"colid", "smallint"},
                              {"isnullable", "int"}}};
    }
    if (EqualsNoCase(name, "columns")) {
        return CatalogueView{ViewSql(kColumns, PgColumns()),
                             {{"object_id", "int"},
                              {"name", "nvarchar(128)"},
                              {"column_id", "int"},
                              {"system_type_id", "tinyint"},
                              {"user_type_id", "int"},
                              {"is_nullable", "bit"}}};
    }
    if (EqualsNoCase(name, "types")) {
        return CatalogueView{
            TypesView(CurrentDialect() == SqlDialect::Postgres),
            {{"system_type_id", "tinyint"}, {"user_type_id", "int"}, {"name", "nvarchar(128)"}}};
    }
    return std::nullopt;
}

} // namespace kvad::db::tsql
