// Order loading figures: documents loaded per second for orders of 10, 100 and 1,000 lines,
// with the time split between parsing, XPath and database writes, and the time per line, which
// must stay flat as orders grow (linear loading).

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/nso_state.h"
#include "host/stand_ins.h"
#include "sqlite/sqlite_database.h"
#include "ubl/staging_writer.h"
#include "ubl/xml_loader.h"
#include "xml/xml_document.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace nso = kvad::nso;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Line(int n) {
    const std::string id = std::to_string(n);
    return "<cac:OrderLine><cac:LineItem><cbc:ID>" + id +
           "</cbc:ID><cbc:Quantity unitCode=\"C62\">" + std::to_string(n % 7 + 1) +
           "</cbc:Quantity><cbc:LineExtensionAmount currencyID=\"EUR\">12.50"
           "</cbc:LineExtensionAmount>"
           "<cac:Delivery><cac:RequestedDeliveryPeriod><cbc:StartDate>2024-03-20</cbc:StartDate>"
           "</cac:RequestedDeliveryPeriod></cac:Delivery>"
           "<cac:AllowanceCharge><cbc:ChargeIndicator>false</cbc:ChargeIndicator>"
           "<cbc:Amount currencyID=\"EUR\">1.25</cbc:Amount></cac:AllowanceCharge>"
           "<cac:Price><cbc:PriceAmount currencyID=\"EUR\">2.50</cbc:PriceAmount></cac:Price>"
           "<cac:Item><cbc:Description>Articolo " +
           id + "</cbc:Description><cbc:Name>Articolo " + id +
           "</cbc:Name><cac:SellersItemIdentification><cbc:ID>ART-" + id +
           "</cbc:ID></cac:SellersItemIdentification><cac:StandardItemIdentification>"
           "<cbc:ID schemeID=\"0160\">80" +
           id +
           "</cbc:ID></cac:StandardItemIdentification>"
           "<cac:ClassifiedTaxCategory><cbc:ID>S</cbc:ID><cbc:Percent>22</cbc:Percent>"
           "<cac:TaxScheme><cbc:ID>VAT</cbc:ID></cac:TaxScheme></cac:ClassifiedTaxCategory>"
           "</cac:Item></cac:LineItem></cac:OrderLine>";
}

std::string Order(int lines) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Order "
        "xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Order-2\" "
        "xmlns:cac=\"urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2\" "
        "xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">"
        "<cbc:ID>B-1</cbc:ID><cbc:IssueDate>2024-03-05</cbc:IssueDate>"
        "<cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>"
        "<cac:BuyerCustomerParty><cac:Party><cbc:EndpointID schemeID=\"0201\">UFABCD"
        "</cbc:EndpointID><cac:PartyName><cbc:Name>ASL di prova</cbc:Name></cac:PartyName>"
        "</cac:Party></cac:BuyerCustomerParty>"
        "<cac:AllowanceCharge><cbc:ChargeIndicator>true</cbc:ChargeIndicator>"
        "<cbc:Amount currencyID=\"EUR\">15</cbc:Amount></cac:AllowanceCharge>";
    for (int n = 1; n <= lines; ++n) {
        xml += Line(n);
    }
    return xml + "</Order>";
}

// Parses the order and registers its namespaces for XPath, as the loader does.
std::unique_ptr<kvad::xml::Document> Parse(const std::string& xml) {
    std::string reason;
    auto document = kvad::xml::Document::Load(xml, reason);
    std::string declarations;
    for (const auto& child : document->Root().ChildNodes()) {
        std::int32_t counter = 0;
        nso::RaccogliNamespace(declarations, child, counter);
    }
    document->SetSelectionNamespaces(declarations);
    return document;
}

// The single-node queries the writer makes for one document, without the database.
double XPathMs(nso::NsoState& s, const std::string& xml) {
    auto columns = [&](const std::string& table) {
        std::vector<std::string> paths;
        auto list = nso::GetElencoCampiTabella(s, table);
        for (list->MoveFirst(); !list->Eof(); list->MoveNext()) {
            std::string name = list->Value("COLUMN_NAME").Text().substr(5);
            paths.push_back(nso::ParseColumnName(s, name));
        }
        return paths;
    };
    const auto header = columns("IE92_NSOTESTATAXML");
    const auto lines = columns("IE94_NSOCORPOXML");
    const auto allowances = columns("IE9A_NSOCORPOSCONTIXML");
    const auto document = Parse(xml);
    const auto start = Clock::now();
    const auto order = nso::CercaNodoFiglio(s, document->Root(), "Order");
    for (const auto& path : header) {
        (void)order.SelectSingleNode(path);
    }
    for (const auto& line : order.SelectNodes("cac:OrderLine")) {
        for (const auto& path : lines) {
            (void)line.SelectSingleNode(path);
        }
        const auto item = nso::CercaNodoFiglio(s, line, "LineItem");
        for (const auto& charge : item.SelectNodes("cac:AllowanceCharge")) {
            for (const auto& path : allowances) {
                (void)charge.SelectSingleNode(path);
            }
        }
    }
    return MsSince(start);
}

} // namespace

int main() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kvad-loader-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    kvad::host::HostConfig config;
    config.cacheDir = (dir / "cache").string();
    auto host = kvad::host::RegisterStandIns(config);
    auto db = kvad::db::OpenSqlite((dir / "bench.db").string());
    kvad::db::ApplySchema(*db);
    nso::NsoState s;
    nso::CreateFrameworkObjects(s);
    s.Connessione = db;
    s.CodiceDitta = 1;
    s.ActiveInterface = host;

    std::printf("Order loading (GetOrderFromXML, reload on), one header allowance and one "
                "allowance per line\n");
    std::printf("%7s %9s %10s %9s %9s %9s %12s\n", "lines", "docs/s", "ms/doc", "parse ms",
                "xpath ms", "db ms", "us per line");
    for (const int lines : {10, 100, 1000}) {
        const std::string xml = Order(lines);
        std::string quoted;
        for (char c : xml) {
            quoted += c == '\'' ? std::string("''") : std::string(1, c);
        }
        kvad::db::ExecuteNativeScript(
            *db, "INSERT INTO IE91_NSOFILES (IE91_DITTA_CG18, IE91_STATUS, IE91_IDORD, "
                 "IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_XML) VALUES (1, 0, 'B" +
                     std::to_string(lines) + "', '2024-03-05 00:00:00', 'UFABCD', 0, '" + quoted +
                     "')");
        auto rs = db->Query("SELECT MAX(IE91_ID) FROM IE91_NSOFILES");
        const std::int32_t id = rs->Value(0).ToLong();
        const int repeats = lines >= 1000 ? 3 : lines >= 100 ? 10 : 50;

        nso::GetOrderFromXML(s, id, true); // warm-up
        if (s.Stato != kvad::kaOK) {
            std::printf("load failed: %s\n", s.Errore.Text().c_str());
            return 1;
        }
        auto start = Clock::now();
        for (int i = 0; i < repeats; ++i) {
            nso::GetOrderFromXML(s, id, true);
        }
        const double total = MsSince(start) / repeats;

        start = Clock::now();
        for (int i = 0; i < repeats; ++i) {
            (void)Parse(xml);
        }
        const double parse = MsSince(start) / repeats;
        double xpath = 0;
        for (int i = 0; i < repeats; ++i) {
            xpath += XPathMs(s, xml);
        }
        xpath /= repeats;
        const double dbMs = total - parse - xpath;
        std::printf("%7d %9.1f %10.2f %9.2f %9.2f %9.2f %12.1f\n", lines, 1000.0 / total, total,
                    parse, xpath, dbMs, total * 1000.0 / lines);
    }
    std::printf("db ms = total - parse - xpath: catalogue reads, deletes, inserts and the "
                "recordsets around them.\n");
    s.Connessione.reset();
    db.reset();
    std::filesystem::remove_all(dir);
    return 0;
}
