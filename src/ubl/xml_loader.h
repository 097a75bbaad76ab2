#pragma once
// The order loader: parses a registered document's stored XML and spreads it over the staging
// tables (header, header allowances and charges, lines, line allowances and charges).

#include <cstdint>
#include <string>

#include "component/nso_state.h"
#include "ubl/xml_document.h"

namespace kvad::nso {

/// Loads document fId into the staging tables. With fRicarica false a document whose header is
/// already staged is left alone. Problems in the content go to the error log (code 12).
void GetOrderFromXML(NsoState& state, std::int32_t fId, bool fRicarica);

/// The stored XML text of a document, or "" (no row, Null XML, or a failure).
[[nodiscard]] std::string GetXML(NsoState& state, std::int32_t fId);

/// The first descendant whose local name is `name`, searching depth first with descendants
/// before the node that contains them; the node itself is never a match. Null when none.
[[nodiscard]] xml::Node CercaNodoFiglio(NsoState& state, const xml::Node& node,
                                        const std::string& name);

/// Appends to `declarations` every namespace declaration found in the subtree of `node`, as
/// " name='uri'", inventing "xmlns:locNS<counter>" for default namespaces; the first
/// declaration of a name wins.
void RaccogliNamespace(std::string& declarations, const xml::Node& node, std::int32_t& counter);

/// The prefix (with its colon) that `node` itself declares for the namespace whose URI
/// contains `uriText`; "" for a default namespace or none.
[[nodiscard]] std::string PrefissoNamespace(const xml::Node& node, const std::string& uriText);

} // namespace kvad::nso
