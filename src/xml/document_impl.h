#pragma once
// What a Document holds behind its public face: the libxml2 tree and its XPath context, with
// the two ways a node's selection is found (walking a path of child steps, or evaluating the
// expression). Shared by the document and its nodes.

#include <libxml/xpathInternals.h>

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvad_nso/errors.h"
#include "libxml_handles.h"
#include "xml/xml_document.h"
#include "xpath_expressions.h"

namespace kvad::xml {

struct Document::Impl {
    DocPtr doc;
    XPathContextPtr xpath;
    std::string xpathError; // filled by libxml2 through the context's error handler
    /// Prefixes the walks resolved, with their URIs as the context holds them: a document has
    /// a few, looked up for every step of every walk. Emptied when the bindings change.
    mutable std::vector<std::pair<std::string, const xmlChar*>> boundUris;

    /// The URI bound to `prefix` for XPath, or null.
    [[nodiscard]] const xmlChar* UriOf(const std::string& prefix) const {
        for (const auto& [bound, uri] : boundUris) {
            if (bound == prefix) {
                return uri;
            }
        }
        const xmlChar* uri = xmlXPathNsLookup(xpath.get(), XmlChars(prefix.c_str()));
        if (uri != nullptr) {
            boundUris.emplace_back(prefix, uri);
        }
        return uri;
    }

    /// Walks a child path from `node`, calling `found` for each node it selects in document
    /// order until `found` returns false. False, with nothing found, when a prefix of the path
    /// has no binding: libxml2 then evaluates the expression and reports the error.
    template <class Found> bool Walk(xmlNodePtr node, const ChildPath& path, Found&& found) const {
        std::array<const xmlChar*, 16> uris{};
        if (path.steps.size() > uris.size()) {
            return false;
        }
        for (std::size_t i = 0; i < path.steps.size(); ++i) {
            uris[i] = UriOf(path.steps[i].prefix);
            if (uris[i] == nullptr) {
                return false;
            }
        }
        (void)WalkFrom(node, path, uris, 0, found);
        return true;
    }

    template <class Found>
    static bool WalkFrom(xmlNodePtr node, const ChildPath& path,
                         const std::array<const xmlChar*, 16>& uris, std::size_t step,
                         Found& found) {
        const xmlChar* name = XmlChars(path.steps[step].localName.c_str());
        for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
            if (child->type != XML_ELEMENT_NODE || child->ns == nullptr ||
                xmlStrEqual(child->name, name) == 0 ||
                xmlStrEqual(child->ns->href, uris[step]) == 0) {
                continue;
            }
            const bool more = step + 1 == path.steps.size()
                                  ? found(child)
                                  : WalkFrom(child, path, uris, step + 1, found);
            if (!more) {
                return false;
            }
        }
        return true;
    }

    /// Evaluates an expression with `node` as the context node; the result is a node set.
    XPathObjectPtr Evaluate(xmlNodePtr node, std::string_view expression) {
        xmlXPathCompExpr* comp = CompiledExpression(expression);
        xmlXPathContext& ctx = *xpath;
        ctx.node = node;
        ctx.contextSize = -1;
        ctx.proximityPosition = -1;
        xpathError.clear();
        const GenericErrorSilencer silencer;
        XPathObjectPtr result(xmlXPathCompiledEval(comp, &ctx));
        if (!result) {
            throw VbError(kXPathErrorNumber,
                          "Espressione XPath non valutabile \"" + std::string(expression) +
                              "\": " + (xpathError.empty() ? "errore di valutazione" : xpathError));
        }
        if (result->type != XPATH_NODESET) {
            throw VbError(kXPathErrorNumber, "L'espressione XPath \"" + std::string(expression) +
                                                 "\" non restituisce un insieme di nodi");
        }
        return result;
    }
};

} // namespace kvad::xml
