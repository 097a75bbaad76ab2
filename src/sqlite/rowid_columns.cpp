#include "rowid_columns.h"

#include <array>
#include <cctype>

#include "quote_identifier.h"

namespace kvad::db {

namespace {

struct Token {
    enum class Kind { Word, Name, String, Number, Symbol };
    Kind kind;
    std::size_t begin;
    std::string text; ///< a word as written, a quoted name without its quotes, a symbol
    int depth;        ///< parenthesis depth outside the token
};

bool IsWordStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool IsWordChar(char c) {
    return IsWordStart(c) || std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '$';
}

/// Reads a quoted run starting at `i` (the opening quote) and returns its content with
/// doubled closing quotes made single; `i` ends after the closing quote.
std::string ReadQuoted(std::string_view sql, std::size_t& i, char close) {
    std::string content;
    ++i;
    while (i < sql.size()) {
        if (sql[i] == close) {
            if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
                content += close;
                i += 2;
                continue;
            }
            ++i;
            return content;
        }
        content += sql[i++];
    }
    return content;
}

std::vector<Token> Tokenize(std::string_view sql) {
    std::vector<Token> tokens;
    int depth = 0;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            const auto eol = sql.find('\n', i);
            i = eol == std::string_view::npos ? sql.size() : eol + 1;
            continue;
        }
        if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const auto close = sql.find("*/", i + 2);
            i = close == std::string_view::npos ? sql.size() : close + 2;
            continue;
        }
        const std::size_t begin = i;
        if (c == '\'') {
            tokens.push_back({Token::Kind::String, begin, ReadQuoted(sql, i, '\''), depth});
        } else if (c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            tokens.push_back({Token::Kind::Name, begin, ReadQuoted(sql, i, close), depth});
        } else if ((c == 'x' || c == 'X') && i + 1 < sql.size() && sql[i + 1] == '\'') {
            ++i;
            tokens.push_back({Token::Kind::String, begin, ReadQuoted(sql, i, '\''), depth});
        } else if (IsWordStart(c)) {
            while (i < sql.size() && IsWordChar(sql[i])) {
                ++i;
            }
            tokens.push_back(
                {Token::Kind::Word, begin, std::string(sql.substr(begin, i - begin)), depth});
        } else if (std::isdigit(static_cast<unsigned char>(c)) != 0 ||
                   (c == '.' && i + 1 < sql.size() &&
                    std::isdigit(static_cast<unsigned char>(sql[i + 1])) != 0)) {
            while (
                i < sql.size() &&
                (std::isalnum(static_cast<unsigned char>(sql[i])) != 0 || sql[i] == '.' ||
                 ((sql[i] == '+' || sql[i] == '-') && (sql[i - 1] == 'e' || sql[i - 1] == 'E')))) {
                ++i;
            }
            tokens.push_back(
                {Token::Kind::Number, begin, std::string(sql.substr(begin, i - begin)), depth});
        } else {
            if (c == ')') {
                --depth;
            }
            tokens.push_back({Token::Kind::Symbol, begin, std::string(1, c), depth});
            if (c == '(') {
                ++depth;
            }
            ++i;
        }
    }
    return tokens;
}

bool IsWord(const Token& token, std::string_view word) {
    return token.kind == Token::Kind::Word && EqualsNoCase(token.text, word);
}

bool IsSymbol(const Token& token, char symbol) {
    return token.kind == Token::Kind::Symbol && token.text.size() == 1 && token.text[0] == symbol;
}

bool IsReserved(const Token& token) {
    static constexpr std::array<std::string_view, 26> kWords = {
        "ON",    "USING",  "LEFT",      "RIGHT", "FULL",   "INNER",     "CROSS",  "NATURAL", "JOIN",
        "OUTER", "WHERE",  "GROUP",     "ORDER", "LIMIT",  "HAVING",    "WINDOW", "INDEXED", "NOT",
        "UNION", "EXCEPT", "INTERSECT", "AS",    "OFFSET", "RETURNING", "SELECT", "FROM"};
    if (token.kind != Token::Kind::Word) {
        return false;
    }
    for (std::string_view word : kWords) {
        if (EqualsNoCase(token.text, word)) {
            return true;
        }
    }
    return false;
}

bool IsNameToken(const Token& token) {
    return token.kind == Token::Kind::Name ||
           (token.kind == Token::Kind::Word && !IsReserved(token));
}

bool EndsFromClause(const Token& token) {
    return IsWord(token, "WHERE") || IsWord(token, "GROUP") || IsWord(token, "HAVING") ||
           IsWord(token, "WINDOW") || IsWord(token, "ORDER") || IsWord(token, "LIMIT") ||
           IsSymbol(token, ';');
}

struct TableRef {
    std::string schema;
    std::string name;
    std::string alias;
    std::string written; ///< schema and name as written, for use as a qualifier
};

/// Index after the parenthesised group opening at `open`.
std::size_t SkipGroup(const std::vector<Token>& tokens, std::size_t open) {
    const int depth = tokens[open].depth;
    std::size_t i = open + 1;
    while (i < tokens.size() && !(IsSymbol(tokens[i], ')') && tokens[i].depth == depth)) {
        ++i;
    }
    return i < tokens.size() ? i + 1 : i;
}

/// Reads an optional alias ("AS x" or a bare name) at `i`.
std::string ReadAlias(const std::vector<Token>& tokens, std::size_t& i) {
    if (i < tokens.size() && IsWord(tokens[i], "AS") && i + 1 < tokens.size() &&
        IsNameToken(tokens[i + 1])) {
        i += 2;
        return tokens[i - 1].text;
    }
    if (i < tokens.size() && IsNameToken(tokens[i])) {
        ++i;
        return tokens[i - 1].text;
    }
    return {};
}

std::string Quote(const Token& token) {
    return QuoteIdentifier(token.text);
}

/// The table references of the FROM clause that starts after `from` and ends at `end`.
std::vector<TableRef> ReadFromClause(const std::vector<Token>& tokens, std::size_t from,
                                     std::size_t end) {
    std::vector<TableRef> refs;
    bool expectTable = true;
    std::size_t i = from + 1;
    while (i < end) {
        const Token& token = tokens[i];
        if (!expectTable) {
            if (IsSymbol(token, ',') || IsWord(token, "JOIN")) {
                expectTable = true;
            }
            i = IsSymbol(token, '(') ? SkipGroup(tokens, i) : i + 1;
            continue;
        }
        expectTable = false;
        if (IsSymbol(token, '(')) {
            i = SkipGroup(tokens, i);
            (void)ReadAlias(tokens, i); // a subquery: its rows cannot be located
            continue;
        }
        if (!IsNameToken(token)) {
            ++i;
            continue;
        }
        TableRef ref;
        ref.name = token.text;
        ref.written = Quote(token);
        ++i;
        if (i + 1 < end && IsSymbol(tokens[i], '.') && IsNameToken(tokens[i + 1])) {
            ref.schema = ref.name;
            ref.name = tokens[i + 1].text;
            ref.written += '.';
            ref.written += Quote(tokens[i + 1]);
            i += 2;
        }
        if (i < end && IsSymbol(tokens[i], '(')) {
            i = SkipGroup(tokens, i); // a table-valued function
            (void)ReadAlias(tokens, i);
            continue;
        }
        ref.alias = ReadAlias(tokens, i);
        refs.push_back(std::move(ref));
    }
    return refs;
}

/// The table references of the main FROM clause of a plain SELECT, and where that clause
/// starts; nullopt for statements whose rows cannot be located.
struct MainFrom {
    std::vector<Token> tokens;
    std::size_t from = 0;
    std::vector<TableRef> refs;
};

std::optional<MainFrom> FindMainFrom(std::string_view sql) {
    MainFrom main;
    main.tokens = Tokenize(sql);
    const std::vector<Token>& tokens = main.tokens;
    std::size_t select = tokens.size();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].depth == 0 && IsWord(tokens[i], "SELECT")) {
            select = i;
            break;
        }
    }
    if (select + 1 >= tokens.size() || IsWord(tokens[select + 1], "DISTINCT")) {
        return std::nullopt;
    }
    std::size_t from = tokens.size();
    std::size_t end = tokens.size();
    for (std::size_t i = select + 1; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (token.depth != 0) {
            continue;
        }
        if (IsWord(token, "UNION") || IsWord(token, "EXCEPT") || IsWord(token, "INTERSECT") ||
            IsWord(token, "SELECT") || IsWord(token, "VALUES") || IsWord(token, "GROUP")) {
            return std::nullopt;
        }
        if (from == tokens.size() && IsWord(token, "FROM")) {
            from = i;
        } else if (from != tokens.size() && end == tokens.size() && EndsFromClause(token)) {
            end = i;
        }
    }
    if (from == tokens.size()) {
        return std::nullopt;
    }
    main.from = from;
    main.refs = ReadFromClause(tokens, from, end);
    return main;
}

std::string RowidColumn(const TableRef& ref, int appended) {
    const std::string qualifier = ref.alias.empty() ? ref.written : QuoteIdentifier(ref.alias);
    return ", " + qualifier + ".rowid AS " +
           QuoteIdentifier("kvad.rowid." + std::to_string(appended)) + " ";
}

std::string Splice(std::string_view sql, const MainFrom& main, const std::string& added) {
    const std::size_t at = main.tokens[main.from].begin;
    std::string result;
    result.reserve(sql.size() + added.size());
    result.append(sql.substr(0, at)).append(added).append(sql.substr(at));
    return result;
}

} // namespace

std::optional<RowidQuery> AddRowidColumns(std::string_view sql,
                                          const std::vector<TableSource>& sources) {
    const auto main = FindMainFrom(sql);
    if (!main) {
        return std::nullopt;
    }
    RowidQuery result;
    std::string added;
    int appended = 0;
    for (const TableSource& source : sources) {
        const TableRef* match = nullptr;
        int matches = 0;
        for (const TableRef& ref : main->refs) {
            if (EqualsNoCase(ref.name, source.table) &&
                (ref.schema.empty() || EqualsNoCase(ref.schema, source.schema))) {
                match = &ref;
                ++matches;
            }
        }
        if (matches != 1) {
            result.appendedIndex.push_back(-1);
            continue;
        }
        added += RowidColumn(*match, appended);
        result.appendedIndex.push_back(appended++);
    }
    if (appended == 0) {
        return std::nullopt;
    }
    result.sql = Splice(sql, *main, added);
    return result;
}

std::optional<RowidQuery> AddRowidColumnsOfAllTables(std::string_view sql) {
    const auto main = FindMainFrom(sql);
    if (!main || main->refs.empty()) {
        return std::nullopt;
    }
    RowidQuery result;
    std::string added;
    int appended = 0;
    for (const TableRef& ref : main->refs) {
        added += RowidColumn(ref, appended);
        result.appendedIndex.push_back(appended++);
    }
    result.sql = Splice(sql, *main, added);
    return result;
}

} // namespace kvad::db
