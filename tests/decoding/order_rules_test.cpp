// The order rule checks on whole documents: every document the tests know is loaded, decoded
// with the demo master data and verified, and gets only the rule messages its content earns;
// copies of an example order with one fault each get exactly that fault's messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>

#include "decoding/trascodifica_ordine.h"
#include "decoding_test_env.h"
#include "kvad_nso/codes.h"
#include "ubl/xml_loader.h"
#include "verification/verifica_dati.h"

namespace kvad::nso {
namespace {

namespace fs = std::filesystem;

// The first text of an element of this local name, whatever its prefix.
std::string FirstText(const std::string& xml, const std::string& name) {
    std::smatch found;
    const std::regex element("<(?:[A-Za-z0-9]+:)?" + name + "(?:\\s[^>]*)?>([^<]*)<");
    return std::regex_search(xml, found, element) ? found[1].str() : std::string();
}

// The text with the n-th (from 1) occurrence of `from` replaced; fails the test when absent.
std::string Replaced(std::string text, const std::string& from, const std::string& to,
                     int occurrence = 1) {
    std::size_t at = std::string::npos;
    for (int i = 0; i < occurrence; ++i) {
        at = text.find(from, at == std::string::npos ? 0 : at + 1);
        if (at == std::string::npos) {
            ADD_FAILURE() << "no " << from;
            return text;
        }
    }
    return text.replace(at, from.size(), to);
}

class OrderRulesTest : public ::testing::Test, public test::DemoDocuments {
  protected:
    // Registers a document under its own number (made unique), date and buyer endpoint; a
    // cancellation is marked so.
    std::int32_t Register(const std::string& xml) {
        const auto date = DateTime::ParseIso(FirstText(xml, "IssueDate"));
        const bool cancels = xml.find("#Cancelled<") != std::string::npos;
        return DemoDocuments::Register(
            FirstText(xml, "ID") + "/" + std::to_string(++registered_),
            date ? Variant(*date) : Variant::Null(), FirstText(xml, "EndpointID"), xml,
            static_cast<std::int16_t>(cancels ? operation::kCancellation : 0));
    }

    // Registers a document as the order others refer to: under its own number, unchanged.
    void RegisterAsReceived(const std::string& number, const std::string& date,
                            const std::string& endpoint) {
        if (env.Count("SELECT 1 FROM IE91_NSOFILES WHERE IE91_DITTA_CG18 = 1 AND IE91_IDORD = " +
                      kvad::test::Q(number)) > 0) {
            return;
        }
        env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, "
                   "IE91_ENDPOINTID) VALUES (1, " +
                   kvad::test::Q(number) + ", '" + date + " 00:00:00', " + kvad::test::Q(endpoint) +
                   ")");
    }

    // Loads, decodes and verifies a document; false when it is no order that loads.
    bool Process(std::int32_t id) {
        GetOrderFromXML(env.S(), id, false);
        if (Loader(env.S()).lastResult != LoadResult::Loaded) {
            return false;
        }
        TrascodificaOrdine(env.S(), id, false);
        EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        Verify(id);
        return true;
    }

    void Verify(std::int32_t id) {
        VerificaDati(env.S(), processing::kToImport, id, true, true);
        EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    }

    // The order rule entries of a document as "line:code", sorted (line 0 is the header).
    std::vector<std::string> RuleEntries(std::int32_t id) {
        std::vector<std::string> out;
        for (const auto& entry : kvad::test::ReadLogOf(env.Db(), id)) {
            if (entry.code >= message::kTotalsDoNotAddUp) {
                EXPECT_EQ(entry.context, Contesto_VerificaDati);
                out.push_back(std::to_string(entry.line) + ":" + std::to_string(entry.code));
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    // A replacement of the n-th (from 1) occurrence of a text.
    struct Edit {
        std::string from;
        std::string to;
        int occurrence = 1;
    };

    // Registers and processes the example order ORD-2024-0001 with the edits made.
    std::int32_t Changed(std::initializer_list<Edit> edits) {
        std::string xml = Example();
        for (const Edit& e : edits) {
            xml = Replaced(xml, e.from, e.to, e.occurrence);
        }
        const std::int32_t id = Register(xml);
        EXPECT_TRUE(Process(id));
        return id;
    }

    // The rule entries of the example order with the edits made.
    std::vector<std::string> Of(std::initializer_list<Edit> edits) {
        return RuleEntries(Changed(edits));
    }

    static std::string Example() {
        return kvad::test::ReadSourceFile("examples/inbox/IT01234567890/ORD-2024-0001.xml");
    }

    using Codes = std::vector<std::string>;
    int registered_ = 0;
};

// What the public samples' content earns: they come from other countries' use of the same
// documents, or carry made-up item numbers.
const std::map<std::string, std::vector<std::string>>& EarnedBySamples() {
    static const std::map<std::string, std::vector<std::string>> earned = {
        // Delivery asked for 15/05/2018 in an order of 01/07/2018.
        {"Caso d'uso 1 - Ordine di fornitura con articoli numerati.xml", {"0:309"}},
        // A revision of order 1555 of 11/12/2020, which is not among the samples.
        {"Esempio Ordine Revisionato a Budget.xml", {"0:307"}},
        // A Norwegian order of 2018: VAT S at 25 % on its charge and its two lines, deliveries
        // asked for 2010 and 2012, and the GTIN 7560000012345 with a wrong check digit.
        {"Order_Example.xml", {"0:309", "0:310", "1:309", "1:310", "1:355", "2:309", "2:310"}},
        // The GTIN 09876543211234 has a wrong check digit.
        {"UC4_Order.xml", {"1:355"}},
    };
    return earned;
}

TEST_F(OrderRulesTest, EveryDocumentGetsOnlyWhatItsContentEarns) {
    // The example chains refer to earlier orders of the inbox: register all before processing.
    std::vector<std::pair<std::string, std::int32_t>> documents;
    for (const fs::path& file : kvad::test::UblDocuments()) {
        const std::string xml = kvad::test::ReadSourceFile(file.string());
        documents.emplace_back(file.filename().string(), Register(xml));
        RegisterAsReceived(FirstText(xml, "ID"), FirstText(xml, "IssueDate"),
                           FirstText(xml, "EndpointID"));
    }
    int processed = 0;
    for (const auto& [name, id] : documents) {
        if (!Process(id)) {
            continue;
        }
        ++processed;
        const auto earned = EarnedBySamples().find(name);
        EXPECT_EQ(RuleEntries(id), earned == EarnedBySamples().end() ? Codes{} : earned->second)
            << name;
    }
    EXPECT_GE(processed, 10) << "the example orders and the project's own documents";
}

TEST_F(OrderRulesTest, BuyerAndInvoiceeIdentifiers) {
    EXPECT_EQ(Of({{"IT03456780547", "IT03456780548"}}), Codes{"0:303"}) << "a wrong VAT digit";
    EXPECT_EQ(Of({{">03456780547<", ">RSSMRA80A01H501V<"}}), Codes{"0:304"})
        << "a wrong fiscal-code check character";
    EXPECT_TRUE(Of({{">03456780547<", ">RSSMRA80A01H50MM<"}}).empty())
        << "a homonym's fiscal code is accepted";
    EXPECT_EQ(Of({{"\"0201\">UFQ8R1<", "\"0201\">UFQ8R17<"}}), Codes{"0:302"})
        << "a 7-character IPA code of the invoicee";
}

TEST_F(OrderRulesTest, ReferencesToEarlierDocuments) {
    RegisterAsReceived("2024-FAR-0381", "2024-03-04", "UF7HQ2");
    const auto referring = [this](const std::string& reference) {
        return Of(
            {{"<cac:OriginatorDocumentReference>",
              "<cac:OrderDocumentReference><cbc:ID>" + reference +
                  "</cbc:ID></cac:OrderDocumentReference><cac:OriginatorDocumentReference>"}});
    };
    EXPECT_TRUE(referring("2024-FAR-0381#2024-03-04#UF7HQ2#Revised").empty());
    EXPECT_EQ(referring("2024-FAR-0381#04/03/2024#UF7HQ2#Revised"), Codes{"0:305"})
        << "a date not in its form";
    EXPECT_EQ(referring("2024-FAR-0381#2024-03-04"), Codes{"0:305"}) << "no office";
    EXPECT_EQ(referring("2024-FAR-0381#2024-03-04#UF7HQ2#Connected"), Codes{"0:306"});
    EXPECT_EQ(referring("2024-FAR-0380#2024-03-04#UF7HQ2#Revised"), Codes{"0:307"})
        << "an order never received";
}

TEST_F(OrderRulesTest, AmountsAndCurrencies) {
    // Every amount stays EUR in an order in USD: one error on the header, which goes once the
    // order's currency is set to the one its amounts are in.
    const std::int32_t usd =
        Changed({{"<cbc:DocumentCurrencyCode>EUR", "<cbc:DocumentCurrencyCode>USD"}});
    EXPECT_EQ(RuleEntries(usd), Codes{"0:301"});
    env.Native("UPDATE IE93_NSOTESTATA SET IE93_DO11_VALUTA_CG08 = '001' WHERE IE93_ID_IE91 = " +
               std::to_string(usd));
    Verify(usd);
    EXPECT_TRUE(RuleEntries(usd).empty());
    // Only a line's price, or only a line's allowance, in another currency.
    EXPECT_EQ(Of({{"currencyID=\"EUR\">12.40<", "currencyID=\"CHF\">12.40<"}}), Codes{"0:301"});
    EXPECT_EQ(Of({{"currencyID=\"EUR\">420.00<", "currencyID=\"CHF\">420.00<"}}), Codes{"0:301"});
    // 200 x 1.85015 is 370.03, 0.03 from the line amount; 200 x 1.8501 is 0.02 from it.
    EXPECT_EQ(Of({{">1.85<", ">1.85015<"}}), Codes{"1:352"});
    EXPECT_TRUE(Of({{">1.85<", ">1.8501<"}}).empty());
    EXPECT_EQ(Of({{">2092.20</cbc:Payable", ">2092.50</cbc:Payable"}}), Codes{"0:300"});
    // A negative allowance: an error on the line, and the line amount no longer agrees with it
    // (the order computed 420 - 21, the allowance as given makes it 420 + 21).
    EXPECT_EQ(Of({{">21.00<", ">-21.00<"}}), (Codes{"2:352", "2:353"}));
}

TEST_F(OrderRulesTest, PriceForABaseQuantity) {
    const std::string price = "<cbc:PriceAmount currencyID=\"EUR\">1.85</cbc:PriceAmount>";
    // 18.50 for 10 pieces: decoded as 1.85 a piece, with a warning saying so.
    const std::int32_t converted =
        Changed({{price, "<cbc:PriceAmount currencyID=\"EUR\">18.50</cbc:PriceAmount>"
                         "<cbc:BaseQuantity unitCode=\"C62\">10</cbc:BaseQuantity>"}});
    EXPECT_EQ(RuleEntries(converted), Codes{"1:350"});
    EXPECT_EQ(env.Scalar("SELECT IE95_DO30_PREZZO1 FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " +
                         std::to_string(converted) + " AND IE95_DO30_PROGRIGA = 1")
                  .ToDecimal(),
              *Decimal::Parse("1.85"));

    // A price per kilogram for a quantity in pieces cannot be converted: held until a clerk
    // enters the price per piece; the ERP line then amounts to other than the order's line,
    // which stays as a warning for the clerk to confirm.
    const std::int32_t other =
        Changed({{price, price + "<cbc:BaseQuantity unitCode=\"KGM\">1</cbc:BaseQuantity>"}});
    EXPECT_EQ(RuleEntries(other), Codes{"1:351"});
    env.Native("UPDATE IE95_NSOCORPO SET IE95_DO30_PREZZO1 = 1.90 WHERE IE95_ID_IE91 = " +
               std::to_string(other) + " AND IE95_DO30_PROGRIGA = 1");
    Verify(other);
    EXPECT_EQ(RuleEntries(other), Codes{"1:352"});
}

TEST_F(OrderRulesTest, LinesItemsDatesAndVat) {
    // The second rate 10 is line 1's (the first is the order's charge).
    EXPECT_EQ(Of({{"<cbc:Percent>10<", "<cbc:Percent>0<", 2}}), Codes{"1:310"}) << "VAT S 0";
    EXPECT_EQ(Of({{"<cbc:Percent>10<", "<cbc:Percent>21<", 2}}), Codes{"1:310"}) << "VAT S 21";
    EXPECT_EQ(Of({{"8012345000012", "8012345000013"}}), Codes{"1:355"}) << "a GTIN digit changed";
    const std::string id1 = "<cbc:ID>1</cbc:ID>";
    const std::string id2 = "<cbc:ID>2</cbc:ID>";
    EXPECT_EQ(Of({{id2, id1}}), (Codes{"1:356", "2:356"})) << "a line ID twice";
    EXPECT_EQ(Of({{id2, "<cbc:ID>ab-7</cbc:ID>"}, {id1, "<cbc:ID>AB-7</cbc:ID>"}}),
              (Codes{"1:356", "2:356"}))
        << "line IDs the database holds equal, differing in case";
    EXPECT_EQ(Of({{id2, "<cbc:ID>ab-7</cbc:ID>"}, {id1, "<cbc:ID>ab-8</cbc:ID>"}}), Codes{})
        << "line IDs that differ";
    EXPECT_EQ(Of({{"2024-03-11", "2024-03-01", 2}}), Codes{"1:309"})
        << "a line delivered before the order's date";
    // A missing quantity and a negative price are errors on the line.
    EXPECT_EQ(
        Of({{"<cbc:Quantity unitCode=\"C62\">200</cbc:Quantity>", ""}, {">4.20<", ">-4.20<"}}),
        (Codes{"1:354", "2:352", "2:353"}))
        << "the negative price's line amount no longer agrees with it";
}

TEST_F(OrderRulesTest, CancellationsAreNotChecked) {
    EXPECT_TRUE(Of({{"IT03456780547", "IT03456780548"},
                    {"<cac:OriginatorDocumentReference>",
                     "<cac:OrderDocumentReference><cbc:ID>X#2024-03-04#UF7HQ2#Cancelled</cbc:ID>"
                     "</cac:OrderDocumentReference><cac:OriginatorDocumentReference>"}})
                    .empty());
}

} // namespace
} // namespace kvad::nso
