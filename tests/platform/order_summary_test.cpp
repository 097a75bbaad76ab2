#include "order_summary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvad_nso/date_time.h"
#include "ubl_elements.h"
#include "xml/xml_document.h"

namespace kvad::platform {
namespace {

std::string TrimmedText(const xml::Node& node) {
    return node.IsNull() ? std::string() : xml::TrimXmlSpace(node.Text());
}

/// The summary read from the loaded tree, as the listing read it before it scanned the text.
std::optional<OrderSummary> SummaryFromTree(std::string_view text) {
    std::string error;
    const auto document = xml::Document::Load(WithoutUtf8Mark(text), error);
    if (!document) {
        return std::nullopt;
    }
    const xml::Node order = BusinessElement(*document);
    if (order.IsNull() || order.LocalName() != "Order") {
        return std::nullopt;
    }
    OrderSummary summary;
    summary.number = TrimmedText(Child(order, "ID"));
    const auto date = DateTime::ParseIso(TrimmedText(Child(order, "IssueDate")));
    summary.issueDate = date && date->IsValid() ? date->ToIsoDate() : "";
    summary.endpointId = TrimmedText(Path(order, {"BuyerCustomerParty", "Party", "EndpointID"}));
    return summary;
}

/// The pieces one after the other.
std::string Joined(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (const auto piece : pieces) {
        text.append(piece);
    }
    return text;
}

void ExpectSameAsTree(const std::string& text) {
    const auto scanned = ReadOrderSummary(text);
    const auto fromTree = SummaryFromTree(text);
    ASSERT_EQ(scanned.has_value(), fromTree.has_value()) << text.substr(0, 300);
    if (scanned) {
        EXPECT_EQ(scanned->number, fromTree->number) << text.substr(0, 300);
        EXPECT_EQ(scanned->issueDate, fromTree->issueDate) << text.substr(0, 300);
        EXPECT_EQ(scanned->endpointId, fromTree->endpointId) << text.substr(0, 300);
    }
}

constexpr const char* kHeader =
    "<Order xmlns='urn:o' xmlns:cbc='urn:b' xmlns:cac='urn:a'><cbc:ID>PO/1</cbc:ID>"
    "<cbc:IssueDate>2024-03-05</cbc:IssueDate><cac:BuyerCustomerParty><cac:Party>"
    "<cbc:EndpointID>UF1</cbc:EndpointID></cac:Party></cac:BuyerCustomerParty>";

// Each field is the first child of its name, its text all the text beneath it (CDATA, entities
// and nested elements; not comments), whatever the prefixes and the envelope.
TEST(OrderSummary, ReadsTheFirstOfEachFieldAsTheTreeDoes) {
    const std::string tricky =
        "\xEF\xBB\xBF<o:Order xmlns:o='u'><x><o:ID>nested</o:ID></x><o:ID> a<b>c</b>"
        "<![CDATA[d]]>&amp;<!--no--><?pi no?>e </o:ID><o:ID>second</o:ID>"
        "<IssueDate>\n2024-02-29Z </IssueDate><BuyerCustomerParty><Other/></BuyerCustomerParty>"
        "<BuyerCustomerParty><Party><EndpointID>E2</EndpointID></Party></BuyerCustomerParty>"
        "</o:Order>";
    const auto summary = ReadOrderSummary(tricky);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->number, "acd&e");
    EXPECT_EQ(summary->issueDate, "2024-02-29");
    EXPECT_EQ(summary->endpointId, ""); // the first buyer has no party
    ExpectSameAsTree(tricky);

    const std::vector<std::string> texts = {
        std::string(kHeader) + "</Order>",
        Joined({"<sh:StandardBusinessDocument xmlns:sh='h'><sh:StandardBusinessDocumentHeader>",
                "<ID>H</ID></sh:StandardBusinessDocumentHeader><Order><ID>7</ID><Note/>",
                "<BuyerCustomerParty><Party><PartyName/><EndpointID> E </EndpointID>",
                "<EndpointID>F</EndpointID></Party></BuyerCustomerParty></Order>",
                "<Order><ID>8</ID></Order></sh:StandardBusinessDocument>"}),
        Joined({"<StandardBusinessDocument><StandardBusinessDocumentHeader/>",
                "<Invoice><ID>1</ID></Invoice><Order><ID>2</ID></Order>",
                "</StandardBusinessDocument>"}),
        "<StandardBusinessDocument><StandardBusinessDocumentHeader/></StandardBusinessDocument>",
        Joined({"<Order><IssueDate>05/03/2024</IssueDate><BuyerCustomerParty><x><Party>",
                "<EndpointID>E</EndpointID></Party></x></BuyerCustomerParty></Order>"}),
        "<Invoice><ID>1</ID></Invoice>",
    };
    for (const auto& text : texts) {
        ExpectSameAsTree(text);
    }
}

// The summary comes first in an order, but a text the loader refuses further on has none: the
// listing then names the document after its file, as the fetch reports it.
TEST(OrderSummary, NoneForATextRefusedAfterItsSummary) {
    const std::string header = kHeader;
    for (const std::string& text : {
             header + "<cac:OrderLine>",                                     // cut short
             header + "<cac:OrderLine></cac:Line></Order>",                  // mismatched tag
             header + "<x:Note/></Order>",                                   // undeclared prefix
             header + "<cbc:Note>&nbsp;</cbc:Note></Order>",                 // undeclared entity
             header + "<cbc:Note>caf\xE9</cbc:Order></Order>",               // not UTF-8
             header + std::string(300, '<') + "</Order>",                    // not a tag
             header + "<a>" + std::string(300, 'b') + "</Order>",            // unclosed
             header + "</Order><Order/>",                                    // two roots
             header + std::string(300, ' ').replace(0, 1, "<") + "</Order>", // empty tag
         }) {
        EXPECT_FALSE(ReadOrderSummary(text)) << text.substr(text.size() - 40);
        ExpectSameAsTree(text);
    }
    std::string deep = kHeader;
    for (int i = 0; i < 300; ++i) {
        deep += "<d>";
    }
    EXPECT_FALSE(ReadOrderSummary(deep + "</Order>"));
}

// libxml2's tree builder stops at a text node that grows past 10 MB from several pieces and keeps
// what it built: the scan must neither take a text the loader refuses nor read a field the
// loader's tree does not hold.
TEST(OrderSummary, TextNodesPastTheParsersLimitAsTheTreeHasThem) {
    const std::string big(std::size_t{6} * 1000 * 1000, 'a');
    const std::string limit(std::size_t{10} * 1000 * 1000, 'a');
    const std::string_view head = "<Order><ID>1</ID><Note>";
    for (const std::string& text : {
             Joined({head, big, "&amp;", big, "</Note><IssueDate>2024-01-01</IssueDate></Order>"}),
             Joined({head, big, "</Note><IssueDate>2024-01-01</IssueDate><Note>", big,
                     "</Note></Order>"}),
             Joined({"<Order><ID>", big, "&amp;", big, "</ID></Order>"}),
             Joined({head, "<![CDATA[", big, "]]><![CDATA[", big, "]]></Note></Order>"}),
             Joined({head, limit, "&amp;</Note></Order>"}),
         }) {
        ExpectSameAsTree(text);
    }
}

} // namespace
} // namespace kvad::platform
