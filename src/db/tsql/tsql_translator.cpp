#include "db/tsql/tsql_translator.h"

#include <cstddef>
#include <vector>

#include "db/tsql/tsql_error.h"
#include "db/tsql/tsql_lexer.h"

namespace kvad::db {

namespace {

using tsql::Token;
using tsql::TokenKind;

std::string QuoteIdentifier(std::string_view name) {
    std::string out = "\"";
    for (const char c : name) {
        out.push_back(c);
        if (c == '"') {
            out.push_back('"');
        }
    }
    out.push_back('"');
    return out;
}

std::string QuoteString(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    out.push_back('\'');
    return out;
}

// First version: a token-level rewrite of the simple statement shapes.
Translation TranslateTokens(std::string_view statement, const std::vector<Token>& tokens) {
    Translation result;
    std::size_t i = 0;
    while (tokens[i].IsSymbol(";")) {
        ++i;
    }
    std::size_t end = tokens.size() - 1;
    if (end > i && tokens[end - 1].IsSymbol(";")) {
        --end;
    }
    if (tokens[i].IsWord("IF")) {
        const bool ok = end - i == 11 && tokens[i + 1].IsWord("NOT") &&
                        tokens[i + 2].IsWord("OBJECT_ID") && tokens[i + 3].IsSymbol("(") &&
                        tokens[i + 4].kind == TokenKind::String && tokens[i + 5].IsSymbol(")") &&
                        tokens[i + 6].IsWord("IS") && tokens[i + 7].IsWord("NULL") &&
                        tokens[i + 8].IsWord("DROP") && tokens[i + 9].IsWord("TABLE") &&
                        tokens[i + 10].kind == TokenKind::Word;
        if (!ok) {
            tsql::Refuse("unsupported IF statement", statement);
        }
        result.kind = Translation::Kind::Command;
        result.sql = "DROP TABLE IF EXISTS " + SqliteTableName(tokens[i + 10].text);
        return result;
    }
    const bool isQuery = tokens[i].IsWord("SELECT") || tokens[i].IsWord("WITH");
    result.kind = isQuery ? Translation::Kind::Query : Translation::Kind::Command;

    std::vector<std::string> pendingLimit(1);
    std::string out;
    auto append = [&out](const std::string& piece) {
        if (!out.empty()) {
            out.push_back(' ');
        }
        out += piece;
    };
    for (; i < end; ++i) {
        const Token& t = tokens[i];
        if (t.IsWord("WITH") && tokens[i + 1].IsSymbol("(") && tokens[i + 2].IsWord("NOLOCK") &&
            tokens[i + 3].IsSymbol(")")) {
            i += 3;
            continue;
        }
        if (t.IsSymbol(";")) {
            tsql::Refuse("text after the end of the statement", statement);
        }
        if (t.IsWord("TOP")) {
            if (tokens[i + 1].kind != TokenKind::Number) {
                tsql::Refuse("TOP without a number", statement);
            }
            pendingLimit.back() = tokens[i + 1].text;
            ++i;
            continue;
        }
        if (t.IsWord("INTO") && pendingLimit.size() == 1 && isQuery) {
            result.kind = Translation::Kind::SelectInto;
            result.intoTable = tokens[i + 1].text;
            ++i;
            continue;
        }
        if (t.IsWord("WITH") && i + 1 < end && tokens[i + 1].kind == TokenKind::Word &&
            !tokens[i + 1].IsWord("RECURSIVE")) {
            append("WITH RECURSIVE");
            continue;
        }
        if (t.IsWord("ISNULL")) {
            append("IFNULL");
            continue;
        }
        switch (t.kind) {
        case TokenKind::String:
            append(QuoteString(t.text));
            break;
        case TokenKind::Quoted:
            append(QuoteIdentifier(t.text));
            break;
        case TokenKind::Word:
            if (t.text.starts_with('#')) {
                append(tokens[i + 1].IsSymbol(".") ? QuoteIdentifier(t.text)
                                                   : SqliteTableName(t.text));
            } else {
                append(t.text);
            }
            break;
        case TokenKind::Symbol:
            if (t.IsSymbol("(")) {
                pendingLimit.emplace_back();
            } else if (t.IsSymbol(")")) {
                if (pendingLimit.size() < 2) {
                    tsql::Refuse("unbalanced parentheses", statement);
                }
                if (!pendingLimit.back().empty()) {
                    append("LIMIT " + pendingLimit.back());
                }
                pendingLimit.pop_back();
            }
            append(t.text);
            break;
        case TokenKind::Number:
            append(t.text);
            break;
        case TokenKind::End:
            break;
        }
    }
    if (pendingLimit.size() != 1) {
        tsql::Refuse("unbalanced parentheses", statement);
    }
    if (!pendingLimit.back().empty()) {
        append("LIMIT " + pendingLimit.back());
    }
    result.sql = std::move(out);
    return result;
}

} // namespace

Translation TranslateTsql(std::string_view tsql, SchemaLookup& schema) {
    (void)schema;
    const std::vector<Token> tokens = tsql::Tokenize(tsql);
    return TranslateTokens(tsql, tokens);
}

std::string SqliteTableName(std::string_view tsqlName) {
    if (tsqlName.starts_with('#')) {
        return "temp." + QuoteIdentifier(tsqlName);
    }
    return QuoteIdentifier(tsqlName);
}

} // namespace kvad::db
