#include "order_pdf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "kvad_nso/nso_ws.h"
#include "platform/folder_inbox.h"
#include "support/temp_dir.h"
#include "support/test_env.h"
#include "xml/xml_document.h"

namespace kvad::platform {
namespace {

namespace fs = std::filesystem;

bool HavePdfToText() {
    return std::system("command -v pdftotext >/dev/null 2>&1") == 0;
}

std::string Squeezed(const std::string& text) {
    return std::regex_replace(xml::TrimXmlSpace(text), std::regex("\\s+"), " ");
}

/// The text of a PDF as pdftotext reads it in drawing order, every run of white space made
/// one blank.
std::string PdfText(const std::vector<std::uint8_t>& pdf) {
    const kvad::test::TempDir dir("pdf");
    const fs::path file = dir / "order.pdf";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(pdf.data()), static_cast<std::streamsize>(pdf.size()));
    std::string text;
    if (FILE* pipe =
            ::popen(("pdftotext -raw -enc UTF-8 '" + file.string() + "' -").c_str(), "r")) {
        char buffer[4096];
        std::size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            text.append(buffer, read);
        }
        ::pclose(pipe);
    }
    return Squeezed(text);
}

/// "1857.00" as an Italian reader writes an amount ("1.857,00"); nullopt for no amount or one
/// beyond two decimals.
std::optional<std::string> ItalianAmount(const std::string& invariant) {
    if (invariant.empty()) {
        return std::nullopt;
    }
    const std::size_t point = invariant.find('.');
    std::string whole = invariant.substr(0, point);
    std::string cents = point == std::string::npos ? "" : invariant.substr(point + 1);
    if (cents.size() > 2) {
        return std::nullopt;
    }
    cents.resize(2, '0');
    const bool negative = !whole.empty() && whole[0] == '-';
    if (negative) {
        whole.erase(0, 1);
    }
    for (int i = static_cast<int>(whole.size()) - 3; i > 0; i -= 3) {
        whole.insert(static_cast<std::size_t>(i), ".");
    }
    return (negative ? "-" : "") + whole + "," + cents;
}

std::string Value(const xml::Node& context, const std::string& path) {
    const xml::Node node = context.SelectSingleNode(path);
    return node.IsNull() ? std::string() : xml::TrimXmlSpace(node.Text());
}

/// Checks that the PDF of an order shows its own values, read from the XML by XPath.
void ExpectOrderValues(const std::string& xmlText, const std::string& name) {
    SCOPED_TRACE(name);
    std::string reason;
    const auto document = xml::Document::Load(xmlText, reason);
    ASSERT_TRUE(document) << reason;
    const xml::Node order = document->Root().SelectSingleNode("//*[local-name()='Order']");
    ASSERT_FALSE(order.IsNull());
    const auto field = [&order](const std::string& path) { return Value(order, path); };

    const std::string text = PdfText(RenderOrderPdf(xmlText));
    const auto expectShown = [&text](const std::string& value, const std::string& what) {
        EXPECT_NE(text.find(value), std::string::npos) << what << " \"" << value << "\"";
    };
    expectShown(field("*[local-name()='ID']"), "number");
    const std::string date = field("*[local-name()='IssueDate']");
    expectShown(date.substr(8, 2) + "/" + date.substr(5, 2) + "/" + date.substr(0, 4), "date");
    expectShown(Squeezed(field("*[local-name()='BuyerCustomerParty']/*/*[local-name()="
                               "'PartyName']/*[local-name()='Name']")),
                "buyer");
    for (const auto& line : order.SelectNodes("*[local-name()='OrderLine']/*[local-name()="
                                              "'LineItem']")) {
        expectShown(Squeezed(Value(line, "*[local-name()='Item']/*[local-name()='Name']")),
                    "line name");
        if (const auto amount =
                ItalianAmount(Value(line, "*[local-name()='LineExtensionAmount']"))) {
            expectShown(*amount, "line amount");
        }
    }
    const std::string totals = "*[local-name()='AnticipatedMonetaryTotal']/*[local-name()=";
    for (const char* total : {"'LineExtensionAmount']", "'PayableAmount']"}) {
        if (const auto amount = ItalianAmount(field(totals + total))) {
            expectShown(*amount, total);
        }
    }
    if (const auto tax =
            ItalianAmount(field("*[local-name()='TaxTotal']/*[local-name()='TaxAmount']"))) {
        expectShown("IVA " + *tax, "VAT");
    }
}

class OrderPdfTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HavePdfToText()) {
            GTEST_SKIP() << "pdftotext is not installed (scripts/deps.sh installs poppler-utils)";
        }
    }
};

// Every UBL document the tests read: the project's own, and the public samples where they are at
// hand. An Order is rendered with its own values, any other document refused with its main
// element named.
TEST_F(OrderPdfTest, ExtractedTextShowsTheValuesOfEveryOrder) {
    const std::set<std::string> notOrders{
        "order_cancellation_document.xml", "order_response_document.xml",
        "Esempio Ordine pre-concordato iniziale.xml", "OrderCancellation_Example.xml"};
    std::size_t rendered = 0;
    std::size_t refused = 0;
    for (const fs::path& path : kvad::test::UblDocuments()) {
        const std::string name = path.filename().string();
        const std::string text = kvad::test::ReadSourceFile(path.string());
        if (!notOrders.contains(name)) {
            ExpectOrderValues(text, name);
            ++rendered;
            continue;
        }
        try {
            (void)RenderOrderPdf(text);
            ADD_FAILURE() << name << " is not an Order, yet it was rendered";
        } catch (const OrderRenderError& e) {
            EXPECT_NE(std::string(e.what()).find("is not a UBL Order"), std::string::npos)
                << name << ": " << e.what();
            ++refused;
        }
    }
    // 11 orders and 2 other documents of our own; 10 and 2 among the public samples.
    const bool samples = !test::SharedSamplesDir().empty();
    EXPECT_EQ(rendered, samples ? 21U : 11U);
    EXPECT_EQ(refused, samples ? 4U : 2U);
}

TEST_F(OrderPdfTest, KindAndReferenceAreInTheTitle) {
    const std::pair<const char*, std::string> titles[] = {
        {"ORD-2024-0001", "ORDINE D'ACQUISTO"},
        {"ORD-2024-0003",
         "REVISIONE DELL'ORDINE Sostituisce l'ordine 2024-FAR-0381 del 04/03/2024 (UF7HQ2)"},
        {"ORD-2024-0004",
         "ANNULLAMENTO DELL'ORDINE Annulla l'ordine 87/2024 del 05/03/2024 (UFB4TN)"},
    };
    for (const auto& [order, title] : titles) {
        const std::string text = PdfText(RenderOrderPdf(kvad::test::ReadSourceFile(
            "examples/inbox/IT01234567890/" + std::string(order) + ".xml")));
        EXPECT_EQ(text.rfind(title, 0), 0U) << text.substr(0, 120);
    }
}

std::string Party(const std::string& role, const std::string& name) {
    return "<cac:" + role + "><cac:Party><cac:PartyName><cbc:Name>" + name +
           "</cbc:Name></cac:PartyName></cac:Party></cac:" + role + ">";
}

/// An order of `lines` lines: line i has quantity i % 7 + 1 at (i + 0.25) euro.
std::string GeneratedOrder(int lines, const std::string& buyer, const std::string& seller) {
    std::string xml =
        "<Order xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Order-2\" "
        "xmlns:cac=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\" "
        "xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">"
        "<cbc:ID>GEN-300</cbc:ID><cbc:IssueDate>2024-05-02</cbc:IssueDate>"
        "<cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>" +
        Party("BuyerCustomerParty", buyer) + Party("SellerSupplierParty", seller);
    for (int i = 1; i <= lines; ++i) {
        const std::string n = std::to_string(i);
        xml += "<cac:OrderLine><cac:LineItem><cbc:ID>" + n +
               "</cbc:ID><cbc:Quantity unitCode=\"C62\">" + std::to_string(i % 7 + 1) +
               "</cbc:Quantity><cac:Price><cbc:PriceAmount>" + n +
               ".25</cbc:PriceAmount></cac:Price><cac:Item><cbc:Name>Articolo di prova " + n +
               "</cbc:Name><cac:ClassifiedTaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>22"
               "</cbc:Percent></cac:ClassifiedTaxCategory></cac:Item></cac:LineItem>"
               "</cac:OrderLine>";
    }
    return xml + "</Order>";
}

TEST_F(OrderPdfTest, ALongOrderGoesOnOnPagesThatRepeatTheTableHeader) {
    constexpr int kLines = 300;
    const std::string text =
        PdfText(RenderOrderPdf(GeneratedOrder(kLines, "Ospedale Maggiore", "Fornitore")));

    std::smatch pages;
    ASSERT_TRUE(std::regex_search(text, pages, std::regex("Pagina 1 di (\\d+)")));
    const int count = std::stoi(pages[1]);
    EXPECT_GE(count, 5);

    // Each page ends with its number; every page that has lines shows the header before them.
    const std::string header = "N. Descrizione Q.tà U.M. Prezzo IVA Importo";
    std::size_t start = 0;
    int next = 1;
    long long cents = 0;
    for (int page = 1; page <= count; ++page) {
        const std::string footer =
            "Pagina " + std::to_string(page) + " di " + std::to_string(count);
        const std::size_t end = text.find(footer, start);
        ASSERT_NE(end, std::string::npos) << footer;
        const std::string body = text.substr(start, end - start);
        const std::size_t first = body.find("Articolo di prova " + std::to_string(next) + " ");
        if (next <= kLines && first != std::string::npos) {
            EXPECT_LT(body.find(header), first) << "page " << page;
        }
        while (next <= kLines &&
               body.find("Articolo di prova " + std::to_string(next) + " ") != std::string::npos) {
            cents += (next % 7 + 1) * (next * 100LL + 25);
            ++next;
        }
        start = end + footer.size();
    }
    EXPECT_EQ(next, kLines + 1) << "every line, in order, on some page";
    const std::string total =
        *ItalianAmount(std::to_string(cents / 100) + "." + (cents % 100 < 10 ? "0" : "") +
                       std::to_string(cents % 100));
    EXPECT_NE(text.find("Totale righe " + total), std::string::npos) << total;
}

TEST_F(OrderPdfTest, GreekAndAccentedNamesComeOutAsWritten) {
    const std::string greek = "Γενικό Νοσοκομείο Αθηνών «Ο Ευαγγελισμός»";
    const std::string accented = "Città di Forlì – Università Cà Foscari";
    const std::string text = PdfText(RenderOrderPdf(GeneratedOrder(1, greek, accented)));
    EXPECT_NE(text.find(greek), std::string::npos) << text.substr(0, 300);
    EXPECT_NE(text.find(accented), std::string::npos) << text.substr(0, 300);
}

TEST(OrderPdf, TheServiceRendersAnOrderOrSaysWhyItCannot) {
    const kvad::test::TempDir inbox("pdf-inbox");
    const fs::path& root = inbox.Path();
    RegisterFolderInbox({root.string(), "utente", "segreto"});
    auto service = CreateObjectAs<NsoService>(progid::kNsoService);
    service->SetConfigXML("<NsoConfig><Inbox>" + root.string() + "</Inbox></NsoConfig>");
    Variant extra;
    std::string error;
    service->Login("", extra, error);
    ASSERT_EQ(error, "");

    const auto convert = [&service, &error](const std::string& xml) {
        Variant pdf;
        service->TrasformOrder2PDF(xml, pdf, error);
        return pdf;
    };
    const std::string order = GeneratedOrder(2, "Comune", "Ditta");
    const Variant pdf = convert(order);
    EXPECT_EQ(error, "");
    ASSERT_NE(pdf.AsBytes(), nullptr);
    EXPECT_EQ(std::string(pdf.AsBytes()->begin(), pdf.AsBytes()->begin() + 5), "%PDF-");

    const std::vector<std::pair<std::string, std::string>> refused{
        {"", "its XML is empty"},
        {"<Order><cbc:ID>", "its XML cannot be read: it is not well-formed XML (line 1: "
                            "Namespace prefix cbc on ID is not defined)\n"},
        {"<OrderCancellation><ID>1</ID></OrderCancellation>",
         "the document is not a UBL Order (its main element is \"OrderCancellation\")"},
        {std::regex_replace(order, std::regex("<cbc:PriceAmount>2.25"), "<cbc:PriceAmount>2,25"),
         "\"2,25\" is not a number (line 2, price)"},
        {std::regex_replace(order, std::regex("<cbc:ID>GEN-300</cbc:ID>"), ""),
         "the order has no number (element ID)"},
        {std::regex_replace(order, std::regex(">2</cbc:Quantity>"),
                            ">9999999999999999999999999999</cbc:Quantity>"),
         "an amount is too large to compute (more than 28 digits)\n"},
    };
    for (const auto& [xml, reason] : refused) {
        EXPECT_TRUE(convert(xml).IsEmpty());
        EXPECT_EQ(error.rfind("the order cannot be shown as a PDF: " + reason, 0), 0U) << error;
    }
    UnregisterFolderInbox();
}

} // namespace
} // namespace kvad::platform
