#include "ubl/xml_loader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "kvad_nso/codes.h"
#include "support/log_entries.h"
#include "support/test_env.h"

namespace kvad::nso {
namespace {

const char* const kOrderNs = "urn:oasis:names:specification:ubl:schema:xsd:Order-2";
const char* const kCac = "urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2";
const char* const kCbc = "urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2";

// An order with two lines (the first with two allowances) and one header charge.
std::string PrefixedOrder(const std::string& issueDate = "2024-03-05",
                          const std::string& firstLineQuantity = "3") {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Order xmlns=\"") + kOrderNs +
           "\" xmlns:cac=\"" + kCac + "\" xmlns:cbc=\"" + kCbc + "\">" +
           "<cbc:ID>ORD-1</cbc:ID><cbc:IssueDate>" + issueDate + "</cbc:IssueDate>" +
           "<cbc:Note>\n    prima nota\n  </cbc:Note><cbc:Note>seconda nota</cbc:Note>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>true</cbc:ChargeIndicator>"
           "<cbc:Amount currencyID=\"EUR\">12.50</cbc:Amount></cac:AllowanceCharge>"
           "<cac:OrderLine><cac:LineItem><cbc:ID>1</cbc:ID><cbc:Quantity unitCode=\"C62\">" +
           firstLineQuantity +
           "</cbc:Quantity>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>false</cbc:ChargeIndicator>"
           "<cbc:Amount>10</cbc:Amount></cac:AllowanceCharge>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>false</cbc:ChargeIndicator>"
           "<cbc:Amount>0.005</cbc:Amount></cac:AllowanceCharge>"
           "<cac:Item><cbc:Name>Garze</cbc:Name></cac:Item></cac:LineItem></cac:OrderLine>"
           "<cac:OrderLine><cac:LineItem><cbc:ID>2</cbc:ID><cbc:Quantity>1</cbc:Quantity>"
           "</cac:LineItem></cac:OrderLine></Order>";
}

// The same content with the aggregate namespace declared only on inner elements, so that the
// paths take the local-name form.
std::string UnprefixedOrder() {
    return std::string("<Order xmlns=\"") + kOrderNs + "\">" + "<ID xmlns=\"" + kCbc +
           "\">ORD-2</ID>" + "<AllowanceCharge xmlns=\"" + kCac + "\"><ChargeIndicator xmlns=\"" +
           kCbc + "\">true</ChargeIndicator><Amount xmlns=\"" + kCbc +
           "\">4</Amount></AllowanceCharge>" + "<OrderLine xmlns=\"" + kCac +
           "\"><LineItem><ID xmlns=\"" + kCbc +
           "\">1</ID><AllowanceCharge><ChargeIndicator xmlns=\"" + kCbc +
           "\">false</ChargeIndicator><Amount xmlns=\"" + kCbc +
           "\">2</Amount></AllowanceCharge></LineItem></OrderLine></Order>";
}

class LoaderTest : public ::testing::Test {
  protected:
    std::int32_t Register(const std::string& xml) {
        env.Native("INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_IDORD, "
                   "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML) VALUES (1, 0, 'N" +
                   std::to_string(++counter) + "', '2024-03-05 00:00:00', 'UFABCD', 0, " +
                   test::Q(xml) + ")");
        return env.Scalar("SELECT MAX(IE91_ID) FROM IE91_NSOFILES").ToLong();
    }
    long Rows(const std::string& table, std::int32_t id) {
        return env.Count("SELECT * FROM " + table + " WHERE " + table.substr(0, 5) +
                         "ID_IE91 = " + std::to_string(id));
    }
    // The document's load-error entries.
    std::vector<kvad::test::LogEntry> LoadErrors(std::int32_t id) {
        return kvad::test::ReadLogOf(env.Db(), id,
                                     "IE98_CODE_IE97 = " + std::to_string(message::kXmlNotLoaded));
    }
    test::TestEnv env;
    int counter = 0;
};

TEST_F(LoaderTest, DeclarationsAndPrefixesOfADefaultNamespaceOrder) {
    std::string reason;
    auto doc = xml::Document::Load(PrefixedOrder(), reason);
    ASSERT_NE(doc, nullptr) << reason;
    std::string declarations;
    for (const auto& child : doc->Root().ChildNodes()) {
        std::int32_t nsCounter = 0;
        RaccogliNamespace(declarations, child, nsCounter);
    }
    EXPECT_EQ(declarations, std::string(" xmlns:locNS0='") + kOrderNs + "' xmlns:cac='" + kCac +
                                "' xmlns:cbc='" + kCbc + "'");
    const xml::Node order = CercaNodoFiglio(env.S(), doc->Root(), "Order");
    ASSERT_FALSE(order.IsNull());
    EXPECT_EQ(PrefissoNamespace(order, "CommonAggregateComponents"), "cac:");
    EXPECT_EQ(PrefissoNamespace(order, "Order-2"), "") << "a default namespace has no prefix";
}

TEST_F(LoaderTest, LoadsHeaderLinesAndAllowancesWithTheirLinks) {
    const std::int32_t id = Register(PrefixedOrder());
    GetOrderFromXML(env.S(), id, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(Loader(env.S()).ChiudiCBC, "");
    const std::string where = " WHERE IE92_ID_IE91 = " + std::to_string(id);
    EXPECT_EQ(env.Scalar("SELECT IE92_Note FROM IE92_NSOTESTATAXML" + where).Text(), "prima nota")
        << "the first of two matching elements";
    EXPECT_EQ(env.Scalar("SELECT IE92_IssueDate FROM IE92_NSOTESTATAXML" + where).ToDate(),
              (DateTime{2024, 3, 5}));
    EXPECT_EQ(Rows("IE96_NSOTESTATASCONTIXML", id), 1) << "only the Order's own allowances";
    EXPECT_EQ(env.Scalar("SELECT IE96_Amount FROM IE96_NSOTESTATASCONTIXML").Text(), "12.5");
    EXPECT_EQ(Rows("IE94_NSOCORPOXML", id), 2);
    EXPECT_EQ(env.Count("SELECT * FROM IE9A_NSOCORPOSCONTIXML INNER JOIN IE94_NSOCORPOXML ON "
                        "IE94_ID = IE9A_ID_IE94 WHERE IE94_LineItem_ID = '1'"),
              2);
    EXPECT_EQ(LoadErrors(id).size(), 0U);
    // A column whose last part is in lower case takes that attribute of the element it names:
    // of the first such element, and none when that element has no such attribute.
    EXPECT_EQ(env.Scalar("SELECT IE96_Amount_currencyID FROM IE96_NSOTESTATASCONTIXML").Text(),
              "EUR");
    EXPECT_EQ(env.Scalar("SELECT IE94_LineItem_Quantity_unitCode FROM IE94_NSOCORPOXML WHERE "
                         "IE94_LineItem_ID = '1'")
                  .Text(),
              "C62");
    EXPECT_TRUE(env.Scalar("SELECT IE94_LineItem_Quantity_unitCode FROM IE94_NSOCORPOXML WHERE "
                           "IE94_LineItem_ID = '2'")
                    .IsNull());
    EXPECT_EQ(env.Count("SELECT * FROM IE9A_NSOCORPOSCONTIXML WHERE IE9A_Amount_currencyID IS "
                        "NOT NULL"),
              0);
}

TEST_F(LoaderTest, EachDocumentIsReadWithItsOwnPrefixes) {
    // One instance loads documents written with and without prefixes in turn: the paths worked
    // out for one kind are not used for the other (the prefixed document loaded after the plain
    // one stages what the first load staged). Without prefixes the paths take the local-name
    // form, and the header's allowances include the lines'.
    const std::int32_t first = Register(PrefixedOrder());
    const std::int32_t plain = Register(UnprefixedOrder());
    const std::int32_t again = Register(PrefixedOrder());
    for (const std::int32_t id : {first, plain, again}) {
        GetOrderFromXML(env.S(), id, false);
        ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        EXPECT_EQ(Loader(env.S()).ApriCAC, id == plain ? ".//*[local-name()='" : "cac:");
    }
    EXPECT_EQ(Rows("IE96_NSOTESTATASCONTIXML", again), 1);
    EXPECT_EQ(Rows("IE94_NSOCORPOXML", again), 2);
    EXPECT_EQ(env.Scalar("SELECT IE92_Note FROM IE92_NSOTESTATAXML WHERE IE92_ID_IE91 = " +
                         std::to_string(again))
                  .Text(),
              "prima nota");
    EXPECT_EQ(Rows("IE96_NSOTESTATASCONTIXML", plain), 2);
    EXPECT_EQ(Rows("IE94_NSOCORPOXML", plain), 1);
    EXPECT_EQ(Rows("IE9A_NSOCORPOSCONTIXML", plain), 1);
}

TEST_F(LoaderTest, AColumnAddedToAStagingTableIsFilledFromTheNextDocument) {
    // The paths worked out for a table's columns are kept from line to line and document to
    // document: a column added in between must still be read.
    std::string order = PrefixedOrder();
    const std::string allowance = "<cbc:ChargeIndicator>false</cbc:ChargeIndicator>"
                                  "<cbc:Amount>10</cbc:Amount>";
    order.replace(order.find(allowance), allowance.size(),
                  allowance + "<cbc:SequenceNumeric>7</cbc:SequenceNumeric>");
    const std::int32_t before = Register(order);
    GetOrderFromXML(env.S(), before, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    env.Native("ALTER TABLE IE9A_NSOCORPOSCONTIXML ADD COLUMN IE9A_SequenceNumeric varchar(10)");
    const std::int32_t after = Register(order);
    GetOrderFromXML(env.S(), after, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    const auto sequences = [&](std::int32_t id) {
        return env.Count("SELECT * FROM IE9A_NSOCORPOSCONTIXML WHERE IE9A_SequenceNumeric = '7' "
                         "AND IE9A_ID_IE91 = " +
                         std::to_string(id));
    };
    EXPECT_EQ(sequences(before), 0);
    EXPECT_EQ(sequences(after), 1);
    EXPECT_EQ(Rows("IE9A_NSOCORPOSCONTIXML", after), 2);
}

TEST_F(LoaderTest, ReloadOffLeavesTheHeaderAloneAndReloadReplacesLines) {
    const std::int32_t id = Register(PrefixedOrder());
    GetOrderFromXML(env.S(), id, false);
    const Variant firstLine = env.Scalar("SELECT MIN(IE94_ID) FROM IE94_NSOCORPOXML");
    env.Native("UPDATE IE92_NSOTESTATAXML SET IE92_Note = 'corretta'");
    env.Native("UPDATE IE91_NSOFILES SET IE91_XML = REPLACE(IE91_XML, 'prima nota', 'nuova')");

    GetOrderFromXML(env.S(), id, false);
    EXPECT_EQ(env.Scalar("SELECT IE92_Note FROM IE92_NSOTESTATAXML").Text(), "corretta");
    EXPECT_EQ(env.Scalar("SELECT MIN(IE94_ID) FROM IE94_NSOCORPOXML").ToLong(), firstLine.ToLong());

    GetOrderFromXML(env.S(), id, true);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(env.Scalar("SELECT IE92_Note FROM IE92_NSOTESTATAXML").Text(), "nuova");
    EXPECT_EQ(env.Count("SELECT * FROM IE92_NSOTESTATAXML"), 1) << "updated in place";
    EXPECT_EQ(Rows("IE94_NSOCORPOXML", id), 2);
    EXPECT_GT(env.Scalar("SELECT MIN(IE94_ID) FROM IE94_NSOCORPOXML").ToLong(), firstLine.ToLong());
    EXPECT_EQ(Rows("IE96_NSOTESTATASCONTIXML", id), 1);
}

TEST_F(LoaderTest, UnreadableNumbersAreStoredAsZeroAndKeptBesideTheirRow) {
    std::string xml = PrefixedOrder("2024-03-05", "abc");
    xml.replace(xml.find("<cbc:Amount>10<"), 15, "<cbc:Amount>1e999<");
    xml.replace(xml.find("<cbc:Quantity>1<"), 16, "<cbc:Quantity>  <");
    const std::int32_t id = Register(xml);
    GetOrderFromXML(env.S(), id, false);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    // Stored as the conversion gives them: 0; a blank quantity is 0 by rule and not kept.
    EXPECT_EQ(env.Count("SELECT 1 FROM IE94_NSOCORPOXML WHERE IE94_LineItem_Quantity = 0"), 2);
    const std::string line = env.Scalar("SELECT MIN(IE94_ID) FROM IE94_NSOCORPOXML").Text();
    const std::string allowance =
        env.Scalar("SELECT MIN(IE9A_ID) FROM IE9A_NSOCORPOSCONTIXML").Text();
    std::string kept;
    auto rows = env.Db().Query("SELECT UNREADABLE_ID_IE91, UNREADABLE_TABLE, UNREADABLE_ROW, "
                               "UNREADABLE_COLUMN, UNREADABLE_TEXT FROM KVAD_UNREADABLE_NUMBER "
                               "ORDER BY UNREADABLE_ID");
    for (; !rows->Eof(); rows->MoveNext()) {
        for (int i = 0; i < rows->FieldCount(); ++i) {
            kept += rows->Value(i).Text() + (i + 1 < rows->FieldCount() ? "|" : "\n");
        }
    }
    const std::string doc = std::to_string(id);
    EXPECT_EQ(kept, doc + "|IE94_NSOCORPOXML|" + line + "|IE94_LineItem_Quantity|abc\n" + doc +
                        "|IE9A_NSOCORPOSCONTIXML|" + allowance + "|IE9A_Amount|1e999\n");

    // Loaded again from a readable text, the document keeps none.
    env.Native("UPDATE IE91_NSOFILES SET IE91_XML = REPLACE(REPLACE(IE91_XML, '>abc<', '>3<'), "
               "'>1e999<', '>10<')");
    GetOrderFromXML(env.S(), id, true);
    ASSERT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
    EXPECT_EQ(env.Count("SELECT 1 FROM KVAD_UNREADABLE_NUMBER"), 0);
}

TEST_F(LoaderTest, NonDateInADatetimeColumnLogsCode12AndStops) {
    const std::int32_t id = Register(PrefixedOrder("non-una-data"));
    GetOrderFromXML(env.S(), id, false);
    EXPECT_EQ(env.S().Stato, kaErrVB);
    EXPECT_EQ(env.S().Errore.Text().rfind("Routine: LoadRecorsetData", 0), 0U);
    EXPECT_EQ(LoadErrors(id).size(), 1U);
    EXPECT_NE(LoadErrors(id).at(0).message.Text().find("LoadRecorsetData"), std::string::npos);
    EXPECT_EQ(Rows("IE92_NSOTESTATAXML", id), 1) << "the header's other values are saved";
    EXPECT_EQ(Rows("IE94_NSOCORPOXML", id), 0) << "the remaining steps do not run";
}

TEST_F(LoaderTest, NotAnOrderLogsCode12AndWritesNothing) {
    const std::int32_t notOrder =
        Register("<OrderCancellation xmlns=\"urn:x\"><ID>1</ID></OrderCancellation>");
    GetOrderFromXML(env.S(), notOrder, false);
    EXPECT_EQ(env.S().Stato, kaOK);
    EXPECT_EQ(LoadErrors(notOrder).size(), 1U);
    EXPECT_TRUE(LoadErrors(notOrder).at(0).message.IsNull());
    EXPECT_EQ(Rows("IE92_NSOTESTATAXML", notOrder), 0);

    // Text that is not XML, or is refused, changes nothing and is not logged.
    for (const std::string bad : {"non xml", "<!DOCTYPE x [<!ENTITY a 'b'>]><Order/>", "   "}) {
        const std::int32_t id = Register(bad);
        GetOrderFromXML(env.S(), id, false);
        EXPECT_EQ(env.S().Stato, kaOK);
        EXPECT_EQ(LoadErrors(id).size(), 0U) << bad;
        EXPECT_EQ(Rows("IE92_NSOTESTATAXML", id), 0) << bad;
    }
}

// What loading each UBL document the tests read must stage: its header row, header allowances
// and charges, lines, and line allowances and charges. A document that is not an Order stages
// nothing and is logged. The project's own documents, then the public samples.
struct Staging {
    long headers = 0;
    long headerCharges = 0;
    long lines = 0;
    long lineCharges = 0;
};
const std::map<std::string, Staging> kStaging{
    {"free_text_and_free_goods.xml", {1, 0, 3, 0}},
    {"order_cancellation_document.xml", {}},
    {"order_response_document.xml", {}},
    {"rounding_five_decimals.xml", {1, 1, 2, 0}},
    {"ORD-2024-0001.xml", {1, 1, 4, 1}},
    {"ORD-2024-0002.xml", {1, 2, 4, 0}},
    {"ORD-2024-0003.xml", {1, 1, 4, 1}},
    {"ORD-2024-0004.xml", {1, 0, 1, 0}},
    {"ORD-2024-0005.xml", {1, 0, 2, 0}},
    {"ORD-2024-0006.xml", {1, 0, 2, 0}},
    {"ORD-2024-0101.xml", {1, 0, 2, 0}},
    {"ORD-2024-0102.xml", {1, 0, 4, 1}},
    {"ORD-2024-0103.xml", {1, 1, 1, 0}},
    {"Caso d'uso 1 - Ordine di fornitura con articoli numerati.xml", {1, 0, 3, 0}},
    {"Caso d'uso 2 - Ordine di fornitura di articoli in testo libero.xml", {1, 0, 2, 0}},
    {"Caso d'uso 4 - Ordine di fornitura complesso.xml", {1, 1, 2, 1}},
    {"Esempio Ordine Revisionato a Budget.xml", {1, 0, 1, 0}},
    {"Esempio Ordine di Acquisto con Arrotondamento.xml", {1, 0, 1, 0}},
    {"Esempio Ordine di Acquisto con Omaggio.xml", {1, 0, 2, 0}},
    {"Esempio Ordine di Consegna Cancellato senza Righe.xml", {1, 0, 1, 0}},
    {"Esempio Ordine di Consegna con Gestione Codice GTIN.xml", {1, 0, 1, 0}},
    {"Esempio Ordine pre-concordato iniziale.xml", {}},
    {"OrderCancellation_Example.xml", {}},
    {"Order_Example.xml", {1, 2, 2, 2}},
    {"UC4_Order.xml", {1, 2, 1, 0}},
};
constexpr std::size_t kOwnDocuments = 13;

TEST_F(LoaderTest, EveryUblDocumentStagesWhatItHolds) {
    std::size_t seen = 0;
    for (const auto& path : kvad::test::UblDocuments()) {
        const std::string name = path.filename().string();
        SCOPED_TRACE(name);
        const auto expected = kStaging.find(name);
        ASSERT_NE(expected, kStaging.end()) << "a document without its expected rows";
        ++seen;
        std::ifstream in(path, std::ios::binary);
        const std::int32_t id = Register(std::string(std::istreambuf_iterator<char>(in), {}));
        GetOrderFromXML(env.S(), id, false);
        EXPECT_EQ(env.S().Stato, kaOK) << env.S().Errore.Text();
        const Staging& rows = expected->second;
        EXPECT_EQ(Rows("IE92_NSOTESTATAXML", id), rows.headers);
        EXPECT_EQ(Rows("IE96_NSOTESTATASCONTIXML", id), rows.headerCharges);
        EXPECT_EQ(Rows("IE94_NSOCORPOXML", id), rows.lines);
        EXPECT_EQ(Rows("IE9A_NSOCORPOSCONTIXML", id), rows.lineCharges);
        EXPECT_EQ(LoadErrors(id).size(), rows.headers == 0 ? 1U : 0U)
            << "a document that is not an Order is logged, an Order is not";
    }
    EXPECT_EQ(seen, test::SharedSamplesDir().empty() ? kOwnDocuments : kStaging.size());
}

} // namespace
} // namespace kvad::nso
