#include "pg_connection.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "postgres/pg_database.h"

namespace kvad::db {

namespace {

constexpr const char* kSource = "KVAD_NSO.PostgreSQL";

// What a failure means for a host, from its SQLSTATE's class.
DatabaseCondition ConditionOf(std::string_view sqlState) {
    if (sqlState.starts_with("08")) {
        return DatabaseCondition::CannotOpen;
    }
    if (sqlState == "40001" || sqlState == "40P01" || sqlState == "55P03") {
        return DatabaseCondition::Busy;
    }
    if (sqlState == "25006") {
        return DatabaseCondition::ReadOnly;
    }
    if (sqlState == "53100" || sqlState == "54000") {
        return DatabaseCondition::Full;
    }
    return DatabaseCondition::None;
}

// Statements worth preparing: PostgreSQL plans these; other statements run as they are.
bool Preparable(std::string_view sql) {
    for (const std::string_view head : {"SELECT", "INSERT", "UPDATE", "DELETE", "WITH", "("}) {
        if (sql.size() >= head.size() && EqualsNoCase(sql.substr(0, head.size()), head)) {
            return true;
        }
    }
    return false;
}

bool ChangesSchema(std::string_view sql) {
    for (const std::string_view head : {"CREATE", "DROP", "ALTER"}) {
        if (sql.size() >= head.size() && EqualsNoCase(sql.substr(0, head.size()), head)) {
            return true;
        }
    }
    return false;
}

// The T-SQL type of a column without the schema's comment, from its PostgreSQL type.
std::string DeclaredTypeOf(const std::string& formatted, const std::string& typeName, bool domain) {
    if (domain) {
        return typeName == "tsql_bit" ? "bit" : typeName;
    }
    if (formatted.starts_with("character varying(")) {
        return "varchar" + formatted.substr(17);
    }
    if (formatted == "text" || formatted == "character varying") {
        return "varchar(max)";
    }
    if (formatted.starts_with("numeric(")) {
        return "decimal" + formatted.substr(7);
    }
    if (formatted == "numeric") {
        return "decimal(38,10)";
    }
    if (formatted == "integer") {
        return "int";
    }
    if (formatted.starts_with("timestamp")) {
        return "datetime";
    }
    if (formatted == "double precision") {
        return "float";
    }
    if (formatted == "boolean") {
        return "bit";
    }
    return formatted;
}

Variant ReadValue(const char* text, int length, Oid type) {
    const std::string_view value(text, static_cast<std::size_t>(length));
    switch (type) {
    case 16: // bool
        return Variant(value == "t");
    case 21: // int2
        return Variant(static_cast<std::int16_t>(std::stoi(std::string(value))));
    case 23: // int4
        return Variant(static_cast<std::int32_t>(std::stol(std::string(value))));
    case 20: { // int8: a Long when it fits
        const long long whole = std::stoll(std::string(value));
        if (whole >= INT32_MIN && whole <= INT32_MAX) {
            return Variant(static_cast<std::int32_t>(whole));
        }
        return Variant(*Decimal::Parse(value));
    }
    case 700:
    case 701:
        return Variant(std::stod(std::string(value)));
    case 1700: {
        if (auto decimal = Decimal::Parse(value)) {
            return Variant(*decimal);
        }
        return Variant(std::stod(std::string(value)));
    }
    case 1082:
    case 1114:
    case 1184: {
        if (auto date = DateTime::ParseIso(value.substr(0, 19))) {
            return Variant(*date);
        }
        return Variant(std::string(value));
    }
    case 17: {
        std::size_t size = 0;
        unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
        Variant::Bytes out(bytes, bytes + size);
        PQfreemem(bytes);
        return Variant(std::move(out));
    }
    default:
        return Variant(std::string(value));
    }
}

} // namespace

std::optional<int> PgRows::Find(std::string_view name) const {
    // The server keeps the first 63 bytes of a longer name (a column named in full in the
    // schema comes back cut), so a field asked for by its full name is found by those.
    constexpr std::size_t kNameLimit = 63;
    name = name.substr(0, kNameLimit);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (EqualsNoCase(columns[i].name, name)) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

std::optional<std::string> ParameterText(const Variant& value) {
    switch (value.Type()) {
    case VarType::Empty:
    case VarType::Null:
        return std::nullopt;
    case VarType::Boolean:
        return std::string(value.ToBool() ? "1" : "0");
    case VarType::Date:
        return value.ToDate().ToIso();
    case VarType::Decimal:
        return value.ToDecimal().ToString();
    case VarType::Double: {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", value.ToDouble());
        return std::string(buffer);
    }
    default:
        return value.Text();
    }
}

std::shared_ptr<PgConnection> PgConnection::Open(const std::string& uri) {
    PGconn* conn = PQconnectdb(uri.c_str());
    if (PQstatus(conn) != CONNECTION_OK) {
        std::string message = PQerrorMessage(conn);
        PQfinish(conn);
        while (!message.empty() && message.back() == '\n') {
            message.pop_back();
        }
        throw DbError("cannot connect to " + RedactedUri(uri) + ": " + message, "08001",
                      std::string(), kSource, DbCode{0, DatabaseCondition::CannotOpen});
    }
    std::shared_ptr<PgConnection> connection(new PgConnection(conn));
    // Notices (a table that is not there dropped IF EXISTS) are not the caller's business.
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    PgResult setup(PQexec(conn, "SET client_encoding = 'UTF8'; SET datestyle = 'ISO, YMD'; "
                                "SET client_min_messages = warning"));
    if (PQresultStatus(setup.get()) != PGRES_COMMAND_OK) {
        connection->FailWith(setup.get(), "SET client_encoding");
    }
    return connection;
}

PgConnection::~PgConnection() {
    if (conn_ != nullptr) {
        PQfinish(conn_);
    }
}

void PgConnection::Fail(const std::string& message, const std::string& sqlState,
                        std::string_view statement) {
    errors_.assign(1, ProviderError{message, kSource, sqlState, 0});
    throw DbError(message, sqlState, std::string(statement), kSource,
                  DbCode{0, ConditionOf(sqlState)});
}

void PgConnection::FailWith(PGresult* result, std::string_view statement) {
    const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary =
        result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string message = primary != nullptr ? primary : PQerrorMessage(conn_);
    while (!message.empty() && message.back() == '\n') {
        message.pop_back();
    }
    Fail(message, state != nullptr ? state : "08006", statement);
}

PgResult PgConnection::ExecuteNative(const std::string& sql) {
    PgResult result(PQexec(conn_, sql.c_str()));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        FailWith(result.get(), sql);
    }
    if (ChangesSchema(sql)) {
        SchemaChanged();
    }
    return result;
}

void PgConnection::CopyIn(const std::string& sql, std::string_view data) {
    PgResult start(PQexec(conn_, sql.c_str()));
    if (PQresultStatus(start.get()) != PGRES_COPY_IN) {
        FailWith(start.get(), sql);
    }
    constexpr std::size_t kPiece = 1 << 20;
    for (std::size_t at = 0; at < data.size(); at += kPiece) {
        const std::size_t size = std::min(kPiece, data.size() - at);
        if (PQputCopyData(conn_, data.data() + at, static_cast<int>(size)) != 1) {
            break; // the error comes with the result below
        }
    }
    (void)PQputCopyEnd(conn_, nullptr);
    PgResult end(PQgetResult(conn_));
    const bool ok = PQresultStatus(end.get()) == PGRES_COMMAND_OK;
    // Drains the results left, so that the connection is ready for the next statement.
    PgResult rest(PQgetResult(conn_));
    while (rest != nullptr) {
        rest.reset(PQgetResult(conn_));
    }
    if (!ok) {
        FailWith(end.get(), sql);
    }
}

namespace {
// The server's refusal to run a prepared statement whose result's row type changed.
constexpr std::string_view kPlanChangedResultType = "0A000";
} // namespace

PgResult PgConnection::RunPrepared(const std::string& sql,
                                   const std::vector<std::optional<std::string>>& params,
                                   std::string_view tsql) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& param : params) {
        values.push_back(param ? param->c_str() : nullptr);
    }
    const std::string_view named = tsql.empty() ? std::string_view(sql) : tsql;
    std::string name;
    bool fresh = false;
    if (Preparable(sql)) {
        // A text is prepared when it comes again: the many that carry a value of their own
        // (an id) run once each and would only fill the session's memory on the server.
        constexpr std::size_t kMaxPrepared = 2048;
        constexpr std::size_t kMaxSeen = 8192;
        if (auto kept = prepared_.find(sql); kept != prepared_.end()) {
            name = kept->second;
        } else if (seenOnce_.erase(sql) > 0) {
            if (prepared_.size() >= kMaxPrepared) {
                const PgResult dropped(PQexec(conn_, "DEALLOCATE ALL"));
                prepared_.clear();
            }
            name = "kvad_" + std::to_string(++statementNumber_);
            fresh = true;
        } else {
            if (seenOnce_.size() >= kMaxSeen) {
                seenOnce_.clear();
            }
            seenOnce_.insert(sql);
        }
    }
    // Inside a transaction a failing statement would end the whole transaction: each runs in a
    // savepoint of its own, so that a failure undoes that statement only, as on SQLite.
    const auto run = [&](const std::string& statementName, bool prepare) {
        return level_ > 0 ? RunInSavepoint(sql, statementName, prepare, values, named)
                          : RunAlone(sql, statementName, prepare, values, named);
    };
    PgResult result;
    try {
        result = run(name, fresh);
    } catch (const DbError& error) {
        // A table made again with other columns under the same name (a working table rebuilt
        // by SELECT INTO) leaves the statements prepared on it with a row type the server will
        // not give any more: the statement is forgotten and runs again, unprepared. Its failure
        // undid nothing else (its savepoint, or no transaction).
        if (name.empty() || error.SqlState() != kPlanChangedResultType) {
            throw;
        }
        prepared_.erase(sql);
        const PgResult dropped(PQexec(conn_, ("DEALLOCATE " + name).c_str()));
        errors_.clear();
        result = run(std::string(), false);
    }
    if (ChangesSchema(sql)) {
        SchemaChanged();
    }
    return result;
}

PgResult PgConnection::RunAlone(const std::string& sql, const std::string& name, bool fresh,
                                const std::vector<const char*>& values, std::string_view named) {
    const int count = static_cast<int>(values.size());
    if (fresh) {
        const PgResult prepared(PQprepare(conn_, name.c_str(), sql.c_str(), count, nullptr));
        if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) {
            FailWith(prepared.get(), named);
        }
        // Kept even when the statement then fails: the server keeps it for the session.
        prepared_.emplace(sql, name);
    }
    PgResult result(
        name.empty()
            ? PQexecParams(conn_, sql.c_str(), count, nullptr, values.data(), nullptr, nullptr, 0)
            : PQexecPrepared(conn_, name.c_str(), count, values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        FailWith(result.get(), named);
    }
    return result;
}

PgResult PgConnection::RunInSavepoint(const std::string& sql, const std::string& name, bool fresh,
                                      const std::vector<const char*>& values,
                                      std::string_view named) {
    // The savepoint, the statement (prepared first when new) and the savepoint's release go in
    // one pipeline: one round trip to the server instead of three or four. When a command fails
    // the server skips the rest up to the pipeline's end, leaving the transaction to be rolled
    // back to the savepoint.
    const int count = static_cast<int>(values.size());
    if (PQenterPipelineMode(conn_) != 1) {
        Fail(PQerrorMessage(conn_), "08006", named);
    }
    bool sent = PQsendQueryParams(conn_, "SAVEPOINT kvad_statement", 0, nullptr, nullptr, nullptr,
                                  nullptr, 0) == 1;
    if (fresh) {
        sent = sent && PQsendPrepare(conn_, name.c_str(), sql.c_str(), count, nullptr) == 1;
    }
    sent = sent && (name.empty() ? PQsendQueryParams(conn_, sql.c_str(), count, nullptr,
                                                     values.data(), nullptr, nullptr, 0)
                                 : PQsendQueryPrepared(conn_, name.c_str(), count, values.data(),
                                                       nullptr, nullptr, 0)) == 1;
    sent = sent && PQsendQueryParams(conn_, "RELEASE SAVEPOINT kvad_statement", 0, nullptr, nullptr,
                                     nullptr, nullptr, 0) == 1;
    sent = sent && PQpipelineSync(conn_) == 1;
    // Each command gives one result followed by a null; the pipeline's end gives its own.
    // Nothing is awaited when the pipeline could not be sent whole (the session is lost).
    std::vector<PgResult> results;
    for (int nulls = sent ? 0 : 2; nulls < 2;) {
        PGresult* next = PQgetResult(conn_);
        if (next == nullptr) {
            ++nulls;
            continue;
        }
        nulls = 0;
        if (PQresultStatus(next) == PGRES_PIPELINE_SYNC) {
            PQclear(next);
            break;
        }
        results.emplace_back(next);
    }
    (void)PQexitPipelineMode(conn_);
    const std::size_t commands = fresh ? 4 : 3;
    const std::size_t statement = fresh ? 2 : 1;
    if (!sent || results.size() != commands) {
        Fail(PQerrorMessage(conn_), "08006", named);
    }
    if (PQresultStatus(results[0].get()) != PGRES_COMMAND_OK) {
        FailWith(results[0].get(), named);
    }
    // A prepared statement outlives the savepoint's rollback: kept once the server made it.
    if (fresh && PQresultStatus(results[1].get()) == PGRES_COMMAND_OK) {
        prepared_.emplace(sql, name);
    }
    for (std::size_t i = 1; i < commands; ++i) {
        const ExecStatusType status = PQresultStatus(results[i].get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const PgResult undo(PQexec(conn_, "ROLLBACK TO SAVEPOINT kvad_statement; "
                                              "RELEASE SAVEPOINT kvad_statement"));
            FailWith(results[i].get(), named);
        }
    }
    return std::move(results[statement]);
}

void PgConnection::SchemaChanged() {
    ++generation_;
    catalogue_.clear();
    tableColumns_.clear();
    identityNames_.reset();
    translations_.clear();
    keys_.clear();
    tableNames_.clear();
    columnNames_.clear();
}

const Translation& PgConnection::Translate(std::string_view tsql) {
    const std::string key(tsql);
    if (auto kept = translations_.find(key); kept != translations_.end()) {
        return kept->second;
    }
    try {
        Translation translation = TranslateTsql(tsql, *this, SqlDialect::Postgres);
        constexpr std::size_t kMaxTranslations = 4096;
        if (translations_.size() >= kMaxTranslations) {
            translations_.clear();
        }
        return translations_.emplace(key, std::move(translation)).first->second;
    } catch (const DbError& error) {
        Fail(error.Description(), error.SqlState(), tsql);
    }
}

PgResult PgConnection::Run(const Translation& translation, std::string_view tsql) {
    switch (translation.kind) {
    case Translation::Kind::Nothing:
        return nullptr;
    case Translation::Kind::SelectInto: {
        const bool temporary = translation.intoTable.starts_with('#');
        const std::string sql = std::string(temporary ? "CREATE TEMP TABLE " : "CREATE TABLE ") +
                                PostgresIdentifier(translation.intoTable) + " AS " +
                                translation.sql;
        return RunPrepared(sql, {}, tsql);
    }
    default:
        return RunPrepared(translation.sql, {}, tsql);
    }
}

long PgConnection::Execute(std::string_view sql) {
    const PgResult result = Run(Translate(sql), sql);
    if (!result) {
        return 0;
    }
    const char* changed = PQcmdTuples(result.get());
    return (changed == nullptr || *changed == '\0') ? 0 : std::stol(changed);
}

std::shared_ptr<PgRows> PgConnection::ReadRows(PGresult* result) {
    auto rows = std::make_shared<PgRows>();
    const int fields = PQnfields(result);
    for (int f = 0; f < fields; ++f) {
        rows->columns.push_back(PgRows::Column{PQfname(result, f), PQftype(result, f),
                                               PQftable(result, f), PQftablecol(result, f)});
    }
    const int count = PQntuples(result);
    rows->rows.reserve(static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r) {
        std::vector<Variant>& row = rows->rows.emplace_back();
        row.reserve(static_cast<std::size_t>(fields));
        for (int f = 0; f < fields; ++f) {
            if (PQgetisnull(result, r, f) != 0) {
                row.push_back(Variant::Null());
            } else {
                row.push_back(ReadValue(PQgetvalue(result, r, f), PQgetlength(result, r, f),
                                        PQftype(result, f)));
            }
        }
    }
    return rows;
}

void PgConnection::CheckSchemaStamp() {
    if (level_ > 0 && stampRead_) {
        return;
    }
    // Creating or dropping a table, or adding or dropping a column, writes the table's row in
    // pg_class: the rows' count, versions and column counts change with every such change.
    const PgResult result = RunPrepared(
        "SELECT count(*)::text || ':' || COALESCE(sum(c.xmin::text::bigint), 0)::text || ':' || "
        "COALESCE(sum(c.relnatts), 0)::text FROM pg_class AS c "
        "WHERE c.relnamespace = current_schema()::regnamespace",
        {});
    std::string stamp = PQgetvalue(result.get(), 0, 0);
    if (stamp != schemaStamp_) {
        if (!schemaStamp_.empty()) {
            SchemaChanged();
        }
        schemaStamp_ = std::move(stamp);
    }
    stampRead_ = level_ > 0;
}

std::shared_ptr<PgRows> PgConnection::CatalogueRows(std::string_view tsql) {
    // The loader asks for a table's column list for every row group of every document: read
    // over the catalogue views each time it costs the server tens of milliseconds, so the rows
    // are kept until the schema changes, as the SQLite connection keeps them.
    constexpr std::size_t kMaxKept = 256;
    CheckSchemaStamp();
    const std::string key(tsql);
    if (auto kept = catalogue_.find(key);
        kept != catalogue_.end() && kept->second.generation == generation_) {
        return kept->second.rows;
    }
    const PgResult result = Run(Translate(tsql), tsql);
    ++catalogueReads_;
    auto rows = result ? ReadRows(result.get()) : std::make_shared<PgRows>();
    if (catalogue_.size() >= kMaxKept) {
        catalogue_.clear();
    }
    catalogue_.insert_or_assign(key, KeptCatalogue{generation_, rows});
    return rows;
}

std::shared_ptr<Recordset> PgConnection::Query(std::string_view sql) {
    std::shared_ptr<PgRows> rows;
    if (Translate(sql).readsCatalogue) {
        // Rows kept for others to read: a query's recordset never writes into them.
        rows = CatalogueRows(sql);
    } else {
        const PgResult result = Run(Translate(sql), sql);
        rows = result ? ReadRows(result.get()) : std::make_shared<PgRows>();
    }
    return MakePgRecordset(shared_from_this(), std::move(rows), std::string(sql), false);
}

std::shared_ptr<Recordset> PgConnection::OpenRecordset(std::string_view sql) {
    const PgResult result = Run(Translate(sql), sql);
    auto rows = result ? ReadRows(result.get()) : std::make_shared<PgRows>();
    return MakePgRecordset(shared_from_this(), std::move(rows), std::string(sql), true);
}

int PgConnection::BeginTrans() {
    const std::string sql =
        level_ == 0 ? std::string("BEGIN") : "SAVEPOINT kvad_level_" + std::to_string(level_ + 1);
    const PgResult result = ExecuteNative(sql);
    if (level_ == 0) {
        stampRead_ = false;
    }
    return ++level_;
}

void PgConnection::CommitTrans() {
    if (level_ == 0) {
        Fail("no transaction is open", "25000", "COMMIT");
    }
    const std::string sql = level_ == 1 ? std::string("COMMIT")
                                        : "RELEASE SAVEPOINT kvad_level_" + std::to_string(level_);
    // A failed commit ends the transaction all the same.
    --level_;
    const PgResult result = ExecuteNative(sql);
}

void PgConnection::RollbackTrans() {
    if (level_ == 0) {
        Fail("no transaction is open", "25000", "ROLLBACK");
    }
    const std::string name = "kvad_level_" + std::to_string(level_);
    const std::string sql = level_ == 1
                                ? std::string("ROLLBACK")
                                : "ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name;
    --level_;
    const PgResult result = ExecuteNative(sql);
    // Temporary tables made or dropped inside the transaction are back as they were.
    SchemaChanged();
}

std::optional<std::vector<ColumnDecl>> PgConnection::TableColumns(std::string_view table) {
    // Every statement text translated asks for the columns of the tables it names: kept per
    // table until the schema changes, since texts with their values inside are many.
    std::string key(table);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (auto kept = tableColumns_.find(key); kept != tableColumns_.end()) {
        return kept->second;
    }
    return tableColumns_.emplace(std::move(key), ReadTableColumns(table)).first->second;
}

std::vector<std::string> PgConnection::TieBreakColumns(std::string_view table) {
    if (!table.starts_with('#')) {
        return {};
    }
    if (!identityNames_) {
        const PgResult result = RunPrepared(
            "SELECT upper(COALESCE(NULLIF(split_part(col_description(a.attrelid, a.attnum), ' ', "
            "1), ''), a.attname)) FROM pg_attribute AS a JOIN pg_class AS c ON c.oid = a.attrelid "
            "WHERE c.relnamespace = current_schema()::regnamespace AND a.attidentity <> '' AND "
            "a.attnum > 0 AND NOT a.attisdropped",
            {});
        identityNames_.emplace();
        for (int r = 0; r < PQntuples(result.get()); ++r) {
            identityNames_->insert(PQgetvalue(result.get(), r, 0));
        }
    }
    std::vector<std::string> columns;
    if (const auto& declared = TableColumns(table)) {
        for (const ColumnDecl& column : *declared) {
            std::string upper = column.name;
            std::transform(upper.begin(), upper.end(), upper.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            if (identityNames_->count(upper) != 0) {
                columns.push_back(column.name);
            }
        }
    }
    return columns;
}

std::optional<std::vector<ColumnDecl>> PgConnection::ReadTableColumns(std::string_view table) {
    const std::string sql =
        "SELECT a.attname, format_type(a.atttypid, a.atttypmod), "
        "COALESCE(col_description(a.attrelid, a.attnum), ''), t.typname, t.typtype, "
        "a.attidentity FROM pg_attribute AS a JOIN pg_type AS t ON t.oid = a.atttypid "
        "WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped "
        "ORDER BY a.attnum";
    const PgResult result = RunPrepared(sql, {PostgresTableName(table)});
    const int count = PQntuples(result.get());
    if (count == 0) {
        return std::nullopt;
    }
    std::vector<ColumnDecl> columns;
    columns.reserve(static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r) {
        const std::string comment = PQgetvalue(result.get(), r, 2);
        const std::size_t blank = comment.find(' ');
        ColumnDecl column;
        if (blank != std::string::npos) {
            column.name = comment.substr(0, blank);
            column.declType = comment.substr(blank + 1);
        } else {
            column.name = PQgetvalue(result.get(), r, 0);
            column.declType =
                DeclaredTypeOf(PQgetvalue(result.get(), r, 1), PQgetvalue(result.get(), r, 3),
                               std::string_view(PQgetvalue(result.get(), r, 4)) == "d");
        }
        column.identity = *PQgetvalue(result.get(), r, 5) != '\0';
        columns.push_back(std::move(column));
    }
    return columns;
}

const std::vector<int>& PgConnection::PrimaryKey(Oid table) {
    if (auto kept = keys_.find(table); kept != keys_.end()) {
        return kept->second;
    }
    const PgResult result =
        RunPrepared("SELECT unnest(i.indkey)::int FROM pg_index AS i WHERE i.indrelid = $1::oid "
                    "AND i.indisprimary",
                    {std::to_string(table)});
    std::vector<int> key;
    key.reserve(static_cast<std::size_t>(PQntuples(result.get())));
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        key.push_back(std::stoi(PQgetvalue(result.get(), r, 0)));
    }
    return keys_.emplace(table, std::move(key)).first->second;
}

std::string PgConnection::TableName(Oid table) {
    if (auto kept = tableNames_.find(table); kept != tableNames_.end()) {
        return kept->second;
    }
    const PgResult result = RunPrepared("SELECT $1::oid::regclass::text", {std::to_string(table)});
    return tableNames_.emplace(table, PQgetvalue(result.get(), 0, 0)).first->second;
}

std::string PgConnection::ColumnName(Oid table, int column) {
    const auto key = std::make_pair(table, column);
    if (auto kept = columnNames_.find(key); kept != columnNames_.end()) {
        return kept->second;
    }
    // Every column of the table at once: a recordset writing a row back names most of them,
    // and each was a round trip of its own (about 30 for one nso command).
    const PgResult all =
        RunPrepared("SELECT attnum::int, quote_ident(attname) FROM pg_attribute WHERE attrelid = "
                    "$1::oid",
                    {std::to_string(table)});
    for (int r = 0; r < PQntuples(all.get()); ++r) {
        columnNames_.emplace(std::make_pair(table, std::stoi(PQgetvalue(all.get(), r, 0))),
                             PQgetvalue(all.get(), r, 1));
    }
    if (auto kept = columnNames_.find(key); kept != columnNames_.end()) {
        return kept->second;
    }
    throw DbError("column " + std::to_string(column) + " of table " + std::to_string(table) +
                      " is not in the catalogue",
                  "42703", std::string(), kSource);
}

PgConnection& AsPostgres(Connection& connection) {
    auto* postgres = dynamic_cast<PgConnection*>(&connection);
    if (postgres == nullptr) {
        throw DbError("the connection is not a PostgreSQL connection", "HY000", std::string(),
                      kSource);
    }
    return *postgres;
}

bool IsPostgresUri(std::string_view database) noexcept {
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

std::string RedactedUri(std::string_view uri) {
    std::string out(uri);
    const std::size_t scheme = out.find("://");
    const std::size_t at = out.find('@');
    if (scheme != std::string::npos && at != std::string::npos && at > scheme) {
        const std::size_t colon = out.find(':', scheme + 3);
        if (colon != std::string::npos && colon < at) {
            out.replace(colon + 1, at - colon - 1, "***");
        }
    }
    const std::size_t password = out.find("password=");
    if (password != std::string::npos) {
        const std::size_t end = out.find_first_of("&; ", password);
        out.replace(password + 9, (end == std::string::npos ? out.size() : end) - password - 9,
                    "***");
    }
    return out;
}

std::shared_ptr<Connection> OpenPostgres(const std::string& uri) {
    return PgConnection::Open(uri);
}

void ExecutePostgresScript(Connection& connection, const std::string& sql) {
    (void)AsPostgres(connection).ExecuteNative(sql);
}

} // namespace kvad::db
