#include "sqlite_connection.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <utility>

#include "literal_parameters.h"
#include "one_pass_result.h"
#include "quote_identifier.h"
#include "savepoint.h"
#include "schema_scripts.h"
#include "sqlite_error.h"
#include "sqlite_schema_lookup.h"
#include "sqlite_statement.h"
#include "tsql/tsql_functions.h"
#include "wal_checkpointer.h"
#include "working_recordset.h"

namespace kvad::db {

namespace {

/// A declared type for a computed column, from the first value it holds.
std::string TypeOfValue(sqlite3_stmt* stmt, int index) {
    switch (sqlite3_column_type(stmt, index)) {
    case SQLITE_INTEGER: {
        const sqlite3_int64 value = sqlite3_column_int64(stmt, index);
        return value >= std::numeric_limits<std::int32_t>::min() &&
                       value <= std::numeric_limits<std::int32_t>::max()
                   ? "int"
                   : "bigint";
    }
    case SQLITE_FLOAT:
        return "float";
    case SQLITE_BLOB:
        return "varbinary";
    default:
        return "varchar";
    }
}

std::string SavepointName(int level) {
    return "kvad_trans_" + std::to_string(level);
}

std::int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

/// Whether a statement may change a table's definition: anything but a query or a row change
/// (triggers cannot hold definitions either).
bool MayChangeSchema(sqlite3_stmt* stmt, std::string_view sql) {
    if (sqlite3_stmt_readonly(stmt) != 0) {
        return false;
    }
    const std::size_t start = sql.find_first_not_of(" \t\r\n(");
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string_view rest = sql.substr(start);
    const auto startsWith = [&](std::string_view word) {
        return rest.size() > word.size() &&
               std::equal(word.begin(), word.end(), rest.begin(), [](char a, char b) {
                   return a == (b >= 'a' && b <= 'z' ? static_cast<char>(b - 'a' + 'A') : b);
               });
    };
    return !(startsWith("INSERT") || startsWith("UPDATE") || startsWith("DELETE") ||
             startsWith("REPLACE") || startsWith("WITH") || startsWith("SELECT"));
}

/// Calls the connection's ForgetGeneration() when the scope ends, however it ends.
class ForgetGenerationAtEnd {
  public:
    explicit ForgetGenerationAtEnd(std::optional<std::uint64_t>& known) noexcept : known_(known) {}
    ForgetGenerationAtEnd(const ForgetGenerationAtEnd&) = delete;
    ForgetGenerationAtEnd& operator=(const ForgetGenerationAtEnd&) = delete;
    ForgetGenerationAtEnd(ForgetGenerationAtEnd&&) = delete;
    ForgetGenerationAtEnd& operator=(ForgetGenerationAtEnd&&) = delete;
    ~ForgetGenerationAtEnd() { known_.reset(); }

  private:
    std::optional<std::uint64_t>& known_;
};

} // namespace

void SqliteConnection::Closer::operator()(sqlite3* db) const noexcept {
    sqlite3_close_v2(db);
}

SqliteConnection::SqliteConnection(std::unique_ptr<sqlite3, Closer> db) noexcept
    : db_(std::move(db)), statements_(db_.get()) {}

SqliteConnection::~SqliteConnection() {
    checkpointer_.reset(); // before the handle it is installed on
    mainVersion_.reset();
    tempVersion_.reset();
    schemaCheck_.reset();
    statements_.Clear();
    if (db_ != nullptr && group_.open && sqlite3_get_autocommit(db_.get()) == 0) {
        // The group's committed transactions are kept; one still open is undone.
        if (level_ > 0) {
            const std::string outermost = SavepointName(1);
            sqlite3_exec(db_.get(), ("ROLLBACK TO " + outermost + "; RELEASE " + outermost).c_str(),
                         nullptr, nullptr, nullptr);
        }
        sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
    }
    if (db_ != nullptr && sqlite3_get_autocommit(db_.get()) == 0) {
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

namespace {

/// Set once, before the library starts (later SQLite refuses them, harmlessly):
/// - no allocation statistics: SQLite counts its allocations under a global mutex unless told
///   otherwise, a lock and an unlock around each of the few thousand allocations an order's
///   statements make, for figures nothing here reads;
/// - multi-thread mode: each connection is used by one thread at a time (every connection is
///   opened SQLITE_OPEN_NOMUTEX), so a row's values can be read through the unprotected
///   sqlite3_value that sqlite3_column_value gives (see ReadCell).
void ConfigureLibraryOnce() {
    static const bool configured = [] {
        (void)sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        (void)sqlite3_config(SQLITE_CONFIG_MULTITHREAD);
        return true;
    }();
    (void)configured;
}

} // namespace

std::shared_ptr<SqliteConnection> SqliteConnection::Open(const std::string& path,
                                                         const OpenOptions& options) {
    ConfigureLibraryOnce();
    sqlite3* raw = nullptr;
    // A connection is used by one thread at a time (its caches are not locked either): SQLite
    // need not lock its own structures around every call.
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (options.create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK) {
        const DbError error = SqliteError(raw, rc, {}, false);
        throw DbError(error.Description() + " (" + path + ")", "08001", std::string(),
                      kProviderSource, error.Code());
    }
    sqlite3_extended_result_codes(db.get(), 1);
    sqlite3_busy_timeout(db.get(), options.busyTimeoutMs);
    bool wal = false;
    try {
        ExecuteSql(db.get(), "PRAGMA foreign_keys = ON");
        // WAL lets readers go on while one connection writes; ":memory:" keeps its own mode.
        Statement journal(db.get(), "PRAGMA journal_mode = WAL");
        if (journal.Step()) {
            const unsigned char* mode = sqlite3_column_text(journal.Get(), 0);
            wal = mode != nullptr && EqualsNoCase(reinterpret_cast<const char*>(mode), "wal");
        }
        ExecuteSql(db.get(), "PRAGMA synchronous = NORMAL");
        // Temporary tables (the working tables of one batch), their journals and the sorts of
        // large rows stay in memory: on disk each transaction that touched them made, wrote and
        // removed a scratch file of its own, two or three per order.
        ExecuteSql(db.get(), "PRAGMA temp_store = MEMORY");
        // Checkpoints every 10,000 pages (40 MB of log) instead of 1,000: a page written by
        // several commits between two checkpoints is copied into the database once, and each
        // checkpoint's two flushes to disk come a tenth as often. An 8 MB page cache (SQLite's
        // is 2 MB) keeps more of a batch's pages between its statements. For 1,000 orders the
        // job's page reads and writes went from 102,676 to 84,868 calls, its flushes from 32
        // to 8. A file in WAL mode has them made by a thread of its own (below).
        ExecuteSql(db.get(),
                   "PRAGMA wal_autocheckpoint = " + std::to_string(options.checkpointPages));
        ExecuteSql(db.get(), "PRAGMA cache_size = -8192");
    } catch (const DbError& error) {
        const std::string state =
            error.SqlState() == "HY000" ? std::string("08001") : error.SqlState();
        throw DbError(error.Description() + " (" + path + ")", state, error.Statement(),
                      kProviderSource, error.Code());
    }
    RegisterTsqlFunctions(db.get());
    std::shared_ptr<SqliteConnection> connection(new SqliteConnection(std::move(db)));
    if (wal && options.backgroundCheckpoints && options.checkpointPages > 0) {
        // The writer no longer stops for each checkpoint: about a tenth of the main job's
        // time went on copying the log back.
        connection->checkpointer_ = std::make_unique<WalCheckpointer>(
            connection->db_.get(), sqlite3_db_filename(connection->db_.get(), "main"),
            options.checkpointPages);
    }
    return connection;
}

DbCode SqliteConnection::CodeFor(const DbError& error) const noexcept {
    DbCode code = error.Code();
    // A statement of this program that the file cannot run (a table or column it lacks) means
    // a newer program changed the file, when the file says so.
    if (error.SqlState() == "42000" && db_ != nullptr &&
        RecordedSchemaVersion(db_.get()) > LatestSchemaVersion()) {
        code.condition = DatabaseCondition::NewerSchema;
    }
    return code;
}

void SqliteConnection::RefuseInEndedTransaction() const {
    if (endedTransaction_) {
        throw DbError("The database ended the transaction after an error and undid its work; "
                      "nothing more is sent until the transaction is rolled back.",
                      "25000", std::string(), kProviderSource, *endedTransaction_);
    }
}

void SqliteConnection::Record(const DbError& error, std::string_view statement) {
    // A failed statement may have been undone with whatever definition it changed.
    ForgetGeneration();
    const DbCode code = CodeFor(error);
    if (level_ > 0 && !endedTransaction_ && db_ != nullptr &&
        sqlite3_get_autocommit(db_.get()) != 0) {
        // SQLite ended the transaction itself (a full disk, an I/O error, ...).
        endedTransaction_ = code;
    }
    if (NoteLostGroup()) {
        group_.lostCode = code;
    }
    ProviderError entry;
    entry.description = error.Description();
    entry.source = error.Source();
    entry.sqlState = error.SqlState();
    entry.nativeError = code.resultCode;
    // As ADO does, a new failure replaces the entries an earlier one left.
    errors_.clear();
    errors_.push_back(entry);
    if ((statement.empty() || statement == error.Statement()) &&
        code.condition == error.Condition()) {
        throw error;
    }
    throw DbError(error.Description(), error.SqlState(),
                  std::string(statement.empty() ? std::string_view(error.Statement()) : statement),
                  error.Source(), code);
}

std::uint64_t SqliteConnection::SchemaGeneration() {
    // Inside this connection's transaction (BEGIN IMMEDIATE: the write lock is held), its own or
    // a group's between two of its own, only this connection changes the schema, and it forgets
    // the counters whenever it may have.
    const bool inTransaction = HoldsWriteTransaction();
    if (knownGeneration_ && inTransaction) {
        return *knownGeneration_;
    }
    if (!mainVersion_) {
        mainVersion_.emplace(db_.get(), "PRAGMA main.schema_version");
        tempVersion_.emplace(db_.get(), "PRAGMA temp.schema_version");
    }
    const auto read = [](Statement& stmt) {
        const std::uint64_t version =
            stmt.Step() ? static_cast<std::uint32_t>(sqlite3_column_int(stmt.Get(), 0)) : 0;
        stmt.Reset();
        return version;
    };
    const std::uint64_t generation = read(*mainVersion_) << 32U | read(*tempVersion_);
    if (generation != lastGeneration_) {
        // Another connection's change reaches this one's copy of the schema when a statement
        // reads a table (the version check), not when the counter is read: the translator's
        // column lists come from that copy.
        if (!schemaCheck_) {
            schemaCheck_.emplace(db_.get(), "SELECT count(*) FROM main.sqlite_master");
        }
        (void)schemaCheck_->Step();
        schemaCheck_->Reset();
        lastGeneration_ = generation;
    }
    if (inTransaction) {
        knownGeneration_ = generation;
    } else {
        knownGeneration_.reset();
    }
    return generation;
}

StatementSource SqliteConnection::Statements() {
    return StatementSource{db_.get(), &statements_, SchemaGeneration()};
}

SqliteConnection::Translated SqliteConnection::TranslateText(TextKey tsql,
                                                             std::uint64_t generation) {
    const bool keep = tsql.text.size() <= StatementCache::kMaxSqlLength;
    KeptTranslation* kept = keep ? translations_.Find(tsql) : nullptr;
    if (kept != nullptr && kept->generation == generation) {
        return {&kept->translation, {}, kept->sqlHash};
    }
    SqliteSchemaLookup lookup(db_.get(), &tableColumns_, generation);
    Translation translation = TranslateTsql(tsql.text, lookup);
    const std::size_t sqlHash = KeyOf(translation.sql).hash;
    if (kept != nullptr) {
        *kept = KeptTranslation{generation, std::move(translation), sqlHash};
        return {&kept->translation, {}, sqlHash};
    }
    if (!keep) {
        // Statements this long carry a document's text and are not sent twice.
        scratch_ = std::move(translation);
        return {&scratch_, {}, sqlHash};
    }
    const KeptTranslation& added =
        translations_.Put(tsql, KeptTranslation{generation, std::move(translation), sqlHash});
    return {&added.translation, {}, sqlHash};
}

SqliteConnection::Translated SqliteConnection::Translate(TextKey tsql, std::uint64_t generation) {
    if (tsql.text.size() <= StatementCache::kMaxSqlLength) {
        if (const KeptTranslation* exact = translations_.Find(tsql);
            exact != nullptr && exact->generation == generation) {
            return {&exact->translation, {}, exact->sqlHash};
        }
    }
    auto literals = literalShapes_.Find(tsql.text);
    if (!literals || literals->key.size() > StatementCache::kMaxSqlLength) {
        return TranslateText(tsql, generation);
    }
    const TextKey shapeKey = literals->keyHash != 0 ? TextKey{literals->key, literals->keyHash}
                                                    : TextKey::Of(literals->key);
    KeptShape* shape = parameterized_.Find(shapeKey);
    if (shape == nullptr || shape->generation != generation) {
        parameterized_.Put(shapeKey, KeptShape{generation, false, {}, false});
        return TranslateText(tsql, generation);
    }
    if (!shape->checked) {
        // Second time this shape is seen at this schema: it takes parameters when translating
        // it with other values moves nothing but the values.
        const Translation& original = *TranslateText(tsql, generation).translation;
        KeptShape kept{generation, false, {}};
        std::vector<std::string> written;
        for (const auto& [at, length] : literals->spans) {
            written.emplace_back(tsql.text.substr(at, length));
        }
        const std::vector<std::string> sentinels = SentinelValues(tsql.text, *literals);
        try {
            SqliteSchemaLookup lookup(db_.get(), &tableColumns_, generation);
            Translation other =
                TranslateTsql(ReplaceLiterals(tsql.text, *literals, sentinels), lookup);
            const bool comparable = (original.kind == Translation::Kind::Query ||
                                     original.kind == Translation::Kind::Command) &&
                                    other.kind == original.kind &&
                                    other.intoTable == original.intoTable &&
                                    other.columnTypes == original.columnTypes &&
                                    other.readsCatalogue == original.readsCatalogue;
            if (comparable) {
                if (auto sql = ParameterizedSql(original.sql, written, other.sql, sentinels,
                                                literals->bare)) {
                    other.sql = std::move(*sql);
                    const std::size_t sqlHash = KeyOf(other.sql).hash;
                    kept = KeptShape{generation, true, std::move(other), true, sqlHash};
                }
            }
        } catch (const DbError&) {
            // Other values make the statement fail: it keeps its literals.
        }
        *shape = std::move(kept);
        if (!shape->parameterized) {
            return TranslateText(tsql, generation);
        }
    }
    if (!shape->parameterized) {
        return TranslateText(tsql, generation);
    }
    return {&shape->translation, std::move(literals->values), shape->sqlHash};
}

long SqliteConnection::Execute(std::string_view sql) {
    return Guarded(sql, [&] {
        const StatementSource source = Statements();
        return RunTranslated(Translate(KeyOf(sql), source.generation), source);
    });
}

long SqliteConnection::RunTranslated(const Translated& translated, const StatementSource& source) {
    const Translation& translation = *translated.translation;
    switch (translation.kind) {
    case Translation::Kind::Nothing:
        return 0;
    case Translation::Kind::SelectInto:
        return RunSelectInto(translation, source);
    case Translation::Kind::Query:
    case Translation::Kind::Command:
        break;
    }
    const sqlite3_int64 before = sqlite3_total_changes64(db_.get());
    Statement stmt =
        source.Prepare(translated.Sql(), translation.sql.size() <= StatementCache::kMaxSqlLength);
    stmt.BindParameters(translated.parameters);
    if (MayChangeSchema(stmt.Get(), translation.sql)) {
        ForgetGeneration();
    }
    stmt.Run();
    // sqlite3_changes keeps the count of the last INSERT, UPDATE or DELETE: a statement that
    // changed nothing (DDL, SELECT) must not report it again.
    if (sqlite3_total_changes64(db_.get()) == before) {
        return 0;
    }
    return static_cast<long>(sqlite3_changes64(db_.get()));
}

namespace {

/// True when result column `i` of `select` is a table's identity copied unchanged (an
/// AUTOINCREMENT key), not an expression.
bool CopiesIdentity(sqlite3* db, sqlite3_stmt* select, int i) {
    const char* column = sqlite3_column_origin_name(select, i);
    const char* table = sqlite3_column_table_name(select, i);
    const char* schema = sqlite3_column_database_name(select, i);
    if (column == nullptr || table == nullptr) {
        return false;
    }
    int notNull = 0;
    int primaryKey = 0;
    int autoIncrement = 0;
    return sqlite3_table_column_metadata(db, schema, table, column, nullptr, nullptr, &notNull,
                                         &primaryKey, &autoIncrement) == SQLITE_OK &&
           autoIncrement != 0;
}

} // namespace

long SqliteConnection::RunSelectInto(const Translation& translation,
                                     const StatementSource& source) {
    const ForgetGenerationAtEnd forget(knownGeneration_); // it creates a table
    sqlite3* db = db_.get();
    std::vector<std::string> names;
    std::vector<std::string> types;
    std::vector<std::string> identities; // result columns copied from a table's identity
    {
        Statement select = source.Prepare(translation.sql,
                                          translation.sql.size() <= StatementCache::kMaxSqlLength);
        const int count = select.ColumnCount();
        std::vector<int> untyped;
        for (int i = 0; i < count; ++i) {
            const char* name = sqlite3_column_name(select.Get(), i);
            names.emplace_back(name != nullptr ? name : "");
            std::string type;
            if (const std::string* hint = FindTypeHint(translation.columnTypes, names.back())) {
                type = *hint;
            } else if (const char* declared = sqlite3_column_decltype(select.Get(), i)) {
                type = declared;
            }
            if (type.empty()) {
                untyped.push_back(i);
            }
            types.push_back(std::move(type));
            if (CopiesIdentity(db, select.Get(), i)) {
                identities.push_back(names.back());
            }
        }
        // Computed columns without a known type take the type of their first value.
        while (!untyped.empty() && select.Step()) {
            std::erase_if(untyped, [&](int i) {
                if (sqlite3_column_type(select.Get(), i) == SQLITE_NULL) {
                    return false;
                }
                types[static_cast<std::size_t>(i)] = TypeOfValue(select.Get(), i);
                return true;
            });
        }
        for (int i : untyped) {
            types[static_cast<std::size_t>(i)] = "int"; // only Nulls: SQL Server's choice
        }
    }
    const std::string table = SqliteTableName(translation.intoTable);
    std::string create = "CREATE TABLE " + table + " (";
    for (std::size_t i = 0; i < names.size(); ++i) {
        create += (i > 0 ? ", " : "") + QuoteIdentifier(names[i]) + " " + types[i];
        if (IsTextDeclType(types[i])) {
            create += " COLLATE NOCASE";
        }
    }
    create += ")";

    // The table and its rows appear together or not at all.
    Savepoint together(db, "kvad_select_into");
    ExecuteSql(db, create);
    Statement insert(db, "INSERT INTO " + table + " " + translation.sql);
    insert.Run();
    const long inserted = static_cast<long>(sqlite3_changes64(db));
    // A row of the new table is found again by the identity it copied (a working table's
    // document id): an index keeps each such lookup from scanning every row, long texts and all.
    const SqliteTableRef ref = ResolveTableName(translation.intoTable);
    for (const std::string& column : identities) {
        ExecuteSql(db, "CREATE INDEX " + ref.schema + "." +
                           QuoteIdentifier(ref.table + "$" + column) + " ON " +
                           QuoteIdentifier(ref.table) + " (" + QuoteIdentifier(column) + ")");
    }
    together.Release();
    return inserted;
}

StatementSource SqliteConnection::EnsureOrderIndex(const std::string& sql,
                                                   const StatementSource& source) {
    const auto kept = orderIndexes_.find(sql);
    if (kept != orderIndexes_.end() && kept->second == source.generation) {
        return source;
    }
    if (orderIndexes_.size() >= kMaxOrderIndexes) {
        orderIndexes_.clear(); // names of working tables come and go
    }
    try {
        ExecuteSql(db_.get(), sql);
    } catch (const DbError&) {
        // An ORDER BY name that is no column of the table (a select-list alias): no index.
    }
    ForgetGeneration();
    StatementSource after = Statements();
    orderIndexes_[sql] = after.generation;
    return after;
}

std::shared_ptr<RowSet> SqliteConnection::LoadRows(std::string_view tsql, bool locateRows) {
    return Guarded(tsql, [&]() -> std::shared_ptr<RowSet> {
        StatementSource source = Statements();
        const Translated translated = Translate(KeyOf(tsql), source.generation);
        const Translation& translation = *translated.translation;
        if (translation.kind != Translation::Kind::Query) {
            (void)RunTranslated(translated, source);
            return nullptr;
        }
        if (!translation.orderIndex.empty()) {
            source = EnsureOrderIndex(translation.orderIndex, source);
        }
        return std::make_shared<RowSet>(LoadRowSet(source, translated.Sql(),
                                                   translation.columnTypes, locateRows, &shapes_,
                                                   translated.parameters));
    });
}

std::shared_ptr<const RowSet> SqliteConnection::QueryRows(std::string_view tsql) {
    return Guarded(tsql, [&]() -> std::shared_ptr<const RowSet> {
        StatementSource source = Statements();
        const TextKey key = KeyOf(tsql);
        const auto cached = catalogue_.find(key);
        if (cached != catalogue_.end() && cached->second.generation == source.generation) {
            return cached->second.rows;
        }
        const Translated translated = Translate(key, source.generation);
        const Translation& translation = *translated.translation;
        if (translation.kind != Translation::Kind::Query) {
            (void)RunTranslated(translated, source);
            return nullptr;
        }
        if (!translation.orderIndex.empty()) {
            source = EnsureOrderIndex(translation.orderIndex, source);
        }
        auto rows = std::make_shared<const RowSet>(LoadRowSet(source, translated.Sql(),
                                                              translation.columnTypes, false,
                                                              &shapes_, translated.parameters));
        if (translation.readsCatalogue) {
            if (catalogue_.size() >= kMaxKeptCatalogue) {
                catalogue_.clear();
            }
            catalogue_.insert_or_assign(KeptText(key), KeptCatalogue{source.generation, rows});
        }
        return rows;
    });
}

std::shared_ptr<Recordset> SqliteConnection::Query(std::string_view sql) {
    return std::make_shared<OnePassResult>(shared_from_this(), std::string(sql), QueryRows(sql));
}

std::shared_ptr<Recordset> SqliteConnection::OpenRecordset(std::string_view sql) {
    return std::make_shared<WorkingRecordset>(shared_from_this(), std::string(sql),
                                              LoadRows(sql, true));
}

void SqliteConnection::RunKept(const std::string& sql) {
    // Transaction statements do not depend on the schema: kept at one generation for good.
    Statement stmt = statements_.Acquire(sql, 0);
    stmt.Run();
}

bool SqliteConnection::NoteLostGroup() {
    if (!group_.open || db_ == nullptr || sqlite3_get_autocommit(db_.get()) == 0) {
        return false;
    }
    // The database ended the group's transaction after a failure: what it held is gone.
    group_.lost += group_.committed;
    group_.open = false;
    group_.committed = 0;
    return true;
}

bool SqliteConnection::HoldsWriteTransaction() const {
    return (level_ > 0 || group_.open) && db_ != nullptr && sqlite3_get_autocommit(db_.get()) == 0;
}

int SqliteConnection::BeginTrans() {
    if (!HoldsWriteTransaction()) {
        ForgetGeneration(); // a new transaction: another connection may have changed the schema
    }
    return Guarded("BEGIN TRANSACTION", [&] {
        (void)NoteLostGroup();
        if (level_ == 0 && group_.units > 0) {
            if (!group_.open) {
                RunKept("BEGIN IMMEDIATE");
                group_.open = true;
                group_.committed = 0;
                group_.openedAt = NowMilliseconds();
            }
            RunKept("SAVEPOINT " + SavepointName(1));
            return ++level_;
        }
        RunKept(level_ == 0 ? std::string("BEGIN IMMEDIATE")
                            : "SAVEPOINT " + SavepointName(level_ + 1));
        return ++level_;
    });
}

void SqliteConnection::CommitTrans() {
    // Releasing a savepoint changes no definition; a failure forgets the counters (Record).
    Guarded("COMMIT TRANSACTION", [&] {
        if (level_ > 0 && sqlite3_get_autocommit(db_.get()) != 0) {
            (void)NoteLostGroup();
            endedTransaction_ = DbCode{}; // under a statement this connection did not send
            RefuseInEndedTransaction();
        }
        if (level_ == 0) {
            throw DbError("No transaction is active.", "25000", std::string(), kProviderSource);
        }
        if (level_ == 1 && group_.open) {
            if (group_.committed + 1 >= group_.units ||
                NowMilliseconds() - group_.openedAt >= group_.milliseconds) {
                // The group is written with this transaction. Should that fail, the transaction
                // is still open for the caller to roll back, and the group with it.
                RunKept("COMMIT");
                group_.open = false;
                group_.committed = 0;
            } else {
                RunKept("RELEASE " + SavepointName(1));
                ++group_.committed;
            }
            --level_;
            return;
        }
        RunKept(level_ == 1 ? std::string("COMMIT") : "RELEASE " + SavepointName(level_));
        --level_;
    });
    if (!HoldsWriteTransaction()) {
        ForgetGeneration();
    }
}

void SqliteConnection::GroupCommits(int units, int maxMilliseconds) {
    if (units > 0) {
        group_.units = units;
        group_.milliseconds = std::max(maxMilliseconds, 0);
        return;
    }
    group_.units = 0;
    CommitGroup();
}

void SqliteConnection::CommitGroup() {
    Guarded("COMMIT TRANSACTION", [&] {
        (void)NoteLostGroup();
        if (group_.open) {
            if (level_ > 0) {
                throw DbError("A transaction is open: the group of transactions is written "
                              "when it ends.",
                              "25000", std::string(), kProviderSource);
            }
            try {
                RunKept("COMMIT");
            } catch (const DbError&) {
                if (!NoteLostGroup()) {
                    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
                    group_.lost += group_.committed;
                }
                group_.open = false;
                group_.committed = 0;
                throw;
            }
            group_.open = false;
            group_.committed = 0;
        }
        if (group_.lost > 0) {
            const int lost = std::exchange(group_.lost, 0);
            const DbCode code = group_.lostCode.value_or(DbCode{});
            group_.lostCode.reset();
            throw DbError("After a failure the database undid the last " + std::to_string(lost) +
                              " unit(s) of work before they were written to its file: run the "
                              "command again to do them again.",
                          "25000", std::string(), kProviderSource, code);
        }
    });
}

void SqliteConnection::RollbackTrans() {
    // Rolling back undoes the definitions changed since.
    ForgetGeneration();
    ++rollbacks_;
    if (!endedTransaction_ && level_ > 0 && sqlite3_get_autocommit(db_.get()) != 0) {
        endedTransaction_ = DbCode{}; // under a statement this connection did not send
    }
    (void)NoteLostGroup();
    if (endedTransaction_) {
        // The database undid the work already: each level the caller opened ends with its own
        // rollback, and statements are sent again once the last one has.
        if (--level_ <= 0) {
            level_ = 0;
            endedTransaction_.reset();
        }
        return;
    }
    Guarded("ROLLBACK TRANSACTION", [&] {
        if (level_ == 0) {
            throw DbError("No transaction is active.", "25000", std::string(), kProviderSource);
        }
        if (level_ == 1 && group_.open) {
            // The group's other transactions stay.
            ExecuteSql(db_.get(), "ROLLBACK TO " + SavepointName(1));
            ExecuteSql(db_.get(), "RELEASE " + SavepointName(1));
        } else if (level_ == 1) {
            ExecuteSql(db_.get(), "ROLLBACK");
        } else {
            ExecuteSql(db_.get(), "ROLLBACK TO " + SavepointName(level_));
            ExecuteSql(db_.get(), "RELEASE " + SavepointName(level_));
        }
        --level_;
    });
}

void SqliteConnection::ExecuteNative(std::string_view sql) {
    const ForgetGenerationAtEnd forget(knownGeneration_); // SQLite's own SQL may change anything
    Guarded(sql, [&] {
        const std::string script(sql);
        std::string_view rest = script;
        while (!rest.empty()) {
            const std::size_t before = rest.size();
            Statement stmt = Statement::PrepareNext(db_.get(), rest);
            if (stmt.Get() != nullptr) {
                stmt.Run();
            } else if (rest.size() == before) {
                break; // only blanks or comments were left
            }
        }
    });
}

} // namespace kvad::db
