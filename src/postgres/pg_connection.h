#pragma once
// The Connection of the server database: one libpq session that runs the component's T-SQL
// through the translator's PostgreSQL dialect. Temporary tables live as long as the session.

#include <libpq-fe.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "kvad_nso/connection.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/variant.h"
#include "tsql/tsql_translator.h"

namespace kvad::db {

/// A result's rows in memory, with where each column comes from, shared by a recordset and its
/// clones.
struct PgRows {
    struct Column {
        std::string name;
        Oid type = 0;
        Oid table = 0; ///< the base table, 0 for an expression
        int tableColumn = 0;
    };
    std::vector<Column> columns;
    std::vector<std::vector<Variant>> rows;
    [[nodiscard]] std::optional<int> Find(std::string_view name) const;
};

/// Frees a libpq result.
struct ResultCloser {
    void operator()(PGresult* result) const noexcept { PQclear(result); }
};
using PgResult = std::unique_ptr<PGresult, ResultCloser>;

class PgConnection final : public Connection,
                           public SchemaLookup,
                           public std::enable_shared_from_this<PgConnection> {
  public:
    /// Connects; throws DbError (08001, condition CannotOpen).
    [[nodiscard]] static std::shared_ptr<PgConnection> Open(const std::string& uri);
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;
    PgConnection(PgConnection&&) = delete;
    PgConnection& operator=(PgConnection&&) = delete;
    ~PgConnection() override;

    long Execute(std::string_view sql) override;
    [[nodiscard]] std::shared_ptr<Recordset> Query(std::string_view sql) override;
    [[nodiscard]] std::shared_ptr<Recordset> OpenRecordset(std::string_view sql) override;

    int BeginTrans() override;
    void CommitTrans() override;
    void RollbackTrans() override;

    [[nodiscard]] std::vector<ProviderError>& Errors() override { return errors_; }
    [[nodiscard]] bool IsOpen() const override { return conn_ != nullptr; }

    [[nodiscard]] std::optional<std::vector<ColumnDecl>>
    TableColumns(std::string_view table) override;
    /// A working table's columns named as a table's identity (the register ids it copied): the
    /// server returns tied rows in the order of its pages, which updates change.
    [[nodiscard]] std::vector<std::string> TieBreakColumns(std::string_view table) override;

    /// Runs PostgreSQL's own SQL (one or more statements) without translation. Throws DbError.
    PgResult ExecuteNative(const std::string& sql);

    /// Runs a "COPY ... FROM STDIN" statement with its data (PostgreSQL's text format), sent in
    /// pieces. Throws DbError.
    void CopyIn(const std::string& sql, std::string_view data);

    /// Runs native SQL with text parameters, as a statement prepared once per session and
    /// reused from its second run on. Throws DbError, recorded in Errors().
    PgResult RunPrepared(const std::string& sql,
                         const std::vector<std::optional<std::string>>& params,
                         std::string_view tsql = {});

    /// Reads a result into rows (values typed by their PostgreSQL type).
    [[nodiscard]] static std::shared_ptr<PgRows> ReadRows(PGresult* result);

    /// The primary-key column numbers (attnum) of a table, cached.
    [[nodiscard]] const std::vector<int>& PrimaryKey(Oid table);
    /// A table's name for statements ("IE91_NSOFILES" or pg_temp."#T"), quoted.
    [[nodiscard]] std::string TableName(Oid table);
    /// A column's name by its number, quoted.
    [[nodiscard]] std::string ColumnName(Oid table, int column);

    /// Statements kept prepared now (for tests).
    [[nodiscard]] std::size_t KeptStatements() const noexcept { return prepared_.size(); }
    /// Times a statement reading the catalogue views ran on the server (for tests).
    [[nodiscard]] std::size_t CatalogueReads() const noexcept { return catalogueReads_; }
    /// The transaction nesting level (0 outside one).
    [[nodiscard]] int Level() const noexcept { return level_; }

  private:
    explicit PgConnection(PGconn* conn) noexcept : conn_(conn) {}

    [[nodiscard]] const Translation& Translate(std::string_view tsql);
    /// Runs a translated statement; returns its result.
    PgResult Run(const Translation& translation, std::string_view tsql);
    /// RunPrepared's statement outside a transaction ("fresh": prepare it as `name` first;
    /// no name: run it unprepared).
    PgResult RunAlone(const std::string& sql, const std::string& name, bool fresh,
                      const std::vector<const char*>& values, std::string_view named);
    /// RunPrepared's statement inside a transaction, in a savepoint of its own, in one round
    /// trip.
    PgResult RunInSavepoint(const std::string& sql, const std::string& name, bool fresh,
                            const std::vector<const char*>& values, std::string_view named);
    /// Adds the error to Errors() and throws it.
    [[noreturn]] void Fail(const std::string& message, const std::string& sqlState,
                           std::string_view statement);
    [[noreturn]] void FailWith(PGresult* result, std::string_view statement);
    /// A table's columns as the catalogue has them now.
    [[nodiscard]] std::optional<std::vector<ColumnDecl>> ReadTableColumns(std::string_view table);
    /// Forgets translations and table descriptions after the schema changed.
    void SchemaChanged();
    /// Reads the server's stamp of the schema's tables (once per transaction, or per statement
    /// outside one) and forgets what was kept when another session changed them.
    void CheckSchemaStamp();
    /// The rows of a statement that reads the catalogue views, kept for the schema generation.
    [[nodiscard]] std::shared_ptr<PgRows> CatalogueRows(std::string_view tsql);

    PGconn* conn_ = nullptr;
    std::vector<ProviderError> errors_;
    int level_ = 0;
    std::unordered_map<std::string, Translation> translations_;
    std::unordered_map<std::string, std::string> prepared_; ///< native SQL -> statement name
    std::unordered_set<std::string> seenOnce_;              ///< texts run once, unprepared
    std::size_t statementNumber_ = 0; ///< the last prepared statement's number
    std::map<Oid, std::vector<int>> keys_;
    std::map<Oid, std::string> tableNames_;
    std::map<std::pair<Oid, int>, std::string> columnNames_;
    /// Bumped whenever what was kept about the schema is forgotten.
    std::uint64_t generation_ = 0;
    /// The stamp CheckSchemaStamp read last, and whether it was read in this transaction.
    std::string schemaStamp_;
    bool stampRead_ = false;
    struct KeptCatalogue {
        std::uint64_t generation = 0;
        std::shared_ptr<PgRows> rows;
    };
    /// TableColumns' answers by upper-case table name, until the schema changes.
    std::unordered_map<std::string, std::optional<std::vector<ColumnDecl>>> tableColumns_;
    /// The identity columns' names of the schema's tables, upper case (read when first needed,
    /// until the schema changes).
    std::optional<std::set<std::string>> identityNames_;
    /// Catalogue statements' rows by T-SQL text (the loader's column lists).
    std::unordered_map<std::string, KeptCatalogue> catalogue_;
    std::size_t catalogueReads_ = 0;
};

/// The PostgreSQL connection behind a connection made by OpenPostgres; DbError (HY000) for any
/// other connection.
[[nodiscard]] PgConnection& AsPostgres(Connection& connection);

/// A value as PostgreSQL's text input reads it; nullopt for Null and Empty.
[[nodiscard]] std::optional<std::string> ParameterText(const Variant& value);

/// The in-memory recordset over a result.
[[nodiscard]] std::shared_ptr<Recordset> MakePgRecordset(std::shared_ptr<PgConnection> connection,
                                                         std::shared_ptr<PgRows> rows,
                                                         std::string tsql, bool updatable);

} // namespace kvad::db
