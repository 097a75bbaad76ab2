#include "xml/xml_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using kvad::xml::Document;
using kvad::xml::Limits;
using kvad::xml::Node;
using kvad::xml::ParseFailure;

/// Each element's name and the text beneath it, in the order the elements open.
class Recorder final : public kvad::xml::ScanHandler {
  public:
    using Element = std::pair<std::string, std::string>; ///< local name, text beneath
    void StartElement(std::string_view localName) override {
        open_.push_back(elements.size());
        elements.push_back({std::string(localName), {}});
    }
    void EndElement() override { open_.pop_back(); }
    void Characters(std::string_view text) override {
        for (const std::size_t index : open_) {
            elements[index].second += text;
        }
    }
    std::vector<Element> elements;

  private:
    std::vector<std::size_t> open_;
};

void ElementsOf(const Node& node, std::vector<Recorder::Element>& out) {
    for (Node child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
        if (child.IsElement()) {
            out.push_back({child.LocalName(), child.Text()});
            ElementsOf(child, out);
        }
    }
}

/// Loads and scans the text with the limits: the same verdict, and Load's own account of a refusal.
void ExpectSameVerdict(const std::string& text, const Limits& limits) {
    SCOPED_TRACE(text.substr(0, 60));
    ParseFailure loaded;
    const bool taken = Document::Load(text, loaded, limits) != nullptr;
    Recorder recorder;
    ParseFailure scanned{kvad::xml::Problem::NotWellFormed, "x", 1, "y"};
    EXPECT_EQ(kvad::xml::ScanDocument(text, recorder, scanned, limits), taken);
    EXPECT_EQ(scanned.problem, loaded.problem);
    EXPECT_EQ(scanned.text, loaded.text);
    EXPECT_EQ(scanned.line, loaded.line);
    EXPECT_EQ(scanned.cause, loaded.cause);
}

// The scan tells what the tree holds: every element by its local name, and the text Node::Text
// reads beneath it (text, white space, references, CDATA; no comments or instructions).
TEST(XmlScan, TellsTheElementsAndTextsTheTreeHolds) {
    const std::string text =
        "<?xml version='1.0'?><!--c--><p:a xmlns:p='u' x='1'>\n t&amp;u&#x41;<!--c-->"
        "<b><![CDATA[<d>]]><?pi x?></b> <p:c>e<f/>g</p:c>\r\n</p:a>";
    Recorder recorder;
    ParseFailure failure;
    ASSERT_TRUE(kvad::xml::ScanDocument(text, recorder, failure));
    std::string error;
    const auto document = Document::Load(text, error);
    ASSERT_TRUE(document) << error;
    std::vector<Recorder::Element> expected;
    ElementsOf(document->Root(), expected);
    EXPECT_EQ(recorder.elements, expected);
}

// A scan takes exactly the texts Load takes and refuses the others with Load's own account.
TEST(XmlScan, RefusesWhatLoadRefusesWithTheSameAccount) {
    Limits small;
    small.maxNodes = 6;
    small.maxDepth = 3;
    const std::string seven = "<a xmlns:p='u' x='1'>t&amp;t<!--c--><![CDATA[d]]><b/></a>";
    for (const std::string& text :
         {seven, std::string("<a><b><c/></b></a>"), std::string("<a><b><c><d/></c></b></a>")}) {
        ExpectSameVerdict(text, small);
    }
    ExpectSameVerdict("<o>" + std::string(20, 'x'), Limits{10, 100, 10});
    for (const std::string& text : {
             seven,
             std::string("<!DOCTYPE o SYSTEM \"o.dtd\"><o/>"),
             std::string("<o/><!DOCTYPE o><o/>"),
             std::string("<o>\n\n<p>caff\xE8</p></o>"),
             std::string("<\0o\0/\0>\0", 8),
             std::string("\xFF\xFE<\0o\0/\0>\0", 10),
             std::string("<o>\n<p></o>"),
             std::string("<o><cbc:ID/></o>"),
             std::string("<o>&nbsp;</o>"),
             std::string("<o/>coda"),
             std::string("<o/><o/>"),
             std::string("<?xml version='1.0'?><!-- solo commento -->"),
             std::string(" \n"),
         }) {
        ExpectSameVerdict(text, {});
    }
}

} // namespace
