#include "xml/xml_document.h"

#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <unordered_map>

namespace kvad::xml {

namespace {

/// The error number the DOM raises for an expression it cannot compile or evaluate (E_FAIL).
constexpr std::int32_t kXPathErrorNumber = -2147467259;
/// Compiled expressions kept per thread, and idle ones kept for the process; the loader uses a
/// few hundred distinct paths.
constexpr std::size_t kMaxCachedExpressions = 1024;

// ---------------------------------------------------------------------------------------------
// Owning handles

/// Frees a libxml2 object with the library's function for it.
template <auto Free> struct Freer {
    template <class T> void operator()(T* object) const noexcept { Free(object); }
};
/// xmlFree is a variable (the allocator the library was set up with), not a function.
struct XmlCharDeleter {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};

using DocPtr = std::unique_ptr<xmlDoc, Freer<xmlFreeDoc>>;
using XPathContextPtr = std::unique_ptr<xmlXPathContext, Freer<xmlXPathFreeContext>>;
using CompExprPtr = std::unique_ptr<xmlXPathCompExpr, Freer<xmlXPathFreeCompExpr>>;
using XPathObjectPtr = std::unique_ptr<xmlXPathObject, Freer<xmlXPathFreeObject>>;
using ParserCtxtPtr = std::unique_ptr<xmlParserCtxt, Freer<xmlFreeParserCtxt>>;
using XmlCharPtr = std::unique_ptr<xmlChar, XmlCharDeleter>;

const char* Chars(const xmlChar* text) noexcept {
    return reinterpret_cast<const char*>(text);
}

std::string TakeString(xmlChar* owned) {
    const XmlCharPtr holder(owned);
    return holder ? std::string(Chars(holder.get())) : std::string();
}

// ---------------------------------------------------------------------------------------------
// Process-wide set-up: external resources are never loaded, whatever a document asks for.

xmlParserInputPtr RefuseExternalEntity(const char* /*url*/, const char* /*id*/,
                                       xmlParserCtxtPtr /*ctxt*/) {
    return nullptr;
}

void InitialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(RefuseExternalEntity);
    });
}

// ---------------------------------------------------------------------------------------------
// Checks on the raw bytes, before the parser sees them

std::size_t LineAt(std::string_view text, std::size_t offset) {
    return 1 + static_cast<std::size_t>(std::count(
                   text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

/// Offset of the first byte that does not start a valid UTF-8 sequence (overlong forms,
/// surrogates and code points above U+10FFFF are invalid), or npos.
std::size_t FirstInvalidUtf8(std::string_view text) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        // ASCII runs are the bulk of an order: check eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word = 0;
            std::memcpy(&word, p + i, sizeof word);
            if ((word & 0x8080808080808080ULL) != 0) {
                break;
            }
            i += 8;
        }
        if (i >= n) {
            break;
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            lo = c == 0xE0 ? 0xA0 : 0x80;
            hi = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            lo = c == 0xF0 ? 0x90 : 0x80;
            hi = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return i;
        }
        if (i + len > n || p[i + 1] < lo || p[i + 1] > hi) {
            return i;
        }
        for (std::size_t k = 2; k < len; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF) {
                return i;
            }
        }
        i += len;
    }
    return std::string_view::npos;
}

bool IsXmlSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

/// True when the prolog (before the first element) holds a document type declaration.
/// Only the prolog can carry one in a well-formed document.
bool PrologHasDoctype(std::string_view text) noexcept {
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (IsXmlSpace(text[pos])) {
            ++pos;
            continue;
        }
        const std::string_view rest = text.substr(pos);
        if (rest.substr(0, 9) == "<!DOCTYPE") {
            return true;
        }
        std::string_view close;
        if (rest.substr(0, 2) == "<?") {
            close = "?>";
        } else if (rest.substr(0, 4) == "<!--") {
            close = "-->";
        } else {
            return false; // the root element, or text the parser will refuse
        }
        const std::size_t end = text.find(close, pos + 2);
        if (end == std::string_view::npos) {
            return false;
        }
        pos = end + close.size();
    }
    return false;
}

/// Text that is not UTF-8: the reason, naming the encoding the text declares when it declares
/// one other than UTF-8 (bytes that were never turned into text).
std::string NotUtf8(std::string_view text, const std::string& what) {
    std::string_view body = text;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") {
        body.remove_prefix(3);
    }
    if (const std::string_view enc = DeclaredEncoding(body);
        !enc.empty() && !EqualsNoCase(enc, "UTF-8") && !EqualsNoCase(enc, "UTF8")) {
        return "il documento dichiara la codifica '" + std::string(enc) +
               "', che non è stato possibile leggere: " + what;
    }
    return "il documento " + what;
}

/// The reason the raw text cannot be parsed, or empty. The text is UTF-8 whatever its
/// declaration says: a declaration names the encoding of the bytes the text was read from.
std::string CheckRawText(std::string_view text, const Limits& limits, Problem& problem) {
    const std::size_t cap = std::min<std::size_t>(limits.maxBytes, INT_MAX);
    problem = Problem::TooLarge;
    if (text.size() > cap) {
        return "il documento supera la dimensione massima ammessa (" + std::to_string(text.size()) +
               " byte, limite " + std::to_string(cap) + ")";
    }
    problem = Problem::Encoding;
    if (text.size() >= 2 &&
        ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
        return "il documento è codificato in UTF-16, ammesso solo UTF-8";
    }
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        return NotUtf8(text, "contiene byte nulli alla riga " + std::to_string(LineAt(text, nul)) +
                                 ": non è testo UTF-8");
    }
    if (const std::size_t bad = FirstInvalidUtf8(text); bad != std::string_view::npos) {
        return NotUtf8(text, "contiene una sequenza UTF-8 non valida alla riga " +
                                 std::to_string(LineAt(text, bad)) + " (byte " +
                                 std::to_string(bad) + ")");
    }
    std::string_view body = text;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") {
        body.remove_prefix(3);
    }
    problem = Problem::Empty;
    if (std::all_of(body.begin(), body.end(), IsXmlSpace)) {
        return "il documento è vuoto";
    }
    problem = Problem::Doctype;
    if (PrologHasDoctype(body)) {
        return "il documento contiene una DOCTYPE, non ammessa";
    }
    problem = Problem::None;
    return {};
}

// ---------------------------------------------------------------------------------------------
// Parsing with counting SAX callbacks. The tree is built by libxml2's own SAX2 handlers, which
// these wrap so that the parser stops as soon as a limit is passed. The same callbacks, with the
// tree builders left out, make the counting pass that screens large inputs with no memory cost.

/// Silences libxml2's generic error channel (stderr) on this thread while it lives; some
/// messages (XPath evaluation, memory) bypass the structured handlers.
class GenericErrorSilencer {
  public:
    GenericErrorSilencer() noexcept : func_(xmlGenericError), context_(xmlGenericErrorContext) {
        xmlSetGenericErrorFunc(nullptr, Ignore);
    }
    ~GenericErrorSilencer() { xmlSetGenericErrorFunc(context_, func_); }
    GenericErrorSilencer(const GenericErrorSilencer&) = delete;
    GenericErrorSilencer& operator=(const GenericErrorSilencer&) = delete;
    GenericErrorSilencer(GenericErrorSilencer&&) = delete;
    GenericErrorSilencer& operator=(GenericErrorSilencer&&) = delete;

  private:
    static void Ignore(void* /*ctx*/, const char* /*msg*/, ...) {}
    xmlGenericErrorFunc func_;
    void* context_;
};

struct ParseState {
    Limits limits;
    int maxDepth = 0;
    bool buildTree = true;
    std::size_t nodes = 0;
    int depth = 0;
    bool inText = false; // consecutive character events make one text node
    std::string refusal; // our own reason to stop
    Problem refusalKind = Problem::None;
    std::string firstError; // libxml2's first error, with its line
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

void Refuse(void* ctx, Problem kind, std::string reason) {
    ParseState& state = StateOf(ctx);
    if (state.refusal.empty()) {
        state.refusal = std::move(reason);
        state.refusalKind = kind;
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
               std::to_string(state.limits.maxNodes) + ")");
    return false;
}

void OnStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                    int nbNamespaces, const xmlChar** namespaces, int nbAttributes, int nbDefaulted,
                    const xmlChar** attributes) {
    ParseState& state = StateOf(ctx);
    state.inText = false;
    if (++state.depth > state.maxDepth) {
        Refuse(ctx, Problem::OverLimits,
               "il documento supera la profondità massima di annidamento (" +
                   std::to_string(state.maxDepth) + " livelli)");
        return;
    }
    if (CountNodes(ctx, 1 + static_cast<std::size_t>(nbNamespaces) +
                            static_cast<std::size_t>(nbAttributes)) &&
        state.buildTree) {
        state.startElementNs(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                             nbDefaulted, attributes);
    }
}

void OnEndElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri) {
    ParseState& state = StateOf(ctx);
    state.inText = false;
    --state.depth;
    if (state.buildTree) {
        state.endElementNs(ctx, localname, prefix, uri);
    }
}

void OnText(void* ctx, charactersSAXFunc handler, const xmlChar* text, int len) {
    ParseState& state = StateOf(ctx);
    if (!state.inText) {
        state.inText = true;
        if (!CountNodes(ctx, 1)) {
            return;
        }
    }
    if (state.buildTree) {
        handler(ctx, text, len);
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
    state.inText = false;
    if (CountNodes(ctx, 1) && state.buildTree) {
        state.cdataBlock(ctx, text, len);
    }
}
void OnComment(void* ctx, const xmlChar* text) {
    ParseState& state = StateOf(ctx);
    state.inText = false;
    if (CountNodes(ctx, 1) && state.buildTree) {
        state.comment(ctx, text);
    }
}
void OnProcessingInstruction(void* ctx, const xmlChar* target, const xmlChar* data) {
    ParseState& state = StateOf(ctx);
    state.inText = false;
    if (CountNodes(ctx, 1) && state.buildTree) {
        state.processingInstruction(ctx, target, data);
    }
}

// Second wall behind the DOCTYPE check: a declaration that got through stops the parser, and
// no entity is ever resolved from outside.
void OnInternalSubset(void* ctx, const xmlChar* /*name*/, const xmlChar* /*externalId*/,
                      const xmlChar* /*systemId*/) {
    Refuse(ctx, Problem::Doctype, "il documento contiene una DOCTYPE, non ammessa");
}
xmlParserInputPtr OnResolveEntity(void* ctx, const xmlChar* /*publicId*/, const xmlChar* systemId) {
    Refuse(ctx, Problem::Doctype,
           "il documento richiede una risorsa esterna, non ammessa: " +
               std::string(systemId != nullptr ? Chars(systemId) : ""));
    return nullptr;
}

void OnParserError(void* ctx, xmlErrorPtr error) {
    if (error == nullptr || error->level < XML_ERR_ERROR || ctx == nullptr) {
        return;
    }
    ParseState& state = StateOf(ctx);
    if (!state.firstError.empty()) {
        return;
    }
    state.firstError = "il documento non è XML ben formato (riga " + std::to_string(error->line) +
                       "): " + TrimXmlSpace(error->message != nullptr ? error->message : "");
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
/// checked and the result is null even on success (`error` stays empty).
DocPtr RunParser(std::string_view text, const Limits& limits, bool buildTree, std::string& error,
                 Problem& problem) {
    ParseState state;
    state.limits = limits;
    // libxml2 refuses deeper documents on its own (its limit is lifted only by the HUGE option,
    // never used): the smaller of the two applies, with our message.
    state.maxDepth =
        std::min(limits.maxDepth, static_cast<int>(std::min<unsigned>(xmlParserMaxDepth, INT_MAX)));
    state.buildTree = buildTree;
    const GenericErrorSilencer silencer;
    const ParserCtxtPtr ctxt(xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())));
    if (!ctxt || ctxt->sax == nullptr) {
        problem = Problem::NoMemory;
        error = "memoria insufficiente per analizzare il documento";
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
        problem = Problem::NoMemory;
        error = "analizzatore XML non configurato";
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

    if (!state.refusal.empty()) {
        problem = state.refusalKind;
        error = state.refusal;
        return nullptr;
    }
    // A namespace error (an undeclared prefix) leaves a tree whose names are not what the
    // text says: refused like any other well-formedness error.
    if (ctxt->wellFormed == 0 || ctxt->nsWellFormed == 0 || !doc ||
        (buildTree && xmlDocGetRootElement(doc.get()) == nullptr)) {
        problem = Problem::NotWellFormed;
        error = !state.firstError.empty() ? state.firstError : "il documento non è XML ben formato";
        return nullptr;
    }
    if (doc->intSubset != nullptr || doc->extSubset != nullptr) {
        problem = Problem::Doctype;
        error = "il documento contiene una DOCTYPE, non ammessa";
        return nullptr;
    }
    return buildTree ? std::move(doc) : nullptr;
}

DocPtr Parse(std::string_view text, const Limits& limits, std::string& error, Problem& problem) {
    // A text that may hold more nodes than allowed is counted first without building the tree,
    // so that refusing it costs no memory. Orders are far below the bound and parse once.
    if (text.size() >= limits.maxNodes && NodeUpperBound(text) > limits.maxNodes) {
        (void)RunParser(text, limits, false, error, problem);
        if (!error.empty()) {
            return nullptr;
        }
    }
    return RunParser(text, limits, true, error, problem);
}

// ---------------------------------------------------------------------------------------------
// XPath support

const char* XPathErrorText(int code) noexcept {
    switch (code) {
    case XML_XPATH_NUMBER_ERROR:
        return "numero non valido";
    case XML_XPATH_UNFINISHED_LITERAL_ERROR:
    case XML_XPATH_START_LITERAL_ERROR:
        return "stringa non chiusa";
    case XML_XPATH_VARIABLE_REF_ERROR:
    case XML_XPATH_UNDEF_VARIABLE_ERROR:
        return "variabile non definita";
    case XML_XPATH_INVALID_PREDICATE_ERROR:
        return "predicato non valido";
    case XML_XPATH_EXPR_ERROR:
        return "espressione non valida";
    case XML_XPATH_UNCLOSED_ERROR:
        return "parentesi non chiusa";
    case XML_XPATH_UNKNOWN_FUNC_ERROR:
        return "funzione sconosciuta";
    case XML_XPATH_INVALID_OPERAND:
    case XML_XPATH_INVALID_TYPE:
        return "operando di tipo non valido";
    case XML_XPATH_INVALID_ARITY:
        return "numero di argomenti errato";
    case XML_XPATH_MEMORY_ERROR:
        return "memoria insufficiente";
    case XML_XPATH_UNDEF_PREFIX_ERROR:
        return "prefisso di namespace non registrato";
    case XML_XPATH_ENCODING_ERROR:
    case XML_XPATH_INVALID_CHAR_ERROR:
        return "carattere non valido";
    default:
        return nullptr;
    }
}

/// Keeps the first XPath error of an evaluation as a short text with its position.
void OnXPathError(void* userData, xmlErrorPtr error) {
    auto* message = static_cast<std::string*>(userData);
    if (error == nullptr || !message->empty()) {
        return;
    }
    const char* text = XPathErrorText(error->code);
    *message = text != nullptr             ? std::string(text)
               : error->message != nullptr ? TrimXmlSpace(error->message)
                                           : "errore " + std::to_string(error->code);
    if (error->str1 != nullptr) {
        *message += " (posizione " + std::to_string(error->int1) + ")";
    }
}

/// Parses " xmlns:p='uri' xmlns:q=\"uri\"" into prefix/URI pairs; malformed entries are
/// skipped.
std::vector<std::pair<std::string, std::string>> ParseDeclarations(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> result;
    std::size_t pos = 0;
    const auto skipSpace = [&] {
        while (pos < text.size() && IsXmlSpace(text[pos])) {
            ++pos;
        }
    };
    const auto skipEntry = [&] {
        while (pos < text.size() && !IsXmlSpace(text[pos])) {
            ++pos;
        }
    };
    while (true) {
        skipSpace();
        if (pos >= text.size()) {
            break;
        }
        if (text.substr(pos, 6) != "xmlns:") {
            skipEntry();
            continue;
        }
        pos += 6;
        const std::size_t nameStart = pos;
        while (pos < text.size() && text[pos] != '=' && !IsXmlSpace(text[pos]) &&
               text[pos] != ':' && text[pos] != '\'' && text[pos] != '"') {
            ++pos;
        }
        std::string prefix(text.substr(nameStart, pos - nameStart));
        skipSpace();
        if (prefix.empty() || pos >= text.size() || text[pos] != '=') {
            skipEntry();
            continue;
        }
        ++pos;
        skipSpace();
        if (pos >= text.size() || (text[pos] != '\'' && text[pos] != '"')) {
            skipEntry();
            continue;
        }
        const char quote = text[pos++];
        const std::size_t close = text.find(quote, pos);
        if (close == std::string_view::npos) {
            break;
        }
        result.emplace_back(std::move(prefix), std::string(text.substr(pos, close - pos)));
        pos = close + 1;
    }
    return result;
}

/// Lets the expression cache be searched with a string_view.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        return std::hash<std::string_view>{}(text);
    }
};

std::string QualifiedNameOf(const xmlChar* prefix, const xmlChar* name) {
    std::string result;
    if (prefix != nullptr) {
        result = Chars(prefix);
        result += ':';
    }
    result += name != nullptr ? Chars(name) : "";
    return result;
}

std::string QualifiedName(const xmlChar* name, const xmlNs* ns) {
    std::string result;
    if (ns != nullptr && ns->prefix != nullptr) {
        result = Chars(ns->prefix);
        result += ':';
    }
    result += name != nullptr ? Chars(name) : "";
    return result;
}

} // namespace

std::string TrimXmlSpace(std::string_view text) {
    const auto first = std::find_if_not(text.begin(), text.end(), IsXmlSpace);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), IsXmlSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

namespace {

/// Compiled expressions no thread is using, for the threads to come. libxml2 writes into a
/// compiled expression while evaluating it (it remembers the functions it looked up), so an
/// expression is used by one thread at a time: each thread keeps the ones it has taken, and
/// gives them back here when it ends.
class IdleExpressions {
  public:
    /// The process's pool; never destroyed, so that threads ending late can still give back.
    static IdleExpressions& Instance() {
        static auto* const pool = new IdleExpressions;
        return *pool;
    }

    /// An idle compiled form of the expression, or null.
    CompExprPtr Take(std::string_view expression) {
        const std::lock_guard lock(mutex_);
        const auto found = idle_.find(expression);
        if (found == idle_.end() || found->second.empty()) {
            return nullptr;
        }
        CompExprPtr comp = std::move(found->second.back());
        found->second.pop_back();
        --count_;
        return comp;
    }

    void GiveBack(std::string expression, CompExprPtr comp) {
        const std::lock_guard lock(mutex_);
        if (count_ >= kMaxCachedExpressions) {
            return; // freed by the caller's pointer
        }
        idle_[std::move(expression)].push_back(std::move(comp));
        ++count_;
    }

  private:
    IdleExpressions() = default;
    std::mutex mutex_;
    std::unordered_map<std::string, std::vector<CompExprPtr>, StringHash, std::equal_to<>> idle_;
    std::size_t count_ = 0;
};

/// A relative path of prefixed child steps, "cac:LineItem/cac:Item/cbc:Name": what the staging
/// writer asks for most. Its nodes are found by walking the children, which gives them in
/// document order as XPath does, without libxml2's evaluation machinery.
struct ChildPath {
    struct Step {
        std::string prefix;
        std::string localName;
    };
    std::vector<Step> steps;
};

bool IsNameStart(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(char c) noexcept {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

/// Reads an ASCII NCName at `pos`; empty when there is none.
std::string_view ReadNcName(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    if (pos < text.size() && IsNameStart(text[pos])) {
        ++pos;
        while (pos < text.size() && IsNameChar(text[pos])) {
            ++pos;
        }
    }
    return text.substr(start, pos - start);
}

/// The steps of an expression written exactly as prefix:name('/'prefix:name)*, with nothing
/// else (no blanks, axes, predicates or functions); nullopt for any other expression.
std::optional<ChildPath> ParseChildPath(std::string_view expression) {
    ChildPath path;
    std::size_t pos = 0;
    while (true) {
        const std::string_view prefix = ReadNcName(expression, pos);
        if (prefix.empty() || pos >= expression.size() || expression[pos] != ':') {
            return std::nullopt;
        }
        ++pos;
        const std::string_view name = ReadNcName(expression, pos);
        if (name.empty()) {
            return std::nullopt;
        }
        path.steps.push_back({std::string(prefix), std::string(name)});
        if (pos == expression.size()) {
            return path;
        }
        if (expression[pos] != '/') {
            return std::nullopt;
        }
        ++pos;
    }
}

/// The compiled expressions of this thread, by text: an expression is compiled once and
/// evaluated against any document, whose own prefix bindings resolve its names.
class ThreadExpressions {
  public:
    ThreadExpressions() = default;
    ThreadExpressions(const ThreadExpressions&) = delete;
    ThreadExpressions& operator=(const ThreadExpressions&) = delete;
    ThreadExpressions(ThreadExpressions&&) = delete;
    ThreadExpressions& operator=(ThreadExpressions&&) = delete;
    ~ThreadExpressions() {
        for (auto& [expression, comp] : owned_) {
            IdleExpressions::Instance().GiveBack(expression, std::move(comp));
        }
    }

    /// The compiled form of an expression. Throws VbError when it does not compile.
    xmlXPathCompExpr* Compile(std::string_view expression) {
        if (const auto found = owned_.find(expression); found != owned_.end()) {
            return found->second.get();
        }
        std::string key(expression);
        CompExprPtr comp = IdleExpressions::Instance().Take(key);
        if (!comp) {
            if (!context_) {
                context_.reset(xmlXPathNewContext(nullptr));
                if (!context_) {
                    throw VbError(kXPathErrorNumber,
                                  "Espressione XPath \"" + key + "\": memoria insufficiente");
                }
                context_->error = OnXPathError;
            }
            std::string error;
            context_->userData = &error;
            const GenericErrorSilencer silencer;
            comp.reset(
                xmlXPathCtxtCompile(context_.get(), reinterpret_cast<const xmlChar*>(key.c_str())));
            context_->userData = nullptr;
            if (!comp) {
                throw VbError(kXPathErrorNumber,
                              "Espressione XPath non valida \"" + key +
                                  "\": " + (error.empty() ? "errore di sintassi" : error));
            }
        }
        if (owned_.size() >= kMaxCachedExpressions) {
            owned_.clear(); // no caller keeps a compiled expression between calls
        }
        return owned_.emplace(std::move(key), std::move(comp)).first->second.get();
    }

    /// The expression as a path of child steps, or null when it is any other expression.
    const ChildPath* PathOf(std::string_view expression) {
        auto found = paths_.find(expression);
        if (found == paths_.end()) {
            if (paths_.size() >= kMaxCachedExpressions) {
                paths_.clear();
            }
            found = paths_.emplace(std::string(expression), ParseChildPath(expression)).first;
        }
        return found->second ? &*found->second : nullptr;
    }

  private:
    XPathContextPtr context_; ///< for compiling only: no document, no prefixes
    std::unordered_map<std::string, CompExprPtr, StringHash, std::equal_to<>> owned_;
    std::unordered_map<std::string, std::optional<ChildPath>, StringHash, std::equal_to<>> paths_;
};

thread_local ThreadExpressions tExpressions;

} // namespace

struct Document::Impl {
    DocPtr doc;
    XPathContextPtr xpath;
    std::string xpathError; // filled by libxml2 through the context's error handler

    /// Walks a child path from `node`, calling `found` for each node it selects in document
    /// order until `found` returns false. False, with nothing found, when a prefix of the path
    /// has no binding: libxml2 then evaluates the expression and reports the error.
    template <class Found> bool Walk(xmlNodePtr node, const ChildPath& path, Found&& found) const {
        std::array<const xmlChar*, 16> uris{};
        if (path.steps.size() > uris.size()) {
            return false;
        }
        for (std::size_t i = 0; i < path.steps.size(); ++i) {
            uris[i] = xmlXPathNsLookup(
                xpath.get(), reinterpret_cast<const xmlChar*>(path.steps[i].prefix.c_str()));
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
        const auto* name = reinterpret_cast<const xmlChar*>(path.steps[step].localName.c_str());
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
        xmlXPathCompExpr* comp = tExpressions.Compile(expression);
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

// ---------------------------------------------------------------------------------------------
// Document

Document::Document(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Document::~Document() = default;

std::string_view DeclaredEncoding(std::string_view text) {
    if (text.substr(0, 5) != "<?xml" || text.size() < 6 || !IsXmlSpace(text[5])) {
        return {};
    }
    const std::size_t end = text.find("?>");
    const std::string_view decl = text.substr(0, end);
    std::size_t pos = decl.find("encoding");
    if (pos == std::string_view::npos) {
        return {};
    }
    pos += 8;
    while (pos < decl.size() && IsXmlSpace(decl[pos])) {
        ++pos;
    }
    if (pos >= decl.size() || decl[pos] != '=') {
        return {};
    }
    ++pos;
    while (pos < decl.size() && IsXmlSpace(decl[pos])) {
        ++pos;
    }
    if (pos >= decl.size() || (decl[pos] != '"' && decl[pos] != '\'')) {
        return {};
    }
    const char quote = decl[pos++];
    const std::size_t close = decl.find(quote, pos);
    if (close == std::string_view::npos) {
        return {};
    }
    return decl.substr(pos, close - pos);
}

std::unique_ptr<Document> Document::Load(std::string_view text, std::string& error,
                                         const Limits& limits) {
    Problem problem = Problem::None;
    return Load(text, problem, error, limits);
}

std::unique_ptr<Document> Document::Load(std::string_view text, Problem& problem,
                                         std::string& error, const Limits& limits) {
    error.clear();
    if (std::string reason = CheckRawText(text, limits, problem); !reason.empty()) {
        error = std::move(reason);
        return nullptr;
    }
    InitialiseLibrary();
    DocPtr doc = Parse(text, limits, error, problem);
    if (!doc) {
        return nullptr;
    }
    // Numbers the elements so that XPath sorts node sets without walking the tree.
    xmlXPathOrderDocElems(doc.get());

    auto impl = std::make_unique<Impl>();
    impl->xpath.reset(xmlXPathNewContext(doc.get()));
    if (!impl->xpath) {
        problem = Problem::NoMemory;
        error = "memoria insufficiente per analizzare il documento";
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
    xmlXPathRegisteredNsCleanup(ctx);
    for (const auto& [prefix, uri] : ParseDeclarations(declarations)) {
        xmlXPathRegisterNs(ctx, reinterpret_cast<const xmlChar*>(prefix.c_str()),
                           reinterpret_cast<const xmlChar*>(uri.c_str()));
    }
}

Node Document::Root() const noexcept {
    return Node(reinterpret_cast<xmlNodePtr>(impl_->doc.get()), this);
}

// ---------------------------------------------------------------------------------------------
// Node

namespace {

void RequireNode(const xmlNode* node) {
    if (node == nullptr) {
        ThrowObjectNotSet();
    }
}

} // namespace

bool Node::IsElement() const noexcept {
    return node_ != nullptr && node_->type == XML_ELEMENT_NODE;
}

std::string Node::LocalName() const {
    RequireNode(node_);
    switch (node_->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_PI_NODE:
        return Chars(node_->name);
    default:
        return {};
    }
}

std::string Node::Name() const {
    RequireNode(node_);
    switch (node_->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
        return QualifiedName(node_->name, node_->ns);
    case XML_PI_NODE:
        return Chars(node_->name);
    case XML_TEXT_NODE:
        return "#text";
    case XML_CDATA_SECTION_NODE:
        return "#cdata-section";
    case XML_COMMENT_NODE:
        return "#comment";
    case XML_DOCUMENT_NODE:
        return "#document";
    default:
        return {};
    }
}

std::string Node::Text() const {
    RequireNode(node_);
    return TakeString(xmlNodeGetContent(node_));
}

std::vector<Node> Node::ChildNodes() const {
    RequireNode(node_);
    std::vector<Node> result;
    for (xmlNodePtr child = node_->children; child != nullptr; child = child->next) {
        result.push_back(Node(child, document_));
    }
    return result;
}

Node Node::FirstChild() const {
    RequireNode(node_);
    return node_->children != nullptr ? Node(node_->children, document_) : Node();
}

Node Node::NextSibling() const {
    RequireNode(node_);
    return node_->next != nullptr ? Node(node_->next, document_) : Node();
}

bool Node::HasLocalName(std::string_view name) const {
    RequireNode(node_);
    switch (node_->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_PI_NODE:
        return name == Chars(node_->name);
    default:
        return name.empty();
    }
}

std::vector<Attribute> Node::Attributes() const {
    RequireNode(node_);
    std::vector<Attribute> result;
    if (node_->type != XML_ELEMENT_NODE) {
        return result;
    }
    for (const xmlNs* ns = node_->nsDef; ns != nullptr; ns = ns->next) {
        std::string name = "xmlns";
        if (ns->prefix != nullptr) {
            name += ':';
            name += Chars(ns->prefix);
        }
        result.push_back({std::move(name), ns->href != nullptr ? Chars(ns->href) : ""});
    }
    for (xmlAttrPtr attr = node_->properties; attr != nullptr; attr = attr->next) {
        result.push_back({QualifiedName(attr->name, attr->ns),
                          TakeString(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attr)))});
    }
    return result;
}

std::vector<Attribute> Node::AttributesNamedLike(std::string_view part) const {
    RequireNode(node_);
    std::vector<Attribute> result;
    if (node_->type != XML_ELEMENT_NODE) {
        return result;
    }
    // A qualified name holds `part` in its prefix or in its local name, never across the colon
    // (a part with a colon is looked for in the whole name).
    const auto holds = [part](const xmlChar* prefix, const xmlChar* name) {
        if (part.find(':') != std::string_view::npos) {
            return QualifiedNameOf(prefix, name).find(part) != std::string::npos;
        }
        return (prefix != nullptr &&
                std::string_view(Chars(prefix)).find(part) != std::string_view::npos) ||
               (name != nullptr &&
                std::string_view(Chars(name)).find(part) != std::string_view::npos);
    };
    static const xmlChar* const kXmlns = reinterpret_cast<const xmlChar*>("xmlns");
    for (const xmlNs* ns = node_->nsDef; ns != nullptr; ns = ns->next) {
        const bool named =
            ns->prefix != nullptr ? holds(kXmlns, ns->prefix) : holds(nullptr, kXmlns);
        if (named) {
            std::string name = "xmlns";
            if (ns->prefix != nullptr) {
                name += ':';
                name += Chars(ns->prefix);
            }
            result.push_back({std::move(name), ns->href != nullptr ? Chars(ns->href) : ""});
        }
    }
    for (xmlAttrPtr attr = node_->properties; attr != nullptr; attr = attr->next) {
        if (holds(attr->ns != nullptr ? attr->ns->prefix : nullptr, attr->name)) {
            result.push_back({QualifiedName(attr->name, attr->ns),
                              TakeString(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attr)))});
        }
    }
    return result;
}

namespace {

/// The nodes of an XPath result; namespace nodes are copies that die with the result, so an
/// expression selecting them is refused.
const xmlNodeSet* NodeSetOf(const xmlXPathObject& result, std::string_view expression) {
    const xmlNodeSet* set = result.nodesetval;
    if (set == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < set->nodeNr; ++i) {
        if (set->nodeTab[i]->type == XML_NAMESPACE_DECL) {
            throw VbError(kXPathErrorNumber, "L'espressione XPath \"" + std::string(expression) +
                                                 "\" seleziona nodi di namespace, non gestiti");
        }
    }
    return set;
}

} // namespace

Node Node::SelectSingleNode(std::string_view xpath) const {
    RequireNode(node_);
    if (const ChildPath* path = tExpressions.PathOf(xpath)) {
        xmlNodePtr first = nullptr;
        if (document_->impl_->Walk(node_, *path, [&](xmlNodePtr found) {
                first = found;
                return false;
            })) {
            return first != nullptr ? Node(first, document_) : Node();
        }
    }
    const XPathObjectPtr result = document_->impl_->Evaluate(node_, xpath);
    const xmlNodeSet* set = NodeSetOf(*result, xpath);
    if (set == nullptr || set->nodeNr == 0) {
        return {};
    }
    return {set->nodeTab[0], document_};
}

std::vector<Node> Node::SelectNodes(std::string_view xpath) const {
    RequireNode(node_);
    if (const ChildPath* path = tExpressions.PathOf(xpath)) {
        std::vector<Node> nodes;
        if (document_->impl_->Walk(node_, *path, [&](xmlNodePtr found) {
                nodes.push_back(Node(found, document_));
                return true;
            })) {
            return nodes;
        }
    }
    const XPathObjectPtr result = document_->impl_->Evaluate(node_, xpath);
    std::vector<Node> nodes;
    if (const xmlNodeSet* set = NodeSetOf(*result, xpath); set != nullptr) {
        nodes.reserve(static_cast<std::size_t>(set->nodeNr));
        for (int i = 0; i < set->nodeNr; ++i) {
            nodes.push_back(Node(set->nodeTab[i], document_));
        }
    }
    return nodes;
}

} // namespace kvad::xml
