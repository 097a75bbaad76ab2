// The schema on the server: the SQLite backend's scripts converted to PostgreSQL's dialect and
// applied in version order, each in its own transaction with its version record.
#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"
#include "pg_connection.h"
#include "postgres/pg_database.h"
#include "schema_scripts.h"

namespace kvad::db {

namespace {

constexpr std::string_view kSqliteOnly = "-- kvad: sqlite only";
constexpr std::string_view kPostgresOnly = "-- kvad: postgres only";
constexpr std::string_view kEnd = "-- kvad: end";

// A script cut where its dialect marks are: text for both dialects (converted), and text for
// PostgreSQL alone (its own SQL, run as written without the comment marks). Blocks marked for
// SQLite alone are left out.
struct Segment {
    bool native = false;
    std::string text;
};

std::vector<Segment> DialectSegments(std::string_view script) {
    std::vector<Segment> segments(1);
    enum class Block { Both, SqliteOnly, PostgresOnly } block = Block::Both;
    std::size_t start = 0;
    while (start < script.size()) {
        std::size_t end = script.find('\n', start);
        if (end == std::string_view::npos) {
            end = script.size();
        }
        const std::string line = Trim(script.substr(start, end - start));
        start = end + 1;
        if (line == kSqliteOnly || line == kPostgresOnly || line == kEnd) {
            block = line == kSqliteOnly     ? Block::SqliteOnly
                    : line == kPostgresOnly ? Block::PostgresOnly
                                            : Block::Both;
            segments.push_back(Segment{block == Block::PostgresOnly, {}});
        } else if (block == Block::Both) {
            segments.back().text += line + "\n";
        } else if (block == Block::PostgresOnly) {
            segments.back().text += (line.starts_with("--") ? line.substr(2) : line) + "\n";
        }
    }
    return segments;
}

struct Token {
    enum class Kind { Word, String, Number, Symbol } kind = Kind::Symbol;
    std::string text;
};

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// A string literal from `at` (its quote) to its closing quote, doubled quotes inside.
std::size_t StringEnd(std::string_view sql, std::size_t at) {
    std::size_t end = at + 1;
    while (end < sql.size()) {
        if (sql[end] == '\'' && (end + 1 >= sql.size() || sql[end + 1] != '\'')) {
            return end + 1;
        }
        end += sql[end] == '\'' ? 2 : 1;
    }
    return sql.size();
}

// The next token from `at`, moving past it; nullopt for blanks and comments.
std::optional<Token> NextToken(std::string_view sql, std::size_t& at) {
    const char c = sql[at];
    if (std::isspace(static_cast<unsigned char>(c)) != 0) {
        ++at;
        return std::nullopt;
    }
    if (sql.substr(at, 2) == "--") {
        const std::size_t end = sql.find('\n', at);
        at = end == std::string_view::npos ? sql.size() : end;
        return std::nullopt;
    }
    const std::size_t start = at;
    if (c == '\'') {
        at = StringEnd(sql, at);
        return Token{Token::Kind::String, std::string(sql.substr(start, at - start))};
    }
    if (c == '"') {
        const std::size_t end = std::min(sql.find('"', at + 1), sql.size());
        at = std::min(end + 1, sql.size());
        return Token{Token::Kind::Word, std::string(sql.substr(start + 1, end - start - 1))};
    }
    if (std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_') {
        while (at < sql.size() && IsWordChar(sql[at])) {
            ++at;
        }
        return Token{Token::Kind::Word, std::string(sql.substr(start, at - start))};
    }
    if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
        while (at < sql.size() &&
               (std::isdigit(static_cast<unsigned char>(sql[at])) != 0 || sql[at] == '.')) {
            ++at;
        }
        return Token{Token::Kind::Number, std::string(sql.substr(start, at - start))};
    }
    ++at;
    return Token{Token::Kind::Symbol, std::string(1, c)};
}

std::vector<Token> Tokens(std::string_view sql) {
    std::vector<Token> tokens;
    std::size_t at = 0;
    while (at < sql.size()) {
        if (auto token = NextToken(sql, at)) {
            tokens.push_back(std::move(*token));
        }
    }
    return tokens;
}

const std::set<std::string>& Keywords() {
    static const std::set<std::string> words = {
        "ADD",     "ALL",        "ALTER",      "AND",
        "AS",      "ASC",        "BETWEEN",    "BY",
        "CASCADE", "CASE",       "CHECK",      "COLLATE",
        "COLUMN",  "CONSTRAINT", "CREATE",     "DEFAULT",
        "DELETE",  "DESC",       "DISTINCT",   "DROP",
        "ELSE",    "END",        "EXISTS",     "FOREIGN",
        "FROM",    "GROUP",      "IF",         "IN",
        "INDEX",   "INSERT",     "INTO",       "IS",
        "JOIN",    "KEY",        "LEFT",       "LIKE",
        "NOT",     "NULL",       "ON",         "OR",
        "ORDER",   "PRIMARY",    "REFERENCES", "RENAME",
        "SELECT",  "SET",        "TABLE",      "THEN",
        "TO",      "UNIQUE",     "UPDATE",     "VALUES",
        "WHEN",    "WHERE",      "NOCASE",     "AUTOINCREMENT",
        "INTEGER", "INT",        "SMALLINT",   "TINYINT",
        "BIGINT",  "BIT",        "DATETIME",   "SMALLDATETIME",
        "DATE",    "DECIMAL",    "NUMERIC",    "MONEY",
        "FLOAT",   "REAL",       "VARCHAR",    "NVARCHAR",
        "CHAR",    "NCHAR",      "TEXT",       "NTEXT",
        "MAX",     "IFNULL",     "COALESCE",   "UPPER",
        "LOWER",   "MIN",        "COUNT",      "SUM",
        "INNER",   "OUTER",      "UNION",      "HAVING",
        "LIMIT",   "VARBINARY",  "IMAGE",      "VIEW",
        "TRIGGER", "BEGIN",      "WITH",       "RIGHT",
        "FULL",    "CROSS",      "USING",      "NULLIF",
        "LENGTH",  "SUBSTR",     "TRIM",       "ABS",
        "ROUND",
    };
    return words;
}

bool IsWord(const Token& token, std::string_view word) {
    return token.kind == Token::Kind::Word && EqualsNoCase(token.text, word);
}

std::string TypeWord(const std::string& word) {
    std::string lower = AsciiLower(word);
    if (lower == "int" || lower == "integer") {
        return "integer";
    }
    if (lower == "nvarchar") {
        return "varchar";
    }
    if (lower == "nchar") {
        return "char";
    }
    if (lower == "decimal") {
        return "numeric";
    }
    if (lower == "bit") {
        return "tsql_bit";
    }
    if (lower == "float") {
        return "double precision";
    }
    if (lower == "money") {
        return "numeric(19,4)";
    }
    if (lower == "varbinary" || lower == "image") {
        return "bytea";
    }
    return lower;
}

bool IsTypeWord(const std::string& word) {
    static const std::set<std::string> types = {
        "int",  "integer", "smallint", "tinyint", "bigint",    "bit",  "datetime", "smalldatetime",
        "date", "decimal", "numeric",  "money",   "float",     "real", "varchar",  "nvarchar",
        "char", "nchar",   "text",     "ntext",   "varbinary", "image"};
    return types.contains(AsciiLower(word));
}

// One statement converted. Column declarations met in CREATE TABLE or ADD COLUMN are noted with
// their declared name and type, written afterwards as the columns' comments.
class StatementConverter {
  public:
    explicit StatementConverter(const std::vector<Token>& tokens) : t_(tokens) {}

    std::string Convert() {
        createTable_ = t_.size() > 1 && IsWord(t_[0], "CREATE") && IsWord(t_[1], "TABLE");
        createIndex_ = t_.size() > 1 && IsWord(t_[0], "CREATE") &&
                       (IsWord(t_[1], "INDEX") || (IsWord(t_[1], "UNIQUE") && t_.size() > 2));
        alterAdd_ = t_.size() > 4 && IsWord(t_[0], "ALTER") && IsWord(t_[3], "ADD");
        if (createTable_ || alterAdd_) {
            table_ = IsWord(t_[2], "IF") ? t_[5].text : t_[2].text;
        }
        for (std::size_t i = 0; i < t_.size(); ++i) {
            const Token& token = t_[i];
            if (token.kind == Token::Kind::Symbol) {
                depth_ += token.text == "(" ? 1 : (token.text == ")" ? -1 : 0);
                Symbol(token.text);
            } else if (token.kind != Token::Kind::Word) {
                out_ += token.text + " ";
            } else {
                i = Word(i);
            }
        }
        while (!out_.empty() && out_.back() == ' ') {
            out_.pop_back();
        }
        out_ += ";\n";
        for (const auto& [name, type] : comments_) {
            out_ += "COMMENT ON COLUMN ";
            out_ += PostgresIdentifier(table_);
            out_ += ".";
            out_ += PostgresIdentifier(name);
            out_ += " IS '" + name;
            out_ += " " + type;
            out_ += "';\n";
        }
        return out_;
    }

  private:
    // Words are written with a blank after them; symbols glue to their neighbours.
    void Symbol(const std::string& text) {
        if (text == ")" || text == ",") {
            while (!out_.empty() && out_.back() == ' ') {
                out_.pop_back();
            }
        }
        out_ += text == "," ? ", " : (text == ")" ? ") " : text);
    }

    [[nodiscard]] bool StartsColumn(std::size_t i) const {
        const Token& token = t_[i];
        if (createTable_ && depth_ == 1 && (IsSymbol(i - 1, "(") || IsSymbol(i - 1, ","))) {
            return true;
        }
        return alterAdd_ && (IsWord(t_[i - 1], "COLUMN") ||
                             (IsWord(t_[i - 1], "ADD") && !IsWord(token, "COLUMN")));
    }

    // Writes the word at `i` (and what it stands for with the words after it); returns the
    // index of the last token it used.
    std::size_t Word(std::size_t i) {
        const Token& token = t_[i];
        const bool keyword = Keywords().contains(AsciiUpper(token.text));
        if (StartsColumn(i) && !keyword) {
            NoteColumn(i);
        }
        if (IsWord(token, "INTEGER") && i + 3 < t_.size() && IsWord(t_[i + 1], "PRIMARY") &&
            IsWord(t_[i + 3], "AUTOINCREMENT")) {
            out_ += "integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY ";
            return i + 3;
        }
        if (IsWord(token, "COLLATE") && i + 1 < t_.size() && IsWord(t_[i + 1], "NOCASE")) {
            // An index takes the collation of the columns its expressions read.
            if (!createIndex_) {
                out_ += "COLLATE nocase ";
            }
            return i + 1;
        }
        if (IsWord(token, "IFNULL")) {
            out_ += "COALESCE";
        } else if (IsTypeWord(token.text)) {
            const bool sized = i + 1 < t_.size() && IsSymbol(i + 1, "(");
            out_ += TypeWord(token.text) + (sized ? "" : " ");
        } else if (keyword) {
            out_ += token.text + " ";
        } else {
            out_ += PostgresIdentifier(token.text) + " ";
        }
        return i;
    }

    [[nodiscard]] bool IsSymbol(std::size_t i, std::string_view symbol) const {
        return t_[i].kind == Token::Kind::Symbol && t_[i].text == symbol;
    }
    // The declared type: the type word and its size ("nvarchar(200)", "decimal(19,6)").
    void NoteColumn(std::size_t i) {
        std::string type;
        std::size_t j = i + 1;
        if (j < t_.size() && t_[j].kind == Token::Kind::Word) {
            type = AsciiLower(t_[j].text);
            ++j;
            if (j < t_.size() && IsSymbol(j, "(")) {
                for (; j < t_.size(); ++j) {
                    type += t_[j].text;
                    if (IsSymbol(j, ")")) {
                        break;
                    }
                }
            }
        }
        if (type == "integer") {
            type = "int";
        }
        comments_.emplace_back(t_[i].text, type);
    }

    const std::vector<Token>& t_;
    bool createTable_ = false;
    bool createIndex_ = false;
    bool alterAdd_ = false;
    int depth_ = 0;
    std::string out_;
    std::string table_;
    std::vector<std::pair<std::string, std::string>> comments_;
};

constexpr std::string_view kVersionTable =
    "CREATE TABLE IF NOT EXISTS \"KVAD_SCHEMA_VERSION\" (\n"
    "    \"SCHEMA_VERSION\"  integer      NOT NULL PRIMARY KEY,\n"
    "    \"SCHEMA_SCRIPT\"   varchar(100) NOT NULL,\n"
    "    \"SCHEMA_APPLIED\"  timestamp(0) NOT NULL\n"
    ");\n";

/// The statements of text for both dialects, converted one by one.
std::string ConvertStatements(std::string_view sql);

} // namespace

std::string PostgresDdl(std::string_view sqliteScript) {
    std::string out;
    for (const Segment& segment : DialectSegments(sqliteScript)) {
        if (segment.native) {
            out += segment.text;
            continue;
        }
        out += ConvertStatements(segment.text);
    }
    return out;
}

namespace {

std::string ConvertStatements(std::string_view sql) {
    const std::vector<Token> tokens = Tokens(sql);
    std::string out;
    std::vector<Token> statement;
    for (const Token& token : tokens) {
        if (token.kind == Token::Kind::Symbol && token.text == ";") {
            if (!statement.empty()) {
                out += StatementConverter(statement).Convert();
            }
            statement.clear();
        } else {
            statement.push_back(token);
        }
    }
    if (!statement.empty()) {
        out += StatementConverter(statement).Convert();
    }
    return out;
}

} // namespace

int PostgresSchemaVersion(Connection& connection) {
    PgConnection& pg = AsPostgres(connection);
    const PgResult exists =
        pg.ExecuteNative("SELECT to_regclass('\"KVAD_SCHEMA_VERSION\"') IS NOT NULL");
    if (std::string_view(PQgetvalue(exists.get(), 0, 0)) != "t") {
        return 0;
    }
    const PgResult version = pg.ExecuteNative(
        "SELECT COALESCE(MAX(\"SCHEMA_VERSION\"), 0) FROM \"KVAD_SCHEMA_VERSION\"");
    return std::stoi(PQgetvalue(version.get(), 0, 0));
}

int ApplyPostgresSchema(Connection& connection, int upTo) {
    PgConnection& pg = AsPostgres(connection);
    int version = PostgresSchemaVersion(connection);
    const int latest = pg::EmbeddedSchemaScripts().back().version;
    if (version > latest) {
        throw DbError("the database has schema version " + std::to_string(version) +
                          ", newer than this program knows (" + std::to_string(latest) + ")",
                      "HY000", std::string(), "KVAD_NSO schema",
                      DbCode{0, DatabaseCondition::NewerSchema});
    }
    {
        TransactionScope support(connection);
        (void)pg.ExecuteNative(PostgresSupportScript() + std::string(kVersionTable));
        support.Commit();
    }
    for (const pg::SchemaScript& script : pg::EmbeddedSchemaScripts()) {
        if (script.version <= version || (upTo > 0 && script.version > upTo)) {
            continue;
        }
        const std::string sql = PostgresDdl(script.sql) +
                                "INSERT INTO \"KVAD_SCHEMA_VERSION\" VALUES (" +
                                std::to_string(script.version) + ", '" + std::string(script.name) +
                                "', localtimestamp(0));\n";
        TransactionScope together(connection);
        try {
            (void)pg.ExecuteNative(sql);
        } catch (const DbError& e) {
            throw DbError("schema script " + std::string(script.name) +
                              " could not be applied: " + e.Description(),
                          e.SqlState(), std::string(script.name), "KVAD_NSO schema", e.Code());
        }
        together.Commit();
        version = script.version;
    }
    return version;
}

long CountRowsInUserTables(Connection& connection) {
    PgConnection& pg = AsPostgres(connection);
    const PgResult tables = pg.ExecuteNative(
        "SELECT quote_ident(relname) FROM pg_class WHERE relkind = 'r' "
        "AND relnamespace = current_schema()::regnamespace AND relname <> 'KVAD_SCHEMA_VERSION'");
    long rows = 0;
    for (int r = 0; r < PQntuples(tables.get()); ++r) {
        const PgResult count =
            pg.ExecuteNative(std::string("SELECT COUNT(*) FROM ") + PQgetvalue(tables.get(), r, 0));
        rows += std::stol(PQgetvalue(count.get(), 0, 0));
    }
    return rows;
}

void ResetIdentitySequences(Connection& connection) {
    PgConnection& pg = AsPostgres(connection);
    const PgResult columns = pg.ExecuteNative(
        "SELECT quote_ident(c.relname), quote_ident(a.attname), "
        "pg_get_serial_sequence(quote_ident(c.relname), a.attname) FROM pg_attribute AS a "
        "JOIN pg_class AS c ON c.oid = a.attrelid WHERE a.attidentity <> '' "
        "AND c.relnamespace = current_schema()::regnamespace");
    for (int r = 0; r < PQntuples(columns.get()); ++r) {
        const std::string table = PQgetvalue(columns.get(), r, 0);
        const std::string column = PQgetvalue(columns.get(), r, 1);
        const std::string sequence = PQgetvalue(columns.get(), r, 2);
        std::string sql = "SELECT setval('" + sequence;
        sql += "', COALESCE((SELECT MAX(" + column;
        sql += ") FROM " + table;
        sql += "), 0) + 1, false)";
        (void)pg.ExecuteNative(sql);
    }
}

} // namespace kvad::db
