// A parsed document: the raw text is checked, parsed within limits, and given an XPath context
// with the host's prefix bindings.
#include "xml/xml_document.h"

#include <libxml/xpathInternals.h>

#include "document_impl.h"
#include "hardened_parser.h"
#include "raw_text.h"
#include "xpath_expressions.h"

namespace kvad::xml {

Document::Document(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Document::~Document() = default;

std::unique_ptr<Document> Document::Load(std::string_view text, std::string& error,
                                         const Limits& limits) {
    ParseFailure failure;
    auto document = Load(text, failure, limits);
    error = std::move(failure.text);
    return document;
}

std::unique_ptr<Document> Document::Load(std::string_view text, ParseFailure& failure,
                                         const Limits& limits) {
    failure = {};
    if (!CheckRawText(text, limits, failure)) {
        return nullptr;
    }
    InitialiseLibrary();
    DocPtr doc = ParseHardened(text, limits, failure);
    if (!doc) {
        return nullptr;
    }
    // Numbers the elements so that XPath sorts node sets without walking the tree.
    xmlXPathOrderDocElems(doc.get());

    auto impl = std::make_unique<Impl>();
    impl->xpath.reset(xmlXPathNewContext(doc.get()));
    if (!impl->xpath) {
        failure = {Problem::NoMemory, "memoria insufficiente per analizzare il documento", 0,
                   "out of memory"};
        return nullptr;
    }
    impl->xpath->error = OnXPathError;
    impl->xpath->userData = &impl->xpathError;
    // Node sets and other results are recycled between evaluations instead of reallocated.
    xmlXPathContextSetCache(impl->xpath.get(), 1, -1, 0);
    impl->doc = std::move(doc);
    // The constructor is private: make_unique cannot reach it.
    return std::unique_ptr<Document>(new Document(std::move(impl)));
}

void Document::SetSelectionNamespaces(std::string_view declarations) {
    xmlXPathContext* ctx = impl_->xpath.get();
    impl_->boundUris.clear();
    xmlXPathRegisteredNsCleanup(ctx);
    for (const auto& [prefix, uri] : ParseDeclarations(declarations)) {
        xmlXPathRegisterNs(ctx, XmlChars(prefix.c_str()), XmlChars(uri.c_str()));
    }
}

Node Document::Root() const noexcept {
    return Node(reinterpret_cast<xmlNodePtr>(impl_->doc.get()), this);
}

} // namespace kvad::xml
