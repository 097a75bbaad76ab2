#pragma once
// The order loader: parses a registered document's stored XML and spreads it over the staging
// tables (header, header allowances and charges, lines, line allowances and charges).

#include <cstdint>
#include <string>

#include "frame/nso_state.h"
#include "xml/xml_document.h"

namespace kvad::nso {

/// The loader's private members: the XPath building blocks of the document being loaded,
/// recomputed by every load from the prefixes its Order element declares.
struct LoaderState {
    std::string PrefissoCAC;
    std::string PrefissoCBC;
    std::string ApriCAC;
    std::string ChiudiCAC;
    std::string ApriCBC;
    std::string ChiudiCBC;
};

/// The loader's members of this instance.
[[nodiscard]] inline LoaderState& Loader(NsoState& state) {
    return state.Part<LoaderState>();
}

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
