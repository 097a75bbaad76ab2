#pragma once
// What nso's commands print with --json: one JSON document on stdout, of a shape the README
// describes, built from the same gathered rows the commands print as text. Field names are
// English snake_case; dates are "yyyy-mm-dd", amounts and quantities strings holding the exact
// decimal, a value that is not there null.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "kvad_nso/read_model/chain_list.h"
#include "kvad_nso/read_model/chain_processing.h"
#include "kvad_nso/read_model/erp_orders.h"
#include "kvad_nso/read_model/import_report.h"
#include "kvad_nso/read_model/review.h"
#include "kvad_nso/variant.h"

namespace nsoapp {

/// A JSON value that keeps its fields in the order they were added: the documented order.
using Json = nlohmann::ordered_json;

/// Writes the document on stdout, indented, with a newline; text that is not UTF-8 is written
/// with replacement characters rather than refused.
void PrintJson(const Json& document);

/// A stored value as JSON: null, a date "yyyy-mm-dd", a whole number, a decimal as its exact
/// text, or a text without trailing blanks.
[[nodiscard]] Json JsonValue(const kvad::Variant& value);

/// `nso list`.
[[nodiscard]] Json ListJson(const kvad::read_model::ChainList& list, std::int32_t company,
                            const std::string& selection);

/// One order as processing left it (`nso show`, and each document of `nso process`).
[[nodiscard]] Json OrderJson(const kvad::read_model::Order& order);

/// `nso process`: the chains, the counts, and why the processing stopped ("" when it did not).
[[nodiscard]] Json ProcessJson(const std::vector<kvad::read_model::Chain>& chains,
                               const kvad::read_model::VerdictCounts& tally,
                               const std::string& stopped);

/// The chains processing passed over: `[{id, title, not_loaded, in_chain, reason, failure}]`.
[[nodiscard]] Json PassedOverJson(const std::vector<kvad::read_model::PassedOver>& passed);

/// Counts of reviewed orders by verdict.
[[nodiscard]] Json TallyJson(const kvad::read_model::VerdictCounts& tally);

/// One entry of the error log.
[[nodiscard]] Json MessageJson(const kvad::read_model::Message& message);

/// `nso messages`.
[[nodiscard]] Json MessagesJson(const std::vector<kvad::read_model::Message>& messages,
                                std::optional<std::int32_t> order, const std::string& phase);

/// `nso import`.
[[nodiscard]] Json ImportJson(const std::vector<kvad::read_model::ChainReport>& chains);

/// `nso orders`: with `lines`, each order's lines.
[[nodiscard]] Json OrdersJson(const std::vector<kvad::read_model::ErpOrder>& orders,
                              std::int32_t company, const std::string& search, bool lines);

} // namespace nsoapp
