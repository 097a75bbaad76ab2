#include "rowid_columns.h"

#include <array>

#include "quote_identifier.h"
#include "sql_scan.h"

namespace kvad::db {

namespace {

/// A token of a SELECT with its text (a word as written, a quoted name without its quotes, a
/// symbol) and the parenthesis depth outside it.
struct SelectToken {
    TokenKind kind;
    std::size_t begin;
    std::string text;
    int depth;
};

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

/// Reads the token at `i` (no blank, no comment) and moves `i` past it; `depth` is the
/// parenthesis depth there, which a parenthesis changes.
SelectToken ReadToken(std::string_view sql, std::size_t& i, int& depth) {
    const char c = sql[i];
    const std::size_t begin = i;
    if (c == '\'') {
        return {TokenKind::String, begin, ReadQuoted(sql, i, '\''), depth};
    }
    if (c == '"' || c == '`' || c == '[') {
        return {TokenKind::Name, begin, ReadQuoted(sql, i, c == '[' ? ']' : c), depth};
    }
    if ((c == 'x' || c == 'X') && i + 1 < sql.size() && sql[i + 1] == '\'') {
        ++i; // a blob literal
        return {TokenKind::String, begin, ReadQuoted(sql, i, '\''), depth};
    }
    if (IsWordStart(c) || StartsNumber(sql, i)) {
        const bool word = IsWordStart(c);
        i = word ? WordEnd(sql, i) : NumberEnd(sql, i);
        return {word ? TokenKind::Word : TokenKind::Number, begin,
                std::string(sql.substr(begin, i - begin)), depth};
    }
    if (c == ')') {
        --depth;
    }
    SelectToken symbol{TokenKind::Symbol, begin, std::string(1, c), depth};
    if (c == '(') {
        ++depth;
    }
    ++i;
    return symbol;
}

std::vector<SelectToken> Tokenize(std::string_view sql) {
    std::vector<SelectToken> tokens;
    int depth = 0;
    std::size_t i = 0;
    while (i < sql.size()) {
        if (IsSqlBlank(sql[i])) {
            ++i;
        } else if (StartsComment(sql, i)) {
            i = CommentEnd(sql, i);
        } else {
            tokens.push_back(ReadToken(sql, i, depth));
        }
    }
    return tokens;
}

bool IsWord(const SelectToken& token, std::string_view word) {
    return token.kind == TokenKind::Word && EqualsNoCase(token.text, word);
}

bool IsSymbol(const SelectToken& token, char symbol) {
    return token.kind == TokenKind::Symbol && token.text.size() == 1 && token.text[0] == symbol;
}

bool IsReserved(const SelectToken& token) {
    static constexpr std::array<std::string_view, 26> kWords = {
        "ON",    "USING",  "LEFT",      "RIGHT", "FULL",   "INNER",     "CROSS",  "NATURAL", "JOIN",
        "OUTER", "WHERE",  "GROUP",     "ORDER", "LIMIT",  "HAVING",    "WINDOW", "INDEXED", "NOT",
        "UNION", "EXCEPT", "INTERSECT", "AS",    "OFFSET", "RETURNING", "SELECT", "FROM"};
    if (token.kind != TokenKind::Word) {
        return false;
    }
    for (std::string_view word : kWords) {
        if (EqualsNoCase(token.text, word)) {
            return true;
        }
    }
    return false;
}

bool IsNameToken(const SelectToken& token) {
    return token.kind == TokenKind::Name || (token.kind == TokenKind::Word && !IsReserved(token));
}

bool EndsFromClause(const SelectToken& token) {
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
std::size_t SkipGroup(const std::vector<SelectToken>& tokens, std::size_t open) {
    const int depth = tokens[open].depth;
    std::size_t i = open + 1;
    while (i < tokens.size() && !(IsSymbol(tokens[i], ')') && tokens[i].depth == depth)) {
        ++i;
    }
    return i < tokens.size() ? i + 1 : i;
}

/// Reads an optional alias ("AS x" or a bare name) at `i`.
std::string ReadAlias(const std::vector<SelectToken>& tokens, std::size_t& i) {
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

std::string Quote(const SelectToken& token) {
    return QuoteIdentifier(token.text);
}

/// The table references of the FROM clause that starts after `from` and ends at `end`.
std::vector<TableRef> ReadFromClause(const std::vector<SelectToken>& tokens, std::size_t from,
                                     std::size_t end) {
    std::vector<TableRef> refs;
    bool expectTable = true;
    std::size_t i = from + 1;
    while (i < end) {
        const SelectToken& token = tokens[i];
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
    std::vector<SelectToken> tokens;
    std::size_t from = 0;
    std::vector<TableRef> refs;
};

std::optional<MainFrom> FindMainFrom(std::string_view sql) {
    MainFrom main;
    main.tokens = Tokenize(sql);
    const std::vector<SelectToken>& tokens = main.tokens;
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
        const SelectToken& token = tokens[i];
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
