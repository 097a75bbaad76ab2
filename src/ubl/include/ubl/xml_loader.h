#pragma once
// The order loader: parses a registered document's stored XML and spreads it over the staging
// tables (header, header allowances and charges, lines, line allowances and charges).

#include <cstdint>
#include <string>

#include "frame/nso_state.h"
#include "xml/xml_document.h"

namespace kvad::nso {

/// How the last GetOrderFromXML ended.
enum class LoadResult {
    NotRun,        ///< no load yet
    AlreadyStaged, ///< the header was staged and reload was off: nothing changed
    NoText,        ///< the document has no XML text
    NotParsed,     ///< the text was refused by the XML layer (see lastParse)
    NoOrder,       ///< no Order element (lastElement: the document element's local name)
    Failed,        ///< a step failed (Stato and Errore tell which); a database failure undid it
    Loaded,        ///< staged
};

/// The loader's private members: the XPath building blocks of the document being loaded,
/// recomputed by every load from the prefixes its Order element declares, and how the last
/// load ended. Only the loader writes them (src/ubl/loader_writer.h); others read them.
struct LoaderState {
    class Writer;

    std::string PrefissoCAC;
    std::string PrefissoCBC;
    std::string ApriCAC;
    std::string ChiudiCAC;
    std::string ApriCBC;
    std::string ChiudiCBC;

    LoadResult lastResult = LoadResult::NotRun;
    xml::ParseFailure lastParse;
    std::string lastElement;
};

/// The loader's members of this instance, read-only.
[[nodiscard]] inline const LoaderState& Loader(const NsoState& state) {
    return state.Part<LoaderState>();
}

/// Loads document fId into the staging tables. With fRicarica false a document whose header is
/// already staged is left alone. Problems in the content go to the error log (code 12). The
/// staging rows and the log entry are written in one transaction (a savepoint inside one
/// already open); a database failure on the way undoes them all.
void GetOrderFromXML(NsoState& state, std::int32_t fId, bool fRicarica);

/// Clears what a load of document fId left that loading it again does not replace: its line
/// allowances and charges (a reload gives its lines new ids, and the writer deletes allowances
/// by line) and its load-error entries (code 12), which the reload writes again if it fails
/// again. Runs in the caller's transaction; errors are thrown.
void ClearStagingForReload(NsoState& state, std::int32_t fId);

/// Registers for XPath every namespace declaration of the document, as a load does (steps 6
/// and 7: RaccogliNamespace over each top-level node).
void RegisterDocumentNamespaces(xml::Document& document);

/// Sets the six XPath building blocks from the prefixes the Order element declares.
void SetPathPieces(NsoState& state, const xml::Node& order);

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
