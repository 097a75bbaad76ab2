#pragma once
// A small DOM with XPath 1.0 over libxml2, hardened for documents that come from outside: no
// DOCTYPE, no entity substitution, no network or file access, capped size, node count and depth.
// libxml2 stays behind this header.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _xmlNode; // NOLINT(bugprone-reserved-identifier): libxml2's own node type

namespace kvad::xml {

class Document;
class Node;

/// Relative XPath expressions selected together from many nodes (Node::SelectFirstOfEach):
/// their common steps are worked out once, when the set is made.
class PathSet {
  public:
    explicit PathSet(std::vector<std::string> paths);
    [[nodiscard]] const std::vector<std::string>& Paths() const noexcept { return paths_; }

    /// The paths' steps as a tree (defined beside the walk that reads it).
    struct Tree;

  private:
    friend class Node;
    std::vector<std::string> paths_;
    std::shared_ptr<const Tree> tree_;
};

/// The text without the XML white space (blank, tab, CR, LF) around it, as a value reads once the
/// indentation around it is gone.
[[nodiscard]] std::string TrimXmlSpace(std::string_view text);

/// The encoding the XML declaration at the start of `text` names ("" when there is none).
[[nodiscard]] std::string_view DeclaredEncoding(std::string_view text);

/// Limits applied while parsing.
struct Limits {
    std::size_t maxBytes =
        std::size_t{16} * 1024 * 1024; ///< larger input is refused before parsing
    std::size_t maxNodes = 2'000'000;  ///< elements, attributes and text nodes
    int maxDepth = 256;                ///< element nesting
};

/// Why a text was refused.
enum class Problem {
    None,
    Empty,         ///< nothing but white space
    TooLarge,      ///< larger than Limits::maxBytes
    Encoding,      ///< not UTF-8 text (bytes in another encoding that were never turned into text)
    Doctype,       ///< a document type declaration or an external resource
    OverLimits,    ///< more nodes or deeper nesting than the limits allow
    NotWellFormed, ///< not well-formed XML
    NoMemory,      ///< the parser could not be set up
};

/// Why a text was refused, told twice: the component's own text, and the parts a message in
/// another language is made of.
struct ParseFailure {
    Problem problem = Problem::None;
    std::string text;     ///< the component's own account, as Document::Load's `error` gives it
    std::size_t line = 0; ///< the line the problem was met on; 0 when it is not about a line
    /// In English: libxml2's own message for text that is not well-formed, else what was met
    /// ("a DOCTYPE", "more than 256 levels of nesting", "a null byte", ...).
    std::string cause;

    /// Why the text was refused, in plain English for a user, with the line and the cause:
    /// "it is not well-formed XML (line 1: Start tag expected, '<' not found)".
    [[nodiscard]] std::string Plain() const;
};

/// An attribute of an element as the DOM lists it: the namespace declarations first (named
/// "xmlns" or "xmlns:prefix", value the URI), then the ordinary attributes, each in document
/// order.
struct Attribute {
    std::string name;
    std::string value;
};

/// A node of a loaded document. Valid while its Document lives.
class Node {
  public:
    Node() = default;

    [[nodiscard]] bool IsNull() const noexcept { return node_ == nullptr; }
    [[nodiscard]] bool IsElement() const noexcept;
    /// The name without prefix; empty for text, comment and document nodes.
    [[nodiscard]] std::string LocalName() const;
    /// The qualified name as written ("cbc:ID").
    [[nodiscard]] std::string Name() const;
    /// The text content (all descendant text, concatenated).
    [[nodiscard]] std::string Text() const;
    /// Child nodes of every kind, in document order.
    [[nodiscard]] std::vector<Node> ChildNodes() const;
    /// The first child node of any kind, or a null Node; with NextSibling, the children
    /// without building a list.
    [[nodiscard]] Node FirstChild() const;
    /// The next node with the same parent, or a null Node.
    [[nodiscard]] Node NextSibling() const;
    /// True when LocalName() would be `name`, without building the name.
    [[nodiscard]] bool HasLocalName(std::string_view name) const;
    /// The first node under this one, following FirstChild and NextSibling, whose local name is
    /// `name`, where each child's own descendants are looked at before the child itself (the
    /// deepest match of the first branch that has one); a null Node when none has it.
    [[nodiscard]] Node FirstDescendantChildrenFirst(std::string_view name) const;
    /// True for elements (they have an attribute collection, possibly empty).
    [[nodiscard]] bool HasAttributeCollection() const noexcept { return IsElement(); }
    [[nodiscard]] std::vector<Attribute> Attributes() const;
    /// The attributes of Attributes() whose name contains `part`, in the same order; the others
    /// are not read.
    [[nodiscard]] std::vector<Attribute> AttributesNamedLike(std::string_view part) const;

    /// The first node selected by a relative XPath 1.0 expression, or a null Node. Prefixes
    /// are those registered on the document. Throws VbError for an invalid expression.
    [[nodiscard]] Node SelectSingleNode(std::string_view xpath) const;
    /// Every node selected, in document order. Throws VbError for an invalid expression.
    [[nodiscard]] std::vector<Node> SelectNodes(std::string_view xpath) const;
    /// For each path of the set, the node SelectSingleNode(path) selects (a null Node when
    /// none), in the set's order. Paths of prefixed child steps, with or without "(...)[1]/@name"
    /// around them, are found together in one walk of the children; any other expression is
    /// evaluated on its own.
    [[nodiscard]] std::vector<Node> SelectFirstOfEach(const PathSet& paths) const;

    friend bool operator==(const Node& a, const Node& b) noexcept { return a.node_ == b.node_; }

  private:
    friend class Document;
    Node(_xmlNode* node, const Document* document) noexcept : node_(node), document_(document) {}
    _xmlNode* node_ = nullptr;
    const Document* document_ = nullptr;
};

/// A parsed document.
class Document {
  public:
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    Document(Document&&) = delete;
    Document& operator=(Document&&) = delete;
    ~Document();

    /// Parses text, which is UTF-8 whatever its XML declaration says. Returns nullptr, with the
    /// reason in `error`, for text that is not well-formed or is refused (DOCTYPE, not UTF-8,
    /// over a limit).
    [[nodiscard]] static std::unique_ptr<Document> Load(std::string_view text, std::string& error,
                                                        const Limits& limits = {});
    /// The same, telling what refused the text in `failure`.
    [[nodiscard]] static std::unique_ptr<Document>
    Load(std::string_view text, ParseFailure& failure, const Limits& limits = {});

    /// 4 once the document is completely loaded.
    [[nodiscard]] int ReadyState() const noexcept { return 4; }
    /// Registers prefix bindings for XPath from declarations of the form
    /// " xmlns:cac='urn:...' xmlns:locNS0='urn:...'" (invalid entries are ignored).
    void SetSelectionNamespaces(std::string_view declarations);
    /// The document node (its children are the top-level nodes).
    [[nodiscard]] Node Root() const noexcept;

  private:
    friend class Node;
    struct Impl;
    explicit Document(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace kvad::xml
