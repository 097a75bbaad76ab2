#include "tsql/tsql_translator.h"

#include "statement_emitter.h"
#include "tsql_lexer.h"
#include "tsql_parser.h"

namespace kvad::db {

Translation TranslateTsql(std::string_view tsql, SchemaLookup& schema) {
    const std::vector<tsql::Token> tokens = tsql::Tokenize(tsql);
    const tsql::Statement statement = tsql::ParseStatement(tokens, tsql);
    return tsql::EmitStatement(statement, tsql, schema);
}

std::string SqliteTableName(std::string_view tsqlName) {
    std::string quoted = "\"";
    for (const char c : tsqlName) {
        quoted.push_back(c);
        if (c == '"') {
            quoted.push_back('"');
        }
    }
    quoted.push_back('"');
    return tsqlName.starts_with('#') ? "temp." + quoted : quoted;
}

} // namespace kvad::db
