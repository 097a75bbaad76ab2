#pragma once
// Recursive-descent parser for the T-SQL subset the component sends.

#include <string_view>
#include <vector>

#include "tsql_ast.h"
#include "tsql_lexer.h"

namespace kvad::db::tsql {

/// Parses exactly one statement (a leading ';' and one trailing ';' are allowed). Throws
/// DbError (42000) naming the first construct it does not accept or the text left over.
[[nodiscard]] Statement ParseStatement(const std::vector<Token>& tokens, std::string_view text);

} // namespace kvad::db::tsql
