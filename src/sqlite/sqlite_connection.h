#pragma once
// The Connection of the embedded database: one SQLite handle that runs the component's T-SQL
// through the translation layer. Temporary tables live as long as the handle.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kvad_nso/connection.h"
#include "kvad_nso/errors.h"
#include "literal_parameters.h"
#include "row_set.h"
#include "sqlite/sqlite_database.h"
#include "sqlite_schema_lookup.h"
#include "sqlite_statement.h"
#include "statement_cache.h"
#include "text_key.h"
#include "tsql/tsql_translator.h"
#include "wal_checkpointer.h"

struct sqlite3;

namespace kvad::db {

/// A SQLite database file opened as the component's connection, used by one thread at a time.
class SqliteConnection final : public Connection,
                               public std::enable_shared_from_this<SqliteConnection> {
  public:
    /// Opens (or creates) the file with WAL journal, foreign keys and the busy timeout, and
    /// registers the translation layer's functions. Throws DbError (08001).
    [[nodiscard]] static std::shared_ptr<SqliteConnection> Open(const std::string& path,
                                                                const OpenOptions& options);
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;
    SqliteConnection(SqliteConnection&&) = delete;
    SqliteConnection& operator=(SqliteConnection&&) = delete;
    ~SqliteConnection() override;

    long Execute(std::string_view sql) override;
    [[nodiscard]] std::shared_ptr<Recordset> Query(std::string_view sql) override;
    [[nodiscard]] std::shared_ptr<Recordset> OpenRecordset(std::string_view sql) override;

    int BeginTrans() override;
    void CommitTrans() override;
    void RollbackTrans() override;
    void GroupCommits(int units, int maxMilliseconds) override;
    void CommitGroup() override;
    /// How many rollbacks this connection was asked for: a row inserted before one may no
    /// longer be there, or its rowid be another row's.
    [[nodiscard]] std::uint64_t Rollbacks() const noexcept { return rollbacks_; }

    [[nodiscard]] std::vector<ProviderError>& Errors() override { return errors_; }
    [[nodiscard]] bool IsOpen() const override { return db_ != nullptr; }

    /// Runs SQLite's own SQL, one or more statements, without translation. Throws DbError.
    void ExecuteNative(std::string_view sql);

    /// Runs a T-SQL query and reads its rows; with `locateRows` the rows can be written back.
    /// Returns null for a statement that returns no rows (it has then been run).
    /// Throws DbError, recorded in Errors().
    [[nodiscard]] std::shared_ptr<RowSet> LoadRows(std::string_view tsql, bool locateRows);
    /// LoadRows without locating rows, for read-only results: rows of a catalogue read may be
    /// the ones kept from the last time the same statement was sent.
    [[nodiscard]] std::shared_ptr<const RowSet> QueryRows(std::string_view tsql);

    /// The handle with the statement cache and the schema generation in force now, for
    /// writing rows back.
    [[nodiscard]] StatementSource Statements();

    /// The main and temporary schemas' version counters, which every change of a table
    /// definition (by any connection) moves: translations, prepared statements and result
    /// descriptions are kept for one generation. Inside a transaction of this connection (it
    /// holds the write lock, so no other connection changes the schema) the counters are read
    /// once, and again after a statement of this connection that may change a definition.
    [[nodiscard]] std::uint64_t SchemaGeneration();

    /// Statements kept prepared now (for tests).
    [[nodiscard]] std::size_t KeptStatements() const noexcept { return statements_.Size(); }

    /// Runs `work` against the handle; a DbError it throws is recorded in Errors() and thrown
    /// again naming `statement` (the T-SQL sent), or the failing statement itself when
    /// `statement` is empty. Refused (DbError 25000) while a transaction the database ended is
    /// not rolled back by the caller.
    template <class Work> decltype(auto) Guarded(std::string_view statement, Work&& work) {
        try {
            RefuseInEndedTransaction();
            return work();
        } catch (const DbError& error) {
            Record(error, statement);
        }
    }

    [[nodiscard]] sqlite3* Handle() const noexcept { return db_.get(); }

  private:
    struct Closer {
        void operator()(sqlite3* db) const noexcept;
    };
    explicit SqliteConnection(std::unique_ptr<sqlite3, Closer> db) noexcept;

    /// A translation and the values of its parameters.
    struct Translated {
        const Translation* translation = nullptr;
        std::vector<ParameterValue> parameters;
        std::size_t sqlHash = 0; ///< TextKey::Of(translation->sql).hash

        [[nodiscard]] TextKey Sql() const noexcept { return {translation->sql, sqlHash}; }
    };
    /// The key of a T-SQL text for the caches: hashed when it is short enough to be kept.
    [[nodiscard]] static TextKey KeyOf(std::string_view tsql) noexcept {
        return tsql.size() <= StatementCache::kMaxSqlLength ? TextKey::Of(tsql) : TextKey{tsql, 0};
    }
    /// The translation of a T-SQL statement at a schema generation, kept for the next time the
    /// same text is sent, or the same text with other integers compared with its columns (they
    /// are then parameters).
    [[nodiscard]] Translated Translate(TextKey tsql, std::uint64_t generation);
    /// The translation of a statement as written, kept by text.
    [[nodiscard]] Translated TranslateText(TextKey tsql, std::uint64_t generation);
    /// Runs a translated statement that returns no rows; returns the rows it changed.
    long RunTranslated(const Translated& translated, const StatementSource& source);
    long RunSelectInto(const Translation& translation, const StatementSource& source);
    /// The next SchemaGeneration() reads the counters again (a definition may have changed).
    void ForgetGeneration() noexcept { knownGeneration_.reset(); }
    /// Whether this connection holds its write transaction (BEGIN IMMEDIATE), its own or a
    /// group's: no other connection changes the schema meanwhile.
    [[nodiscard]] bool HoldsWriteTransaction() const;
    /// Makes the index a query over a working table asks for (Translation::orderIndex), once
    /// per schema generation; a failure only leaves the query to sort. Returns the statement
    /// source to read with, at the generation after the index.
    [[nodiscard]] StatementSource EnsureOrderIndex(const std::string& sql,
                                                   const StatementSource& source);
    /// Runs a statement that begins or ends a transaction, prepared once for the connection.
    void RunKept(const std::string& sql);
    /// The error's code, with condition NewerSchema for a statement that cannot be prepared or
    /// translated on a file that records a newer schema version than this build knows.
    [[nodiscard]] DbCode CodeFor(const DbError& error) const noexcept;
    /// Adds the error to Errors() (replacing what an earlier call left) and throws it again.
    /// Notes a transaction the database ended itself on this error.
    [[noreturn]] void Record(const DbError& error, std::string_view statement);
    /// Throws DbError (25000, with the code of the failure that ended it) while the caller has
    /// not rolled back a transaction the database ended.
    void RefuseInEndedTransaction() const;
    /// True when the database ended the open group's transaction (its committed transactions
    /// are then counted as lost, and the group is closed).
    bool NoteLostGroup();

    template <class Value> using ByText = ByTextKey<Value>;

    /// Values by text, at most about twice `Capacity`: when the recent ones fill up they become
    /// the older ones and the older ones are dropped; an older one found again is recent again.
    /// What is used over and over stays, however many one-off texts (a code in a literal) pass
    /// through. A value keeps its address until it is dropped.
    template <class Value, std::size_t Capacity> class KeptByText {
      public:
        [[nodiscard]] Value* Find(TextKey text) {
            if (const auto found = recent_.find(text); found != recent_.end()) {
                return &found->second;
            }
            const auto old = older_.find(text);
            if (old == older_.end()) {
                return nullptr;
            }
            auto node = older_.extract(old);
            MakeRoom();
            return &recent_.insert(std::move(node)).position->second;
        }
        Value& Put(TextKey text, Value value) {
            if (Value* kept = Find(text)) {
                *kept = std::move(value);
                return *kept;
            }
            MakeRoom();
            return recent_.emplace(KeptText(text), std::move(value)).first->second;
        }

      private:
        void MakeRoom() {
            if (recent_.size() >= Capacity) {
                older_ = std::move(recent_);
                recent_.clear();
            }
        }
        ByText<Value> recent_;
        ByText<Value> older_;
    };

    struct KeptTranslation {
        std::uint64_t generation = 0;
        Translation translation;
        std::size_t sqlHash = 0; ///< of translation.sql
    };
    /// A statement shape with its integer literals taken out: its translation with parameters,
    /// or (parameterized false) the finding that the literals cannot be parameters.
    struct KeptShape {
        std::uint64_t generation = 0;
        bool parameterized = false;
        Translation translation;
        /// False while the shape was seen once only: whether it takes parameters is worked out
        /// (a second translation) when it comes again, so that one-off statements cost one.
        bool checked = true;
        std::size_t sqlHash = 0; ///< of translation.sql
    };
    /// Rows of catalogue reads, by T-SQL text, with the schema generation they were read at:
    /// the staging writer reads a table's columns once per staged line.
    struct KeptCatalogue {
        std::uint64_t generation = 0;
        std::shared_ptr<const RowSet> rows;
    };
    static constexpr std::size_t kMaxKeptTranslations = 512;
    static constexpr std::size_t kMaxKeptCatalogue = 32;
    /// Order indexes kept track of at most (see EnsureOrderIndex).
    static constexpr std::size_t kMaxOrderIndexes = 64;

    std::unique_ptr<sqlite3, Closer> db_;
    std::unique_ptr<WalCheckpointer> checkpointer_;
    std::vector<ProviderError> errors_;
    int level_ = 0;
    std::uint64_t rollbacks_ = 0;
    // The database rolled back the whole transaction after a failure (a full disk, an I/O
    // error) while the caller had `level_` levels open: the failure's code, until the caller has
    // rolled them all back. Until then every statement is refused, since it would run in
    // autocommit, outside the caller's unit of work.
    std::optional<DbCode> endedTransaction_;
    // Grouped commits (GroupCommits): the outermost transactions are savepoints of the open
    // group's transaction, which is written after `units` of them or `milliseconds`.
    struct CommitGrouping {
        int units = 0; ///< 0: each transaction commits on its own
        int milliseconds = 0;
        bool open = false;         ///< the group's transaction is open
        int committed = 0;         ///< transactions committed into the open group
        std::int64_t openedAt = 0; ///< steady clock, ms
        /// Committed transactions of a group the database undid after a failure, until
        /// CommitGroup() reports them.
        int lost = 0;
        std::optional<DbCode> lostCode;
    } group_;
    // Declared after the handle: destroyed (statements finalized) before it is closed.
    StatementCache statements_;
    std::optional<Statement> mainVersion_;
    std::optional<Statement> tempVersion_;
    // The generation read inside the open transaction; empty when it must be read again.
    std::optional<std::uint64_t> knownGeneration_;
    /// Order indexes made (or found failing) for working tables, by their SQL: the schema
    /// generation they were last made at.
    std::unordered_map<std::string, std::uint64_t> orderIndexes_;
    std::uint64_t lastGeneration_ = 0;     ///< the generation read last
    std::optional<Statement> schemaCheck_; ///< a read of the schema table, for SQLite's check
    KeptByText<KeptTranslation, kMaxKeptTranslations> translations_;
    KeptByText<KeptShape, kMaxKeptTranslations> parameterized_;
    /// Finds a statement's literals by the shapes met before.
    LiteralShapes literalShapes_{StatementCache::kMaxSqlLength};
    /// Tables' columns as the translator asked for them, by table name, with the schema
    /// generation they were read at.
    TableColumnCache tableColumns_;
    Translation scratch_; ///< the last translation not kept
    ByText<KeptCatalogue> catalogue_;
    ResultShapeCache shapes_;
};

/// The SQLite connection behind a connection made by OpenSqlite; DbError (HY000) naming the
/// statement for any other connection.
[[nodiscard]] SqliteConnection& AsSqlite(Connection& connection, std::string_view statement);

} // namespace kvad::db
