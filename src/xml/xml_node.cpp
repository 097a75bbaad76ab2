// The nodes of a loaded document: names, text, children, attributes and XPath selections.
#include "xml/xml_document.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document_impl.h"
#include "libxml_handles.h"
#include "xpath_expressions.h"

namespace kvad::xml {

namespace {

void RequireNode(const xmlNode* node) {
    if (node == nullptr) {
        ThrowObjectNotSet();
    }
}

// A namespace declaration as the attribute that makes it: xmlns or xmlns:prefix.
Attribute DeclarationAttribute(const xmlNs& ns) {
    std::string name = "xmlns";
    if (ns.prefix != nullptr) {
        name += ':';
        name += Chars(ns.prefix);
    }
    return {std::move(name), ns.href != nullptr ? Chars(ns.href) : ""};
}

// An attribute with its qualified name and its text.
Attribute AttributeOf(xmlAttrPtr attr) {
    return {QualifiedNameOf(attr->ns != nullptr ? attr->ns->prefix : nullptr, attr->name),
            TakeString(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attr)))};
}

/// "(path)[1]/@name", the form the staging writer reads an element's attribute with: the path
/// and the attribute's name (one without a prefix), or nothing for any other expression.
std::optional<std::pair<std::string_view, std::string_view>>
FirstAttributeForm(std::string_view xpath) {
    constexpr std::string_view kFirst = ")[1]/@";
    if (xpath.size() < 2 || xpath.front() != '(') {
        return std::nullopt;
    }
    const std::size_t at = xpath.find(kFirst);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view name = xpath.substr(at + kFirst.size());
    const auto nameChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '.';
    };
    if (name.empty() || (name.front() >= '0' && name.front() <= '9') || name.front() == '-' ||
        name.front() == '.' || !std::all_of(name.begin(), name.end(), nameChar)) {
        return std::nullopt;
    }
    return std::pair{xpath.substr(1, at - 1), name};
}

/// The attribute of `element` (null or an element) with that local name and no namespace.
xmlNodePtr AttributeInNoNamespace(xmlNodePtr element, std::string_view name) {
    for (xmlAttrPtr attr = element != nullptr ? element->properties : nullptr; attr != nullptr;
         attr = attr->next) {
        if (attr->ns == nullptr && std::string_view(Chars(attr->name)) == name) {
            return reinterpret_cast<xmlNodePtr>(attr);
        }
    }
    return nullptr;
}

/// A walk's callback that keeps the first node found and stops.
auto KeepFirst(xmlNodePtr& first) {
    return [&first](xmlNodePtr found) {
        first = found;
        return false;
    };
}

} // namespace

struct PathSet::Tree {
    /// One step of one or more paths: the children it leads to, the paths that select its
    /// elements, and the paths that take an attribute of its first element.
    struct Step {
        ChildPath::Step name;
        std::vector<std::size_t> next;
        std::vector<std::size_t> elements;
        std::vector<std::pair<std::size_t, std::string>> attributes;
    };
    std::vector<Step> steps{Step{}};    // the first is the node the walk starts from
    std::vector<std::size_t> evaluated; // paths that are no walk: selected one by one
    std::size_t walked = 0;             // paths found by the walk

    /// The step after `from` named `name`, made when it is not there yet.
    std::size_t StepAfter(std::size_t from, const ChildPath::Step& name) {
        for (const std::size_t i : steps[from].next) {
            if (steps[i].name.prefix == name.prefix && steps[i].name.localName == name.localName) {
                return i;
            }
        }
        steps.push_back(Step{name, {}, {}, {}});
        steps[from].next.push_back(steps.size() - 1);
        return steps.size() - 1;
    }

    /// The last step of `path`, its steps added from the start.
    std::size_t Add(const ChildPath& path) {
        std::size_t at = 0;
        for (const ChildPath::Step& step : path.steps) {
            at = StepAfter(at, step);
        }
        return at;
    }
};

PathSet::PathSet(std::vector<std::string> paths) : paths_(std::move(paths)) {
    auto tree = std::make_shared<Tree>();
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        const std::string_view path = paths_[i];
        const ChildPath* steps = nullptr;
        const auto form = FirstAttributeForm(path);
        if (form) {
            steps = ChildPathOf(form->first);
        } else {
            steps = ChildPathOf(path);
        }
        if (steps == nullptr || steps->steps.empty()) {
            tree->evaluated.push_back(i);
            continue;
        }
        const std::size_t last = tree->Add(*steps);
        if (form) {
            tree->steps[last].attributes.emplace_back(i, std::string(form->second));
        } else {
            tree->steps[last].elements.push_back(i);
        }
        ++tree->walked;
    }
    tree_ = std::move(tree);
}

namespace {

// One walk of a path set from a node: what each path selected, and how many are still open.
struct SetWalk {
    const PathSet::Tree& tree;
    const std::vector<const xmlChar*>& uris; // by step
    std::vector<xmlNodePtr>& found;
    std::vector<char>& done;
    std::size_t open;
    // Namespace URIs found equal, by their pointers: a document's elements share the few
    // namespace declarations of its root, and comparing the same long URIs again for every
    // element met cost more than the rest of the walk.
    static constexpr std::size_t kKnownPairs = 4;
    std::array<std::pair<const xmlChar*, const xmlChar*>, kKnownPairs> equal{};
    std::size_t nextEqual = 0;

    bool SameUri(const xmlChar* href, const xmlChar* uri) {
        if (href == uri) {
            return true;
        }
        for (const auto& [a, b] : equal) {
            if (a == href && b == uri) {
                return true;
            }
        }
        if (xmlStrEqual(href, uri) == 0) {
            return false;
        }
        equal[nextEqual] = {href, uri};
        nextEqual = (nextEqual + 1) % kKnownPairs;
        return true;
    }

    void Settle(std::size_t path, xmlNodePtr node) {
        found[path] = node;
        done[path] = 1;
        --open;
    }

    // Settles the paths that end at `element`, the first element of step `at` met.
    void Meet(xmlNodePtr element, const PathSet::Tree::Step& at) {
        for (const std::size_t path : at.elements) {
            if (done[path] == 0) {
                Settle(path, element);
            }
        }
        for (const auto& [path, name] : at.attributes) {
            if (done[path] == 0) {
                Settle(path, AttributeInNoNamespace(element, name));
            }
        }
    }

    // Walks the children of `node` that the steps after `from` name, in document order, and
    // stops once every path is settled: the first element a path meets is the first XPath
    // selects.
    void From(xmlNodePtr node, std::size_t from) {
        const std::vector<std::size_t>& next = tree.steps[from].next;
        for (xmlNodePtr child = node->children; child != nullptr && open > 0; child = child->next) {
            if (child->type != XML_ELEMENT_NODE || child->ns == nullptr) {
                continue;
            }
            for (const std::size_t i : next) {
                const PathSet::Tree::Step& step = tree.steps[i];
                // Compared here, first character first: most children are another step's, and
                // a call into libxml2 for each pair cost more than the comparison.
                const char* name = step.name.localName.c_str();
                const char* childName = Chars(child->name);
                if (childName[0] != name[0] || std::strcmp(childName, name) != 0 ||
                    !SameUri(child->ns->href, uris[i])) {
                    continue;
                }
                Meet(child, step);
                if (!step.next.empty() && open > 0) {
                    From(child, i);
                }
            }
        }
    }
};

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
        return QualifiedNameOf(node_->ns != nullptr ? node_->ns->prefix : nullptr, node_->name);
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
    // An element holding one text (the leaves a loader reads, thousands an order): its content
    // as it stands, without libxml2's buffer and copy.
    const xmlNode* only = node_->children;
    if (node_->type == XML_ELEMENT_NODE && only != nullptr && only->next == nullptr &&
        (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE) &&
        only->content != nullptr) {
        return Chars(only->content);
    }
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

namespace {

/// Node::HasLocalName of a node that is there.
bool HasLocalNameOf(const xmlNode* node, std::string_view name) {
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_PI_NODE:
        return name == Chars(node->name);
    default:
        return name.empty();
    }
}

} // namespace

bool Node::HasLocalName(std::string_view name) const {
    RequireNode(node_);
    return HasLocalNameOf(node_, name);
}

Node Node::FirstDescendantChildrenFirst(std::string_view name) const {
    RequireNode(node_);
    // The walk a recursion over FirstChild and NextSibling makes, without a call per node: per
    // level, the child being looked at and whether its descendants have been.
    struct Level {
        xmlNode* child;
        bool descendantsSeen;
    };
    constexpr std::size_t kUsualDepth = 32;
    std::vector<Level> levels;
    levels.reserve(kUsualDepth);
    levels.push_back({node_->children, false});
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.child == nullptr) {
            levels.pop_back();
            if (!levels.empty()) {
                levels.back().descendantsSeen = true;
            }
            continue;
        }
        if (!level.descendantsSeen) {
            xmlNode* first = level.child->children;
            levels.push_back({first, false}); // `level` is not used after this
            continue;
        }
        if (HasLocalNameOf(level.child, name)) {
            return {level.child, document_};
        }
        level.child = level.child->next;
        level.descendantsSeen = false;
    }
    return {};
}

std::vector<Attribute> Node::Attributes() const {
    RequireNode(node_);
    std::vector<Attribute> result;
    if (node_->type != XML_ELEMENT_NODE) {
        return result;
    }
    for (const xmlNs* ns = node_->nsDef; ns != nullptr; ns = ns->next) {
        result.push_back(DeclarationAttribute(*ns));
    }
    for (xmlAttrPtr attr = node_->properties; attr != nullptr; attr = attr->next) {
        result.push_back(AttributeOf(attr));
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
            result.push_back(DeclarationAttribute(*ns));
        }
    }
    for (xmlAttrPtr attr = node_->properties; attr != nullptr; attr = attr->next) {
        if (holds(attr->ns != nullptr ? attr->ns->prefix : nullptr, attr->name)) {
            result.push_back(AttributeOf(attr));
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
    if (const auto form = FirstAttributeForm(xpath)) {
        // The first element the child path selects, then its attribute of that name in no
        // namespace: what the general evaluation selects, without it.
        if (const ChildPath* path = ChildPathOf(form->first)) {
            xmlNodePtr first = nullptr;
            if (document_->impl_->Walk(node_, *path, KeepFirst(first))) {
                xmlNodePtr attr = AttributeInNoNamespace(first, form->second);
                return attr != nullptr ? Node(attr, document_) : Node();
            }
        }
    }
    if (const ChildPath* path = ChildPathOf(xpath)) {
        xmlNodePtr first = nullptr;
        if (document_->impl_->Walk(node_, *path, KeepFirst(first))) {
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

std::vector<Node> Node::SelectFirstOfEach(const PathSet& paths) const {
    const std::vector<std::string>& texts = paths.Paths();
    std::vector<Node> nodes(texts.size());
    if (texts.empty()) {
        return nodes;
    }
    RequireNode(node_);
    const PathSet::Tree& tree = *paths.tree_;
    std::vector<const xmlChar*> uris(tree.steps.size(), nullptr);
    bool bound = true;
    for (std::size_t i = 1; i < tree.steps.size() && bound; ++i) {
        uris[i] = document_->impl_->UriOf(tree.steps[i].name.prefix);
        bound = uris[i] != nullptr;
    }
    if (!bound) {
        // A prefix without a binding: each path on its own, which reports the error.
        for (std::size_t i = 0; i < texts.size(); ++i) {
            nodes[i] = SelectSingleNode(texts[i]);
        }
        return nodes;
    }
    std::vector<xmlNodePtr> found(texts.size(), nullptr);
    std::vector<char> done(texts.size(), 0);
    SetWalk walk{tree, uris, found, done, tree.walked};
    walk.From(node_, 0);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (found[i] != nullptr) {
            nodes[i] = Node(found[i], document_);
        }
    }
    for (const std::size_t i : tree.evaluated) {
        nodes[i] = SelectSingleNode(texts[i]);
    }
    return nodes;
}

std::vector<Node> Node::SelectNodes(std::string_view xpath) const {
    RequireNode(node_);
    if (const ChildPath* path = ChildPathOf(xpath)) {
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
