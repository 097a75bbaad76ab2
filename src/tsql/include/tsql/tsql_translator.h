#pragma once
// Translation of the component's T-SQL statements into SQLite statements with the meaning SQL
// Server gives them. Tokenizer-based; a construct it does not know is refused with a DbError
// (SQL state 42000) that names it, never rewritten silently.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvad::db {

/// The database a translation is written for. PostgreSQL gets identifiers quoted in upper case
/// (as its schema declares them), "#" tables in its session's temporary schema, COALESCE for
/// IFNULL and the "nocase" collation only on text.
enum class SqlDialect { Sqlite, Postgres };

/// A column of a table as declared ("IE91_ISSUEDATE", "datetime").
struct ColumnDecl {
    std::string name;
    std::string declType;
    /// The column is the table's identity (assigned by the database on insert).
    bool identity = false;
};

/// What the translator may ask about the database while translating.
class SchemaLookup {
  public:
    SchemaLookup() = default;
    SchemaLookup(const SchemaLookup&) = delete;
    SchemaLookup& operator=(const SchemaLookup&) = delete;
    SchemaLookup(SchemaLookup&&) = delete;
    SchemaLookup& operator=(SchemaLookup&&) = delete;
    virtual ~SchemaLookup() = default;
    /// Columns of a table in declaration order (temporary "#X" tables included), or nullopt
    /// when the table does not exist.
    [[nodiscard]] virtual std::optional<std::vector<ColumnDecl>>
    TableColumns(std::string_view table) = 0;
    /// Columns that put rows of equal ORDER BY keys of a "#X" working table in a fixed order,
    /// appended as the last keys of an ORDER BY over that table alone. SQLite needs none: its
    /// rows tie in the order they were added. A server whose row order changes with updates
    /// names the register ids the table copied, so that ties come out the same in every run.
    [[nodiscard]] virtual std::vector<std::string> TieBreakColumns(std::string_view table) {
        (void)table;
        return {};
    }
};

/// What one T-SQL statement becomes.
struct Translation {
    enum class Kind {
        Query,      ///< `sql` returns rows
        Command,    ///< `sql` changes data or schema and returns no rows
        SelectInto, ///< create `intoTable` from the rows of `sql` (a SELECT), keeping types
        Nothing,    ///< the statement has no effect (e.g. dropping a table that is not there)
    };
    Kind kind = Kind::Command;
    /// The SQLite statement (exactly one).
    std::string sql;
    /// SelectInto: the target table as named in T-SQL ("#TEMP_ORD").
    std::string intoTable;
    /// SelectInto: declared T-SQL types of result columns that the translator knows from the
    /// statement itself (CONVERT(TINYINT, ...) AS TMP_ELABORA -> "tinyint"), by output name;
    /// the other columns take the declared type of the column they come from.
    std::map<std::string, std::string> columnTypes;
    /// The statement reads the catalogue views (sys.tables, sys.syscolumns, ...): its rows
    /// change only when the schema does.
    bool readsCatalogue = false;
    /// Query over a "#X" working table (SQLite): a CREATE INDEX IF NOT EXISTS on that table's
    /// ORDER BY columns, which lets SQLite read the rows in order instead of sorting them, long
    /// texts and all, each time. Only a hint: the rows and their order are the same without it,
    /// and SQLite may not use it (a name of the ORDER BY that is no column of the table fails
    /// to make it). Empty otherwise.
    std::string orderIndex;
};

/// Translates one T-SQL statement. Text left over after the statement is an error.
/// Throws DbError (42000) for a construct it does not support, naming it.
[[nodiscard]] Translation TranslateTsql(std::string_view tsql, SchemaLookup& schema,
                                        SqlDialect dialect = SqlDialect::Sqlite);

/// The SQLite name of a T-SQL table name: "#TEMP_ORD" lives in the temp schema as
/// temp."#TEMP_ORD"; other names are returned quoted.
[[nodiscard]] std::string SqliteTableName(std::string_view tsqlName);

/// The PostgreSQL name of a T-SQL table name: "#TEMP_ORD" lives in the session's temporary
/// schema as pg_temp."#TEMP_ORD"; other names are quoted in upper case ("IE91_NSOFILES").
[[nodiscard]] std::string PostgresTableName(std::string_view tsqlName);

/// A T-SQL identifier as PostgreSQL reads it: quoted, in upper case.
[[nodiscard]] std::string PostgresIdentifier(std::string_view name);

/// The SQL (PostgreSQL's own) that readies a schema for translated statements: the "nocase"
/// collation, the domains that stand for T-SQL types (tinyint, datetime, smalldatetime, ntext,
/// tsql_bit) and the tsql_* functions translations call. Safe to run again.
[[nodiscard]] std::string PostgresSupportScript();

} // namespace kvad::db
