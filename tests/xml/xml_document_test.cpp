#include "xml/xml_document.h"

#include "kvad_nso/errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "support/expect_error.h"
#include "support/test_env.h"

namespace {

using kvad::VbError;
using kvad::xml::Attribute;
using kvad::xml::Document;
using kvad::xml::Limits;
using kvad::xml::Node;
using kvad::xml::ParseFailure;
using kvad::xml::PathSet;
using kvad::xml::Problem;

/// `root` and every node beneath it, in document order.
std::vector<Node> NodesUnder(const Node& root) {
    std::vector<Node> nodes;
    const std::function<void(const Node&)> collect = [&](const Node& node) {
        nodes.push_back(node);
        for (Node child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
            collect(child);
        }
    };
    collect(root);
    return nodes;
}

const std::string kOrderNs = "urn:oasis:names:specification:ubl:schema:xsd:Order-2";
const std::string kCacNs =
    "urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2";
const std::string kCbcNs = "urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2";

const std::string kOrder = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- ordine di prova -->
<Order versione="1" xmlns=")" +
                           kOrderNs + R"(" xmlns:cac=")" + kCacNs + R"(" xmlns:cbc=")" + kCbcNs +
                           R"(">
  <cbc:ID>42</cbc:ID>
  <cac:BuyerCustomerParty><cac:Party>
    <cbc:EndpointID schemeID="0201">UFB4TN</cbc:EndpointID>
    <cac:PartyName><cbc:Name>Comune di <![CDATA[Borgo & C.]]></cbc:Name></cac:PartyName>
  </cac:Party></cac:BuyerCustomerParty>
  <cac:OrderLine><cac:LineItem><cbc:ID>1</cbc:ID>
    <cac:Price><cac:AllowanceCharge><cbc:Amount>1.00</cbc:Amount></cac:AllowanceCharge></cac:Price>
    <cac:Item><cbc:Name>Penne</cbc:Name></cac:Item></cac:LineItem></cac:OrderLine>
  <cac:OrderLine><cac:LineItem><cbc:ID>2</cbc:ID>
    <cac:AllowanceCharge><cbc:Amount>2.00</cbc:Amount></cac:AllowanceCharge>
    <cac:Item><cbc:Name>Matite</cbc:Name></cac:Item></cac:LineItem></cac:OrderLine>
</Order>
)";

std::unique_ptr<Document> LoadOk(std::string_view text, const Limits& limits = {}) {
    std::string error = "stale";
    auto doc = Document::Load(text, error, limits);
    EXPECT_TRUE(doc) << error;
    EXPECT_EQ(error, "");
    return doc;
}

std::string Refusal(std::string_view text, const Limits& limits = {}) {
    std::string error;
    const auto doc = Document::Load(text, error, limits);
    EXPECT_FALSE(doc);
    return error;
}

/// Checks that the text is refused with the reason among the words of its error.
void ExpectRefused(std::string_view text, const std::string& reason, const Limits& limits = {}) {
    const std::string error = Refusal(text, limits);
    EXPECT_NE(error.find(reason), std::string::npos) << error;
}

/// The example order in a business-document envelope, with prefixes of its own.
std::unique_ptr<Document> LoadEnvelope() {
    return LoadOk(kvad::test::ReadSourceFile("examples/inbox/IT01234567890/ORD-2024-0005.xml"));
}

/// The first descendant with that local name, searching each child's subtree before the child:
/// the search FirstDescendantChildrenFirst stands for, written as a recursion.
Node FindFirst(const Node& node, std::string_view localName) {
    for (const Node& child : node.ChildNodes()) {
        if (Node found = FindFirst(child, localName); !found.IsNull()) {
            return found;
        }
        if (child.LocalName() == localName) {
            return child;
        }
    }
    return {};
}

/// " xmlns:p='uri' ..." from an element's declarations, a default namespace as locNS<n>.
std::string Declarations(const Node& element) {
    std::string result;
    int counter = 0;
    for (const Attribute& a : element.Attributes()) {
        if (a.name.rfind("xmlns", 0) == 0) {
            const std::string name =
                a.name == "xmlns" ? "xmlns:locNS" + std::to_string(counter++) : a.name;
            result += " " + name + "='" + a.value + "'";
        }
    }
    return result;
}

std::vector<std::string> Names(const std::vector<Attribute>& attributes) {
    std::vector<std::string> names;
    names.reserve(attributes.size());
    for (const Attribute& a : attributes) {
        names.push_back(a.name);
    }
    return names;
}

TEST(XmlDocument, ListsDeclarationsFirstThenAttributesInDocumentOrder) {
    const auto doc = LoadOk(kOrder);
    const Node order = FindFirst(doc->Root(), "Order");
    const std::vector<Attribute> attributes = order.Attributes();
    EXPECT_EQ(Names(attributes),
              (std::vector<std::string>{"xmlns", "xmlns:cac", "xmlns:cbc", "versione"}));
    EXPECT_EQ(attributes[0].value, kOrderNs);
    EXPECT_EQ(attributes[2].value, kCbcNs);
    EXPECT_EQ(attributes[3].value, "1");
    const Node endpoint = FindFirst(order, "EndpointID");
    ASSERT_EQ(endpoint.Attributes().size(), 1U);
    EXPECT_EQ(endpoint.Attributes()[0].name, "schemeID");
    // An Order in a business-document envelope, under prefixes of its own (its default
    // namespace is cbc's): its declarations name the paths to what it holds.
    const auto wrapped = LoadEnvelope();
    const Node inner = FindFirst(wrapped->Root(), "Order");
    EXPECT_EQ(inner.Name(), "ns4:Order");
    EXPECT_EQ(Names(inner.Attributes()),
              (std::vector<std::string>{"xmlns", "xmlns:ns2", "xmlns:ns3", "xmlns:ns4"}));
    EXPECT_EQ(inner.Attributes()[0].value, kCbcNs);
    wrapped->SetSelectionNamespaces(Declarations(inner));
    EXPECT_EQ(inner.SelectNodes("ns2:OrderLine")
                  .at(1)
                  .SelectSingleNode("ns2:LineItem/ns2:Item/locNS0:Name")
                  .Text(),
              "SIRINGHE MONOUSO 5 ML LUER LOCK CON AGO 22G CONF. 100");
}

TEST(XmlDocument, ExposesNodeKindsNamesAndText) {
    const auto doc = LoadOk(kOrder);
    const std::vector<Node> top = doc->Root().ChildNodes();
    ASSERT_EQ(top.size(), 2U);
    EXPECT_FALSE(top[0].IsElement());
    EXPECT_EQ(top[0].LocalName(), "");
    EXPECT_EQ(top[1].LocalName(), "Order");
    EXPECT_TRUE(top[1].HasAttributeCollection());
    const std::vector<Node> children = top[1].ChildNodes();
    ASSERT_GE(children.size(), 2U);
    EXPECT_EQ(children[0].LocalName(), ""); // the line break before cbc:ID
    EXPECT_TRUE(children[0].Attributes().empty());
    EXPECT_EQ(children[1].Name(), "cbc:ID");
    EXPECT_EQ(children[1].LocalName(), "ID");
    EXPECT_EQ(children[1].Text(), "42");
    EXPECT_EQ(FindFirst(top[1], "PartyName").Text(), "Comune di Borgo & C.");
    const Node null;
    EXPECT_TRUE(null.IsNull());
    EXPECT_FALSE(null.HasAttributeCollection());
    EXPECT_THROW((void)null.LocalName(), VbError);
    EXPECT_THROW((void)null.SelectNodes("*"), VbError);
    // Children walked one by one, without lists, by their names.
    const auto walked = LoadOk("<r>t<a/><!--c--><b/></r>");
    const Node root = walked->Root().FirstChild();
    std::vector<std::string> names;
    for (Node child = root.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
        names.push_back(child.Name());
        EXPECT_TRUE(child.HasLocalName(child.LocalName()));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"#text", "a", "#comment", "b"}));
    EXPECT_FALSE(root.HasLocalName("R"));
    EXPECT_TRUE(root.FirstChild().NextSibling().FirstChild().IsNull());
}

// An element's text is every text below it in document order, whatever holds it: one text, one
// CDATA section, several pieces, children, or nothing.
TEST(XmlDocument, TextJoinsEveryPieceBelowTheElement) {
    const auto doc = LoadOk("<r><a>one</a><b><![CDATA[<two>]]></b><c>x<![CDATA[y]]>z</c>"
                            "<d>1<e>2<f>3</f></e>4</d><g/><h>&amp;&lt;</h><i><!--n-->k</i></r>");
    const Node root = FindFirst(doc->Root(), "r");
    std::vector<std::string> texts;
    for (Node child = root.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
        texts.push_back(child.Text());
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"one", "<two>", "xyz", "1234", "", "&<", "k"}));
    EXPECT_EQ(root.Text(), "one<two>xyz1234&<k");
}

TEST(XmlDocumentXPath, RegisteredPrefixesSelectRelativePathsInDocumentOrder) {
    const auto doc = LoadOk(kOrder);
    const Node order = FindFirst(doc->Root(), "Order");
    doc->SetSelectionNamespaces(Declarations(order));
    const std::vector<Node> lines = order.SelectNodes("cac:OrderLine");
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0].SelectSingleNode("cac:LineItem/cac:Item/cbc:Name").Text(), "Penne");
    EXPECT_EQ(lines[1].SelectSingleNode("cac:LineItem/cac:Item/cbc:Name").Text(), "Matite");
    EXPECT_TRUE(lines[0].SelectSingleNode("cac:LineItem/cac:AllowanceCharge").IsNull());
    EXPECT_TRUE(order.SelectSingleNode("cbc:Missing").IsNull());
    EXPECT_EQ(lines[1].SelectSingleNode("/locNS0:Order"), order);
    const Node scheme =
        order.SelectSingleNode("cac:BuyerCustomerParty/cac:Party/cbc:EndpointID/@schemeID");
    EXPECT_EQ(scheme.LocalName(), "schemeID");
    EXPECT_EQ(scheme.Text(), "0201");
}

TEST(XmlDocumentXPath, LocalNameFormFindsDescendantsWithoutPrefixes) {
    const auto doc = LoadOk(kOrder);
    const Node order = FindFirst(doc->Root(), "Order");
    const std::vector<Node> allowances = order.SelectNodes(".//*[local-name()='AllowanceCharge']");
    ASSERT_EQ(allowances.size(), 2U);
    EXPECT_EQ(allowances[0].Text(), "1.00");
    EXPECT_EQ(allowances[1].Text(), "2.00");
    const Node line = order.SelectNodes(".//*[local-name()='OrderLine']").at(1);
    EXPECT_EQ(line.SelectSingleNode(".//*[local-name()='Name']").Text(), "Matite");
}

TEST(XmlDocumentXPath, BadExpressionsAndPrefixesThrowVbError) {
    const auto doc = LoadOk(kOrder);
    const Node order = FindFirst(doc->Root(), "Order");
    EXPECT_THROW((void)order.SelectNodes("cac:OrderLine"), VbError); // nothing registered yet
    // Malformed entries are skipped, the valid ones registered.
    doc->SetSelectionNamespaces(" bogus xmlns:='u' xmlns:cac=\"" + kCacNs + "\" xmlns:cbc");
    EXPECT_EQ(order.SelectNodes("cac:OrderLine").size(), 2U);
    EXPECT_THROW((void)order.SelectNodes("cbc:ID"), VbError);
    for (const char* bad :
         {"cac:OrderLine[", "count(cac:OrderLine)", "nofunction()", "namespace::*", ""}) {
        SCOPED_TRACE(bad);
        if (const auto e =
                kvad::test::ThrownBy<VbError>([&] { (void)order.SelectSingleNode(bad); })) {
            EXPECT_NE(std::string(e->what()).find("XPath"), std::string::npos) << e->what();
        }
    }
    doc->SetSelectionNamespaces(" xmlns:x='urn:x'"); // replaces the earlier bindings
    EXPECT_THROW((void)order.SelectNodes("cac:OrderLine"), VbError);
    doc->SetSelectionNamespaces(" xmlns:cac='urn:x'"); // the same prefix, another namespace
    EXPECT_TRUE(order.SelectNodes("cac:OrderLine").empty());
}

TEST(XmlDocumentXPath, OneCompiledExpressionServesEveryDocumentWithItsOwnPrefixes) {
    // The same expression text, compiled once, resolves "p" through each document's own
    // bindings, also on threads of their own.
    const auto find = [](const std::string& uri, const std::string& bound) {
        const auto doc = LoadOk("<r xmlns:a='urn:a' xmlns:b='urn:b'><a:x>in a</a:x><b:x>in b</b:x>"
                                "<x>in none</x></r>");
        if (!bound.empty()) {
            doc->SetSelectionNamespaces(" xmlns:p='" + uri + "'");
        }
        const Node root = doc->Root().FirstChild();
        return root.SelectSingleNode("p:x").Text() + "|" +
               root.SelectSingleNode("*[local-name()='x'][2]").Text();
    };
    EXPECT_EQ(find("urn:a", "yes"), "in a|in b");
    EXPECT_EQ(find("urn:b", "yes"), "in b|in b");
    EXPECT_THROW((void)find("", ""), VbError) << "p is bound in neither document";
    std::vector<std::string> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                seen[t] = find(t % 2 == 0 ? "urn:a" : "urn:b", "yes");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"in a|in b", "in b|in b", "in a|in b", "in b|in b"}));
}

TEST(XmlDocumentXPath, ChildPathsAndTheirFirstAttributeSelectWhatTheGeneralEvaluationSelects) {
    // "a:b/c:d" and "(a:b/c:d)[1]/@name" are walked directly; written "a:b / c:d" and with
    // "attribute::" they go through libxml2's evaluation: both must select the same nodes from
    // every node.
    const auto doc = LoadEnvelope();
    doc->SetSelectionNamespaces(" xmlns:cac='" + kCacNs + "' xmlns:cbc='" + kCbcNs + "' xmlns:o='" +
                                kOrderNs + "' xmlns:none='urn:none'");
    const std::vector<std::string> paths = {"cac:OrderLine",
                                            "cac:LineItem/cac:Item/cbc:Name",
                                            "cbc:ID",
                                            "o:Order/cbc:ID",
                                            "cac:LineItem/cac:AllowanceCharge/cbc:Amount",
                                            "cac:Party/cac:PartyName/cbc:Name",
                                            "none:Order",
                                            "cbc:Name/cbc:ID",
                                            "xml:lang"};
    const std::vector<std::pair<std::string, std::string>> forms = {
        {"cac:LineItem/cbc:Quantity", "unitCode"},
        {"cac:LineItem/cac:Price/cbc:PriceAmount", "currencyID"},
        {"cbc:LineExtensionAmount", "currencyID"},
        {"cac:OrderLine/cac:LineItem/cbc:LineExtensionAmount", "currencyID"},
        {"cbc:ID", "schemeID"},
        {"cbc:ID", "missing"},
        {"none:Order", "currencyID"}};
    std::size_t selected = 0;
    std::size_t found = 0;
    for (const Node& node : NodesUnder(doc->Root())) {
        for (const std::string& path : paths) {
            std::string spaced = " " + path;
            for (std::size_t at = spaced.find('/'); at != std::string::npos;
                 at = spaced.find('/', at + 3)) {
                spaced.replace(at, 1, " / ");
            }
            const std::vector<Node> walked = node.SelectNodes(path);
            EXPECT_EQ(walked, node.SelectNodes(spaced)) << path << " from " << node.Name();
            EXPECT_EQ(node.SelectSingleNode(path), walked.empty() ? Node() : walked.front())
                << path;
            selected += walked.size();
        }
        for (const auto& form : forms) {
            const std::string first = "(" + form.first + ")[1]/";
            const Node walked = node.SelectSingleNode(first + "@" + form.second);
            EXPECT_EQ(walked, node.SelectSingleNode(first + "attribute::" + form.second))
                << first << form.second;
            found += walked.IsNull() ? 0 : 1;
        }
    }
    EXPECT_GT(selected, 20U);
    EXPECT_GT(found, 5U);
}

TEST(XmlDocumentXPath, PathsSelectedTogetherAreWhatEachSelectsOnItsOwn) {
    const auto doc = LoadEnvelope();
    // "same" is bound to the namespace "cbc" names: its steps are other steps of the set.
    doc->SetSelectionNamespaces(" xmlns:cac='" + kCacNs + "' xmlns:cbc='" + kCbcNs +
                                "' xmlns:same='" + kCbcNs + "'");
    const PathSet set({"cbc:ID", "cac:LineItem/cbc:ID", "(cac:LineItem/cbc:Quantity)[1]/@unitCode",
                       "cac:LineItem/cbc:Quantity", "cac:LineItem/cac:Price/cbc:PriceAmount",
                       "(cac:LineItem/cac:Price/cbc:PriceAmount)[1]/@currencyID",
                       "(cbc:ID)[1]/@missing", "same:ID", "cbc:ID", "cbc:Note[2]",
                       "cac:OrderLine/cac:LineItem/cac:Item/cbc:Name", "cac:Missing/cbc:ID",
                       "(cac:LineItem/cac:Item/cbc:Name)[1]/@languageID"});
    std::size_t found = 0;
    for (const Node& node : NodesUnder(doc->Root())) {
        const std::vector<Node> together = node.SelectFirstOfEach(set);
        ASSERT_EQ(together.size(), set.Paths().size());
        for (std::size_t i = 0; i < together.size(); ++i) {
            EXPECT_EQ(together[i], node.SelectSingleNode(set.Paths()[i]))
                << set.Paths()[i] << " from " << node.Name();
            found += together[i].IsNull() ? 0 : 1;
        }
    }
    EXPECT_GT(found, 20U);
    // A prefix without a binding is reported as each path on its own reports it.
    EXPECT_THROW((void)doc->Root().SelectFirstOfEach(PathSet({"cbc:ID", "unbound:ID"})), VbError);
}

TEST(XmlDocumentXPath, PathsSelectedTogetherTellNamespacesByTheirUri) {
    // urn:one is met first through the root's declaration; then a:x is in urn:two under the
    // same prefix, and c:x in urn:one again through a declaration of its own.
    const auto doc = LoadOk("<r xmlns:a='urn:one'><a:y/>"
                            "<a:x xmlns:a='urn:two'><a:id>2</a:id></a:x>"
                            "<c:x xmlns:c='urn:one'><c:id>3</c:id></c:x></r>");
    doc->SetSelectionNamespaces("xmlns:p='urn:one' xmlns:q='urn:two'");
    const Node r = doc->Root().FirstChild();
    const PathSet set({"p:y", "p:x/p:id", "q:x/q:id", "p:none"});
    const std::vector<Node> together = r.SelectFirstOfEach(set);
    ASSERT_EQ(together.size(), 4U);
    EXPECT_FALSE(together[0].IsNull());
    EXPECT_EQ(together[1].Text(), "3");
    EXPECT_EQ(together[2].Text(), "2");
    EXPECT_TRUE(together[3].IsNull());
    for (std::size_t i = 0; i < together.size(); ++i) {
        EXPECT_EQ(together[i], r.SelectSingleNode(set.Paths()[i])) << set.Paths()[i];
    }
}

TEST(XmlDocumentXPath, AttributeNameWithoutPrefixSelectsOnlyOneInNoNamespace) {
    const auto mixed = LoadOk("<p:r xmlns:p='urn:p' xmlns:q='urn:q'><p:a q:unit='x'/>"
                              "<p:a unit='y'/></p:r>");
    mixed->SetSelectionNamespaces(" xmlns:p='urn:p' xmlns:q='urn:q'");
    const Node top = mixed->Root();
    EXPECT_TRUE(top.SelectSingleNode("(p:r/p:a)[1]/@unit").IsNull());
    EXPECT_EQ(top.SelectSingleNode("(p:r/p:a)[1]/@q:unit").Text(), "x");
    EXPECT_EQ(top.SelectSingleNode("(p:r/p:a)[2]/@unit").Text(), "y");
}

TEST(XmlDocument, DescendantsAreSearchedBeforeTheirParentAsARecursionWould) {
    // Same names nested and in sibling branches, text, comments, instructions and CDATA; from
    // every node, every name, and the empty name (a text's).
    const auto doc =
        LoadOk("<o><x id='1'><y><x id='2'/>t</y><x id='3'><x id='4'/></x></x><!--x--><?x p?>"
               "<z><![CDATA[x]]><y/><x id='5'>&amp;</x></z><w><v><u><x id='6'/></u></v></w></o>");
    const std::vector<std::string> names = {"x", "y", "z", "u", "p", "missing", "o", ""};
    int compared = 0;
    for (const Node& from : NodesUnder(doc->Root())) {
        for (const std::string& name : names) {
            const Node expected = FindFirst(from, name);
            EXPECT_TRUE(from.FirstDescendantChildrenFirst(name) == expected)
                << "from " << from.Name() << ", name '" << name << "'";
            ++compared;
        }
    }
    EXPECT_GT(compared, 100);
    const Node order = doc->Root().FirstChild();
    EXPECT_EQ(doc->Root().FirstDescendantChildrenFirst("o"), order);
    EXPECT_EQ(order.FirstDescendantChildrenFirst("x").Attributes().at(0).value, "2");
    EXPECT_TRUE(order.FirstDescendantChildrenFirst("o").IsNull())
        << "the node itself is not searched";
}

TEST(XmlDocument, AttributesNamedLikeFilterTheFullList) {
    const auto doc = LoadOk("<r xmlns='urn:d' xmlns:xmlnsish='urn:x' xmlns:p='urn:p' "
                            "myxmlns='v' p:xmlns2='w' schemeID='0201' xmlnsish:a='z'><c/></r>");
    const Node root = doc->Root().FirstChild();
    for (const std::string part : {"xmlns", "mlns:", "s:x", "ID", "a", "none"}) {
        SCOPED_TRACE(part);
        std::vector<std::string> expected;
        for (const Attribute& attribute : root.Attributes()) {
            if (attribute.name.find(part) != std::string::npos) {
                expected.push_back(attribute.name + "=" + attribute.value);
            }
        }
        std::vector<std::string> named;
        for (const Attribute& attribute : root.AttributesNamedLike(part)) {
            named.push_back(attribute.name + "=" + attribute.value);
        }
        EXPECT_EQ(named, expected);
    }
    EXPECT_EQ(root.AttributesNamedLike("xmlns").size(), 6U);
    EXPECT_TRUE(root.FirstChild().AttributesNamedLike("xmlns").empty());
}

TEST(XmlDocument, PrintsNothingOnErrors) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Refusal("<o>\n<p></o>").empty());
    const auto doc = LoadOk(kOrder);
    EXPECT_THROW((void)doc->Root().SelectNodes("nofunction()"), VbError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(XmlDocument, AcceptsBomAndDoctypeLookalikesOutsideTheProlog) {
    LoadOk("\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?><o>caff\xC3\xA8</o>");
    // Text is text whatever its declaration says: the bytes it was read from are gone.
    auto doc = LoadOk("<?xml version='1.0' encoding='ISO-8859-1'?><o>caff\xC3\xA8</o>");
    EXPECT_EQ(doc->Root().ChildNodes().back().Text(), "caff\xC3\xA8");
    doc = LoadOk("<o><!-- <!DOCTYPE o> --><![CDATA[<!DOCTYPE o>]]></o>");
    EXPECT_EQ(doc->Root().ChildNodes().at(0).Text(), "<!DOCTYPE o>");
}

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string s;
    s.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        s += piece;
    }
    return s;
}

TEST(XmlDocumentHostile, EachInputIsRefusedWithItsReason) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY l0 \"ha\">";
    for (int i = 1; i <= 9; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" +
                  Repeat("&l" + std::to_string(i - 1) + ";", 10) + "\">";
    }
    laughs += "]><l>&l9;</l>";
    const std::string quadratic = "<!DOCTYPE q [<!ENTITY a \"" + Repeat("x", 100'000) + "\">]><q>" +
                                  Repeat("&a;", 5'000) + "</q>";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<!DOCTYPE o [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><o>&x;</o>", "DOCTYPE"},
        {"<!DOCTYPE o [<!ENTITY x SYSTEM \"http://127.0.0.1:9/x\">]><o>&x;</o>", "DOCTYPE"},
        {"<!DOCTYPE o [<!ENTITY % p SYSTEM \"http://127.0.0.1:9/p\"> %p;]><o/>", "DOCTYPE"},
        {"<?xml version='1.0'?>\n<!-- c -->\n<?pi x?>\n<!DOCTYPE o SYSTEM \"o.dtd\"><o/>",
         "DOCTYPE"},
        {laughs, "DOCTYPE"},
        {quadratic, "DOCTYPE"},
        {"<!doctype o><o/>", "non è XML ben formato"},
        {Repeat("<a>", 10'000) + Repeat("</a>", 10'000), "profondità massima"},
        {"<o>\n<p>caff\xE8</p></o>", "UTF-8 non valida alla riga 2"},
        {"<o>\x80</o>", "UTF-8 non valida"},
        {"<o>\xC0\xAF</o>", "UTF-8 non valida"},     // overlong '/'
        {"<o>\xED\xA0\x80</o>", "UTF-8 non valida"}, // surrogate
        {"<o>\xF4\x90\x80\x80</o>", "UTF-8 non valida"},
        {"<o>\xE2\x82</o>", "UTF-8 non valida"},
        {std::string("\xFF\xFE<\0o\0/\0>\0", 10), "UTF-16"},
        {std::string("\xFE\xFF\0<\0o\0/\0>", 10), "UTF-16"},
        {std::string("<\0o\0/\0>\0", 8), "byte nulli"},
        // Bytes of another encoding that were never turned into text name it.
        {"<?xml version='1.0' encoding='ISO-8859-1'?><o>caff\xE8</o>",
         "codifica 'ISO-8859-1', che non è stato possibile leggere"},
        {"<o>\n<p></o>", "non è XML ben formato (riga 2)"},
        {"<o><cbc:ID/></o>", "non è XML ben formato"},
        {"<o/>coda", "non è XML ben formato"},
        {"<?xml version='1.0'?><!-- solo commento -->", "non è XML ben formato"},
        {"", "vuoto"},
        {" \n\t", "vuoto"},
        {"\xEF\xBB\xBF", "vuoto"},
    };
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(text.substr(0, 60));
        ExpectRefused(text, reason);
    }
}

TEST(XmlDocumentHostile, EachRefusalHasItsPlainAccountWithLineAndCause) {
    // The user's words are all English, with libxml2's own message and the line it names.
    const std::vector<std::tuple<std::string, Problem, std::size_t, std::string>> cases = {
        {"<o>\n<p></o>", Problem::NotWellFormed, 2,
         "it is not well-formed XML (line 2: Opening and ending tag mismatch: p line 2 and o)"},
        {"<o>\n\n<p>caff\xE8</p></o>", Problem::Encoding, 3,
         "it is not UTF-8 text (line 3: bytes that are not UTF-8 at byte 13)"},
        {"<?xml version='1.0' encoding='ISO-8859-1'?><o>caff\xE8</o>", Problem::Encoding, 1,
         "it is not UTF-8 text (line 1: bytes that are not UTF-8 at byte 51 in text that "
         "declares the encoding \"ISO-8859-1\")"},
        {"<!DOCTYPE o SYSTEM \"o.dtd\"><o/>", Problem::Doctype, 0,
         "it is not a plain XML document (a DOCTYPE)"},
        {"<a>\n" + Repeat("<a>", 300), Problem::OverLimits, 2,
         "it has more elements or deeper nesting than an order can have (line 2: more than "
         "256 levels of nesting)"},
        {" \n", Problem::Empty, 0, "it is empty"},
    };
    for (const auto& [text, problem, line, plain] : cases) {
        SCOPED_TRACE(text.substr(0, 60));
        ParseFailure failure;
        EXPECT_EQ(Document::Load(text, failure), nullptr);
        EXPECT_EQ(failure.problem, problem);
        EXPECT_EQ(failure.line, line);
        EXPECT_EQ(failure.Plain(), plain);
        EXPECT_FALSE(failure.text.empty()) << "the component's own account stays";
    }
    ParseFailure failure{Problem::NotWellFormed, "x", 1, "y"};
    EXPECT_NE(Document::Load("<o/>", failure), nullptr);
    EXPECT_EQ(failure.problem, Problem::None) << "a load that succeeds clears the last failure";
    EXPECT_EQ(failure.Plain(), "");
}

TEST(XmlDocumentHostile, SizeIsCappedBeforeParsing) {
    std::string huge(std::size_t{100} * 1024U * 1024U, ' ');
    huge.replace(0, 3, "<a>");
    ExpectRefused(huge, "dimensione massima");
    const std::string small = "<o>12345</o>";
    Limits limits;
    limits.maxBytes = small.size();
    LoadOk(small, limits);
    limits.maxBytes = small.size() - 1;
    ExpectRefused(small, "dimensione massima", limits);
}

TEST(XmlDocumentHostile, NodeAndDepthCapsCountEveryNodeKind) {
    // 3 million elements fit the default size cap and are stopped by the node count.
    const std::string many = "<a>" + Repeat("<b/>", 3'000'000) + "</a>";
    ExpectRefused(many, "numero massimo di nodi (2000000)");
    // Element, declaration, attribute, one text node across a reference, comment, CDATA, child.
    const std::string seven = "<a xmlns:p='u' x='1'>t&amp;t<!--c--><![CDATA[d]]><b/></a>";
    Limits limits;
    limits.maxNodes = 7;
    LoadOk(seven, limits);
    limits.maxNodes = 6;
    ExpectRefused(seven, "numero massimo di nodi (6)", limits);
    limits = Limits{};
    limits.maxDepth = 3;
    LoadOk("<a><b><c/></b></a>", limits);
    ExpectRefused("<a><b><c><d/></c></b></a>", "profondità massima", limits);
}

// What each UBL document the tests read must give: the number of its order lines, 0 for a
// document that is not an Order. The project's own documents, then the public samples.
const std::map<std::string, std::size_t> kOrderLines{
    {"free_text_and_free_goods.xml", 3},
    {"order_cancellation_document.xml", 0},
    {"order_response_document.xml", 0},
    {"rounding_five_decimals.xml", 2},
    {"ORD-2024-0001.xml", 4},
    {"ORD-2024-0002.xml", 4},
    {"ORD-2024-0003.xml", 4},
    {"ORD-2024-0004.xml", 1},
    {"ORD-2024-0005.xml", 2}, // in a business-document envelope
    {"ORD-2024-0006.xml", 2},
    {"ORD-2024-0101.xml", 2},
    {"ORD-2024-0102.xml", 4},
    {"ORD-2024-0103.xml", 1},
    {"Caso d'uso 1 - Ordine di fornitura con articoli numerati.xml", 3},
    {"Caso d'uso 2 - Ordine di fornitura di articoli in testo libero.xml", 2},
    {"Caso d'uso 4 - Ordine di fornitura complesso.xml", 2},
    {"Esempio Ordine Revisionato a Budget.xml", 1},
    {"Esempio Ordine di Acquisto con Arrotondamento.xml", 1},
    {"Esempio Ordine di Acquisto con Omaggio.xml", 2},
    {"Esempio Ordine di Consegna Cancellato senza Righe.xml", 1},
    {"Esempio Ordine di Consegna con Gestione Codice GTIN.xml", 1},
    {"Esempio Ordine pre-concordato iniziale.xml", 0},
    {"OrderCancellation_Example.xml", 0},
    {"Order_Example.xml", 2},
    {"UC4_Order.xml", 1},
};
constexpr std::size_t kOwnDocuments = 13;

TEST(UblDocuments, EachLoadsAndItsOrderWithItsLinesIsFound) {
    std::size_t seen = 0;
    for (const auto& path : kvad::test::UblDocuments()) {
        const std::string name = path.filename().string();
        SCOPED_TRACE(name);
        const auto expected = kOrderLines.find(name);
        ASSERT_NE(expected, kOrderLines.end()) << "a document without its expected result";
        ++seen;
        const auto doc = LoadOk(kvad::test::ReadSourceFile(path.string()));
        ASSERT_TRUE(doc);
        const Node order = FindFirst(doc->Root(), "Order");
        EXPECT_EQ(order, doc->Root().SelectSingleNode("//*[local-name()='Order']"));
        if (expected->second == 0) {
            EXPECT_TRUE(order.IsNull()) << "not an Order";
            continue;
        }
        ASSERT_FALSE(order.IsNull());
        doc->SetSelectionNamespaces(Declarations(order));
        EXPECT_FALSE(order.SelectSingleNode("*[local-name()='ID']").Text().empty());
        EXPECT_EQ(order.SelectNodes("*[local-name()='OrderLine']").size(), expected->second);
    }
    EXPECT_EQ(seen, kvad::test::SharedSamplesDir().empty() ? kOwnDocuments : kOrderLines.size());
}

/// Child steps by local name, so that one path fits every prefix style.
std::string Path(std::string_view names) {
    std::string path;
    std::size_t start = 0;
    while (start <= names.size()) {
        const std::size_t end = std::min(names.find('/', start), names.size());
        path += (path.empty() ? "" : "/") + std::string("*[local-name()='") +
                std::string(names.substr(start, end - start)) + "']";
        start = end + 1;
    }
    return path;
}

std::string Value(const Node& node, std::string_view names) {
    const Node found = node.SelectSingleNode(Path(names));
    return found.IsNull() ? "" : found.Text();
}

double Amount(const Node& node, std::string_view names) {
    const std::string text = Value(node, names);
    return text.empty() ? 0.0 : std::stod(text);
}

/// The sum the allowances and charges under `node` add: a charge counts up, an allowance down.
double Charges(const Node& node) {
    double sum = 0.0;
    for (const Node& ac : node.SelectNodes(Path("AllowanceCharge"))) {
        sum += (Value(ac, "ChargeIndicator") == "true" ? 1 : -1) * Amount(ac, "Amount");
    }
    return sum;
}

TEST(Examples, OrdersAddUpAndRevisionsPointAtTheirOrders) {
    const std::filesystem::path dir = KVAD_SOURCE_DIR "/examples/inbox/IT01234567890";
    std::map<std::string, std::string> references; // ID#IssueDate#buyer endpoint -> file
    std::map<std::string, std::string> referenced; // OrderDocumentReference -> file
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().filename().string());
        const auto doc = LoadOk(kvad::test::ReadSourceFile(entry.path().string()));
        ASSERT_TRUE(doc);
        const Node order = FindFirst(doc->Root(), "Order");
        ASSERT_FALSE(order.IsNull());
        EXPECT_EQ(Value(order, "CustomizationID"),
                  "urn:fdc:peppol.eu:poacc:trns:order:3:"
                  "restrictive:urn:www.agid.gov.it:trns:ordine:3.1");
        const std::string endpoint = Value(order, "BuyerCustomerParty/Party/EndpointID");
        EXPECT_EQ(endpoint.size(), 6U);
        const std::string vat = Value(order, "BuyerCustomerParty/Party/PartyTaxScheme/CompanyID");
        EXPECT_TRUE(vat.size() == 13 && vat.rfind("IT", 0) == 0) << vat;
        references[Value(order, "ID") + "#" + Value(order, "IssueDate") + "#" + endpoint] =
            entry.path().filename().string();
        const std::string ref = Value(order, "OrderDocumentReference/ID");
        if (!ref.empty()) {
            referenced[ref] = entry.path().filename().string();
        }
        if (ref.ends_with("#Cancelled")) { // one line NA, quantity 0, item NA
            const std::vector<Node> only = order.SelectNodes(Path("OrderLine/LineItem"));
            ASSERT_EQ(only.size(), 1U);
            EXPECT_EQ(Value(only[0], "ID") + Value(only[0], "Quantity") +
                          Value(only[0], "Item/Name"),
                      "NA0NA");
        }
        double lines = 0.0;
        double rate = 0.0;
        for (const Node& line : order.SelectNodes(Path("OrderLine/LineItem"))) {
            const double expected =
                Amount(line, "Quantity") * Amount(line, "Price/PriceAmount") + Charges(line);
            EXPECT_NEAR(Amount(line, "LineExtensionAmount"), expected, 0.005);
            lines += expected;
            rate = Amount(line, "Item/ClassifiedTaxCategory/Percent");
        }
        const double net = lines + Charges(order);
        const double tax = std::round(net * rate) / 100.0;
        EXPECT_NEAR(Amount(order, "AnticipatedMonetaryTotal/LineExtensionAmount"), lines, 0.005);
        EXPECT_NEAR(Amount(order, "AnticipatedMonetaryTotal/TaxExclusiveAmount"), net, 0.005);
        EXPECT_NEAR(Amount(order, "TaxTotal/TaxAmount"), tax, 0.005);
        EXPECT_NEAR(Amount(order, "AnticipatedMonetaryTotal/PayableAmount"), net + tax, 0.005);
    }
    ASSERT_EQ(referenced.size(), 2U);
    for (const auto& [ref, file] : referenced) {
        SCOPED_TRACE(file);
        const std::size_t type = ref.rfind('#');
        EXPECT_EQ(references.count(ref.substr(0, type)), 1U) << ref;
        const std::string kind = ref.substr(type + 1);
        EXPECT_TRUE(kind == "Revised" || kind == "Cancelled") << ref;
    }
}

} // namespace
