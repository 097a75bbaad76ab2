// Figures for the XML layer: load time of an order, cost of the loader's XPath queries in both
// path forms, and the cost of refusing a document with millions of elements.

#include "xml/xml_document.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MicrosSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The order with its lines repeated until it has `lines` of them.
std::string WithLines(const std::string& order, int lines) {
    const std::size_t first = order.find("    <cac:OrderLine>");
    const std::size_t end = order.rfind("</Order>");
    const std::string block = order.substr(first, end - first);
    std::string text = order.substr(0, end);
    for (int n = 4; n < lines; n += 4) {
        text += block;
    }
    return text + "</Order>\n";
}

const std::vector<std::string> kLineColumns = {
    "LineItem_Quantity",
    "LineItem_LineExtensionAmount",
    "LineItem_Price_PriceAmount",
    "LineItem_Delivery_RequestedDeliveryPeriod_StartDate",
    "LineItem_Item_Description",
    "LineItem_Item_Name",
    "LineItem_Item_SellersItemIdentification_ID",
    "LineItem_Item_StandardItemIdentification_ID",
    "LineItem_Item_ClassifiedTaxCategory_ID",
    "LineItem_Item_ClassifiedTaxCategory_Percent",
};

/// A column name as a path: aggregates then one basic element, in either form.
std::string PathOf(const std::string& column, bool prefixed) {
    const std::string open_cac = prefixed ? "cac:" : ".//*[local-name()='";
    const std::string open_cbc = prefixed ? "cbc:" : ".//*[local-name()='";
    const std::string close = prefixed ? "" : "']";
    std::string path;
    std::size_t start = 0;
    while (true) {
        const std::size_t cut = column.find('_', start);
        const std::string piece = column.substr(start, cut - start);
        if (cut == std::string::npos) {
            return path.append(open_cbc).append(piece).append(close);
        }
        path.append(open_cac).append(piece).append(close).append("/");
        start = cut + 1;
    }
}

void MeasureQueries(const std::string& label, const std::string& text, bool prefixed) {
    std::string error;
    const auto doc = kvad::xml::Document::Load(text, error);
    if (!doc) {
        std::printf("%s: %s\n", label.c_str(), error.c_str());
        return;
    }
    doc->SetSelectionNamespaces(
        " xmlns:locNS0='urn:oasis:names:specification:ubl:schema:xsd:Order-2'"
        " xmlns:cac='urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2'"
        " xmlns:cbc='urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2'");
    const kvad::xml::Node order = doc->Root().SelectSingleNode("*[local-name()='Order']");
    std::vector<std::string> paths;
    paths.reserve(kLineColumns.size());
    for (const std::string& column : kLineColumns) {
        paths.push_back(PathOf(column, prefixed));
    }
    const std::string lines_path = prefixed ? "cac:OrderLine" : ".//*[local-name()='OrderLine']";
    const auto start = Clock::now();
    std::size_t queries = 0;
    std::size_t found = 0;
    for (const kvad::xml::Node& line : order.SelectNodes(lines_path)) {
        for (const std::string& path : paths) {
            found += line.SelectSingleNode(path).IsNull() ? 0 : 1;
            ++queries;
        }
    }
    const double us = MicrosSince(start);
    std::printf("%-34s %7zu queries (%zu found) %10.0f us, %6.2f us/query\n", label.c_str(),
                queries, found, us, us / static_cast<double>(queries));
}

} // namespace

int main() {
    const std::string dir = KVAD_SOURCE_DIR "/examples/inbox/IT01234567890/";
    const std::string order = ReadFile(dir + "ORD-2024-0001.xml");

    {
        constexpr int kRounds = 2000;
        std::string error;
        const auto start = Clock::now();
        for (int i = 0; i < kRounds; ++i) {
            const auto doc = kvad::xml::Document::Load(order, error);
            if (!doc) {
                std::printf("load failed: %s\n", error.c_str());
                return 1;
            }
        }
        std::printf("load ORD-2024-0001.xml (%zu bytes)  %8.1f us per load\n", order.size(),
                    MicrosSince(start) / kRounds);
    }

    MeasureQueries("4 lines, prefix paths", order, true);
    MeasureQueries("4 lines, local-name paths", order, false);
    const std::string big = WithLines(order, 2000);
    {
        std::string error;
        const auto start = Clock::now();
        const auto doc = kvad::xml::Document::Load(big, error);
        std::printf("load 2000-line order (%zu bytes)  %8.1f us %s\n", big.size(),
                    MicrosSince(start), doc ? "" : error.c_str());
    }
    MeasureQueries("2000 lines, prefix paths", big, true);
    MeasureQueries("2000 lines, local-name paths", big, false);

    const long rss_before = PeakRssKb();
    std::string many = "<a>";
    many.reserve(12'000'010);
    for (int i = 0; i < 3'000'000; ++i) {
        many += "<b/>";
    }
    many += "</a>";
    std::string error;
    auto start = Clock::now();
    const auto refused = kvad::xml::Document::Load(many, error);
    std::printf("3M elements (%zu bytes) refused in %.1f ms, peak RSS +%ld kB: %s\n", many.size(),
                MicrosSince(start) / 1000.0, PeakRssKb() - rss_before, error.c_str());

    std::string deep;
    for (int i = 0; i < 10'000; ++i) {
        deep += "<a>";
    }
    start = Clock::now();
    (void)kvad::xml::Document::Load(deep, error);
    std::printf("10000 levels refused in %.3f ms: %s\n", MicrosSince(start) / 1000.0,
                error.c_str());
    return 0;
}
