#include "statement_emitter.h"

#include <variant>

namespace kvad::db::tsql {

Translation EmitStatement(const Statement& statement, std::string_view text, SchemaLookup& schema) {
    EmitContext context(text, schema);
    return std::visit([&context](const auto& kind) { return Emit(context, kind); }, statement);
}

} // namespace kvad::db::tsql
