#include "hardened_parser.h"

#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <climits>

#include "raw_text.h"

namespace kvad::xml {

namespace {

struct ParseState {
    Limits limits;
    int maxDepth = 0;
    bool buildTree = true;
    ScanHandler* handler = nullptr; // told the events instead of the tree builder
    std::size_t nodes = 0;
    int depth = 0;
    bool inText = false;       // consecutive character events make one text node
    bool inCdata = false;      // and consecutive CDATA sections one CDATA node
    std::size_t runLength = 0; // bytes of the text or CDATA node being read, when scanning
    bool treeStops = false;    // the tree builder would have stopped where the scan went on
    ParseFailure refusal;      // our own reason to stop
    ParseFailure firstError;   // libxml2's first error, with its line
    startElementNsSAX2Func startElementNs = nullptr;
    endElementNsSAX2Func endElementNs = nullptr;
    charactersSAXFunc characters = nullptr;
    charactersSAXFunc ignorableWhitespace = nullptr;
    charactersSAXFunc cdataBlock = nullptr;
    commentSAXFunc comment = nullptr;
    processingInstructionSAXFunc processingInstruction = nullptr;
};

xmlParserCtxtPtr ParserOf(void* ctx) noexcept {
    return static_cast<xmlParserCtxtPtr>(ctx);
}
ParseState& StateOf(void* ctx) noexcept {
    return *static_cast<ParseState*>(ParserOf(ctx)->_private);
}

void Refuse(void* ctx, Problem kind, std::string reason, std::string cause) {
    ParseState& state = StateOf(ctx);
    if (state.refusal.text.empty()) {
        state.refusal = {kind, std::move(reason),
                         static_cast<std::size_t>(std::max(xmlSAX2GetLineNumber(ctx), 0)),
                         std::move(cause)};
    }
    ParserOf(ctx)->wellFormed = 0;
    xmlStopParser(ParserOf(ctx));
}

/// Counts `added` nodes; false (and the parser stopped) when that passes the limit.
bool CountNodes(void* ctx, std::size_t added) {
    ParseState& state = StateOf(ctx);
    state.nodes += added;
    if (state.nodes <= state.limits.maxNodes) {
        return true;
    }
    Refuse(ctx, Problem::OverLimits,
           "il documento supera il numero massimo di nodi (" +
               std::to_string(state.limits.maxNodes) + ")",
           "more than " + std::to_string(state.limits.maxNodes) + " nodes");
    return false;
}

void OnStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                    int nbNamespaces, const xmlChar** namespaces, int nbAttributes, int nbDefaulted,
                    const xmlChar** attributes) {
    ParseState& state = StateOf(ctx);
    state.inText = false;
    state.inCdata = false;
    if (++state.depth > state.maxDepth) {
        Refuse(ctx, Problem::OverLimits,
               "il documento supera la profondità massima di annidamento (" +
                   std::to_string(state.maxDepth) + " livelli)",
               "more than " + std::to_string(state.maxDepth) + " levels of nesting");
        return;
    }
    if (!CountNodes(ctx, 1 + static_cast<std::size_t>(nbNamespaces) +
                             static_cast<std::size_t>(nbAttributes))) {
        return;
    }
    if (state.buildTree) {
        state.startElementNs(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                             nbDefaulted, attributes);
    } else if (state.handler != nullptr) {
        state.handler->StartElement(Chars(localname));
    }
}

void OnEndElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri) {
    ParseState& state = StateOf(ctx);
    state.inText = false;
    state.inCdata = false;
    --state.depth;
    if (state.buildTree) {
        state.endElementNs(ctx, localname, prefix, uri);
    } else if (state.handler != nullptr) {
        state.handler->EndElement();
    }
}

/// Tells the scan's handler a piece of character data. The tree builder stops (leaving the tree
/// built so far) when a text or CDATA node would grow past XML_MAX_TEXT_LENGTH by joining pieces;
/// a scan counts the node's bytes as the builder would and, at that point, tells nothing more and
/// leaves the verdict to the tree's own parse.
void TellCharacters(void* ctx, bool joined, const xmlChar* text, int len) {
    ParseState& state = StateOf(ctx);
    if (state.handler == nullptr) {
        return;
    }
    const auto size = static_cast<std::size_t>(std::max(len, 0));
    if (joined && state.runLength + size > XML_MAX_TEXT_LENGTH) {
        state.treeStops = true;
        state.handler = nullptr;
        return;
    }
    state.runLength = joined ? state.runLength + size : size;
    if (size > 0) {
        state.handler->Characters(std::string_view(Chars(text), size));
    }
}

void OnText(void* ctx, charactersSAXFunc handler, const xmlChar* text, int len) {
    ParseState& state = StateOf(ctx);
    const bool joined = state.inText;
    state.inCdata = false;
    if (!state.inText) {
        state.inText = true;
        if (!CountNodes(ctx, 1)) {
            return;
        }
    }
    if (state.buildTree) {
        handler(ctx, text, len);
    } else {
        TellCharacters(ctx, joined, text, len);
    }
}
void OnCharacters(void* ctx, const xmlChar* text, int len) {
    OnText(ctx, StateOf(ctx).characters, text, len);
}
void OnIgnorableWhitespace(void* ctx, const xmlChar* text, int len) {
    OnText(ctx, StateOf(ctx).ignorableWhitespace, text, len);
}
void OnCdataBlock(void* ctx, const xmlChar* text, int len) {
    ParseState& state = StateOf(ctx);
    const bool joined = state.inCdata;
    state.inText = false;
    state.inCdata = true;
    if (!CountNodes(ctx, 1)) {
        return;
    }
    if (state.buildTree) {
        state.cdataBlock(ctx, text, len);
    } else {
        TellCharacters(ctx, joined, text, len);
    }
}
void OnComment(void* ctx, const xmlChar* text) {
    ParseState& state = StateOf(ctx);
    state.inText = false;
    state.inCdata = false;
    if (CountNodes(ctx, 1) && state.buildTree) {
        state.comment(ctx, text);
    }
}
void OnProcessingInstruction(void* ctx, const xmlChar* target, const xmlChar* data) {
    ParseState& state = StateOf(ctx);
    state.inText = false;
    state.inCdata = false;
    if (CountNodes(ctx, 1) && state.buildTree) {
        state.processingInstruction(ctx, target, data);
    }
}

// Second wall behind the DOCTYPE check: a declaration that got through stops the parser, and
// no entity is ever resolved from outside.
void OnInternalSubset(void* ctx, const xmlChar* /*name*/, const xmlChar* /*externalId*/,
                      const xmlChar* /*systemId*/) {
    Refuse(ctx, Problem::Doctype, "il documento contiene una DOCTYPE, non ammessa", "a DOCTYPE");
}
xmlParserInputPtr OnResolveEntity(void* ctx, const xmlChar* /*publicId*/, const xmlChar* systemId) {
    const std::string resource = systemId != nullptr ? Chars(systemId) : "";
    Refuse(ctx, Problem::Doctype,
           "il documento richiede una risorsa esterna, non ammessa: " + resource,
           "a reference to an outside resource " + resource);
    return nullptr;
}

void OnParserError(void* ctx, xmlErrorPtr error) {
    if (error == nullptr || error->level < XML_ERR_ERROR || ctx == nullptr) {
        return;
    }
    ParseState& state = StateOf(ctx);
    if (!state.firstError.text.empty()) {
        return;
    }
    std::string message = TrimXmlSpace(error->message != nullptr ? error->message : "");
    state.firstError = {Problem::NotWellFormed,
                        "il documento non è XML ben formato (riga " + std::to_string(error->line) +
                            "): " + message,
                        static_cast<std::size_t>(std::max(error->line, 0)), message};
}

/// An upper bound of the nodes the text can hold: every element, comment, instruction and
/// CDATA section opens with '<', every attribute has '=', every text node follows a '>'.
std::size_t NodeUpperBound(std::string_view text) noexcept {
    std::size_t bound = 1;
    for (const char c : text) {
        bound += static_cast<std::size_t>(c == '<' || c == '=' || c == '>');
    }
    return bound;
}

/// One parse of the text. With `buildTree` false only the limits and well-formedness are
/// checked, the events go to `handler` when there is one, and the result is null even on success
/// (`failure` stays empty).
DocPtr RunParser(std::string_view text, const Limits& limits, bool buildTree, ParseFailure& failure,
                 ScanHandler* handler = nullptr, bool* treeStops = nullptr) {
    ParseState state;
    state.limits = limits;
    state.handler = handler;
    // libxml2 refuses deeper documents on its own (its limit is lifted only by the HUGE option,
    // never used): the smaller of the two applies, with our message.
    state.maxDepth =
        std::min(limits.maxDepth, static_cast<int>(std::min<unsigned>(xmlParserMaxDepth, INT_MAX)));
    state.buildTree = buildTree;
    const GenericErrorSilencer silencer;
    const ParserCtxtPtr ctxt(xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())));
    if (!ctxt || ctxt->sax == nullptr) {
        failure = {Problem::NoMemory, "memoria insufficiente per analizzare il documento", 0,
                   "out of memory"};
        return nullptr;
    }
    // Never NOENT, DTDLOAD, DTDATTR or HUGE: entities stay unexpanded and libxml2's own
    // limits stay on. The text is UTF-8 whatever its declaration says.
    xmlCtxtUseOptions(ctxt.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                                      XML_PARSE_COMPACT | XML_PARSE_BIG_LINES |
                                      XML_PARSE_IGNORE_ENC);
    ctxt->_private = &state;
    xmlSAXHandler& sax = *ctxt->sax;
    state.startElementNs = sax.startElementNs;
    state.endElementNs = sax.endElementNs;
    state.characters = sax.characters;
    state.ignorableWhitespace = sax.ignorableWhitespace;
    state.cdataBlock = sax.cdataBlock;
    state.comment = sax.comment;
    state.processingInstruction = sax.processingInstruction;
    if (state.startElementNs == nullptr || state.endElementNs == nullptr ||
        state.characters == nullptr || state.ignorableWhitespace == nullptr ||
        state.cdataBlock == nullptr || state.comment == nullptr ||
        state.processingInstruction == nullptr) {
        failure = {Problem::NoMemory, "analizzatore XML non configurato", 0,
                   "the XML parser could not be set up"};
        return nullptr;
    }
    sax.startElementNs = OnStartElement;
    sax.endElementNs = OnEndElement;
    sax.characters = OnCharacters;
    sax.ignorableWhitespace = OnIgnorableWhitespace;
    sax.cdataBlock = OnCdataBlock;
    sax.comment = OnComment;
    sax.processingInstruction = OnProcessingInstruction;
    sax.internalSubset = OnInternalSubset;
    sax.externalSubset = nullptr;
    sax.resolveEntity = OnResolveEntity;
    sax.serror = OnParserError;
    sax.error = nullptr;
    sax.warning = nullptr;

    xmlParseDocument(ctxt.get());
    DocPtr doc(ctxt->myDoc);
    ctxt->myDoc = nullptr;
    if (treeStops != nullptr) {
        *treeStops = state.treeStops;
    }

    if (!state.refusal.text.empty()) {
        failure = std::move(state.refusal);
        return nullptr;
    }
    // A namespace error (an undeclared prefix) leaves a tree whose names are not what the
    // text says: refused like any other well-formedness error.
    if (ctxt->wellFormed == 0 || ctxt->nsWellFormed == 0 || !doc ||
        (buildTree && xmlDocGetRootElement(doc.get()) == nullptr)) {
        failure = !state.firstError.text.empty()
                      ? std::move(state.firstError)
                      : ParseFailure{Problem::NotWellFormed, "il documento non è XML ben formato",
                                     0, "not well-formed XML"};
        return nullptr;
    }
    if (doc->intSubset != nullptr || doc->extSubset != nullptr) {
        failure = {Problem::Doctype, "il documento contiene una DOCTYPE, non ammessa", 0,
                   "a DOCTYPE"};
        return nullptr;
    }
    return buildTree ? std::move(doc) : nullptr;
}

} // namespace

DocPtr ParseHardened(std::string_view text, const Limits& limits, ParseFailure& failure) {
    // A text that may hold more nodes than allowed is counted first without building the tree,
    // so that refusing it costs no memory. Orders are far below the bound and parse once.
    if (text.size() >= limits.maxNodes && NodeUpperBound(text) > limits.maxNodes) {
        (void)RunParser(text, limits, false, failure);
        if (!failure.text.empty()) {
            return nullptr;
        }
    }
    return RunParser(text, limits, true, failure);
}

bool ScanHardened(std::string_view text, const Limits& limits, ScanHandler& handler,
                  ParseFailure& failure) {
    // The counting pass of ParseHardened: the same limits and verdict, with the events told.
    bool treeStops = false;
    (void)RunParser(text, limits, false, failure, &handler, &treeStops);
    if (treeStops) {
        // A text node over libxml2's limit: the tree parse ends there, taking or refusing the text
        // by where it stopped. Its verdict is the one to give, and what the handler was told is
        // what that tree holds. Only texts of megabytes of text in one node come here.
        failure = {};
        (void)ParseHardened(text, limits, failure);
    }
    return failure.text.empty();
}

} // namespace kvad::xml
