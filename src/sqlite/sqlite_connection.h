#pragma once
// The Connection of the embedded database: one SQLite handle that runs the component's T-SQL
// through the translation layer. Temporary tables live as long as the handle.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kvad_nso/connection.h"
#include "kvad_nso/errors.h"
#include "row_set.h"
#include "sqlite/sqlite_database.h"
#include "tsql/tsql_translator.h"

struct sqlite3;

namespace kvad::db {

/// A SQLite database file opened as the component's connection.
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

    [[nodiscard]] std::vector<ProviderError>& Errors() override { return errors_; }
    [[nodiscard]] bool IsOpen() const override { return db_ != nullptr; }

    /// Runs SQLite's own SQL, one or more statements, without translation. Throws DbError.
    void ExecuteNative(std::string_view sql);

    /// Runs a T-SQL query and reads its rows; with `locateRows` the rows can be written back.
    /// Returns nullopt for a statement that returns no rows (it has then been run).
    /// Throws DbError, recorded in Errors().
    [[nodiscard]] std::optional<RowSet> LoadRows(std::string_view tsql, bool locateRows);

    /// Runs `work` against the handle; a DbError it throws is recorded in Errors() and thrown
    /// again naming `statement` (the T-SQL sent), or the failing statement itself when
    /// `statement` is empty.
    template <class Work> decltype(auto) Guarded(std::string_view statement, Work&& work) {
        try {
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

    [[nodiscard]] Translation Translate(std::string_view tsql);
    /// Runs a translated statement that returns no rows; returns the rows it changed.
    long RunTranslated(const Translation& translation);
    long RunSelectInto(const Translation& translation);
    /// Adds the error to Errors() (replacing what an earlier call left) and throws it again.
    [[noreturn]] void Record(const DbError& error, std::string_view statement);
    /// The main schema's version counter, which any change of a table definition moves.
    [[nodiscard]] int SchemaCookie();

    /// Rows of catalogue reads, by T-SQL text, with the schema version they were read at: the
    /// staging writer reads a table's columns once per staged line.
    struct CachedCatalogue {
        int schemaCookie = 0;
        RowSet rows;
    };
    static constexpr std::size_t kMaxCachedCatalogue = 32;

    std::unique_ptr<sqlite3, Closer> db_;
    std::vector<ProviderError> errors_;
    int level_ = 0;
    std::unordered_map<std::string, CachedCatalogue> catalogue_;
};

/// The SQLite connection behind a connection made by OpenSqlite; DbError (HY000) naming the
/// statement for any other connection.
[[nodiscard]] SqliteConnection& AsSqlite(Connection& connection, std::string_view statement);

} // namespace kvad::db
