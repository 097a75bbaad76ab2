#include "tsql/tsql_translator.h"

#include "statement_emitter.h"
#include "tsql_lexer.h"
#include "tsql_parser.h"
#include "typed_sql.h"

namespace kvad::db {

Translation TranslateTsql(std::string_view tsql, SchemaLookup& schema, SqlDialect dialect) {
    const std::vector<tsql::Token> tokens = tsql::Tokenize(tsql);
    const tsql::Statement statement = tsql::ParseStatement(tokens, tsql);
    const tsql::DialectScope scope(dialect);
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

std::string PostgresIdentifier(std::string_view name) {
    std::string quoted = "\"";
    for (const char c : name) {
        quoted.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
        if (c == '"') {
            quoted.push_back('"');
        }
    }
    quoted.push_back('"');
    return quoted;
}

std::string PostgresTableName(std::string_view tsqlName) {
    return tsqlName.starts_with('#') ? "pg_temp." + PostgresIdentifier(tsqlName)
                                     : PostgresIdentifier(tsqlName);
}

} // namespace kvad::db
