#include "generator/generated_inbox.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>

namespace kvad::generator {
namespace {

namespace fs = std::filesystem;

/// The dates of the inbox: document p was issued `p` days after this one.
constexpr std::chrono::year_month_day kFirstIssue{std::chrono::year{2023}, std::chrono::month{1},
                                                  std::chrono::day{2}};

/// The date `days` after kFirstIssue, "yyyy-mm-dd".
std::string DateAfterFirstIssue(int days) {
    const std::chrono::year_month_day date{std::chrono::sys_days{kFirstIssue} +
                                           std::chrono::days{days}};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

/// Buyer `buyer`'s VAT number: ten digits and the check digit that makes it valid.
std::string BuyerVat(int buyer) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "0%09d", 345600000 + buyer);
    int sum = 0;
    for (int i = 0; i < 10; ++i) {
        int digit = digits[i] - '0';
        if (i % 2 == 1) {
            digit = digit * 2 > 9 ? digit * 2 - 9 : digit * 2;
        }
        sum += digit;
    }
    return std::string(digits) + static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string Office(int buyer) {
    // An IPA office code: six letters or digits.
    char code[16];
    std::snprintf(code, sizeof code, "UF%04d", buyer % 10000);
    return code;
}

std::string DeliveryLocation(int buyer) {
    return BuyerVat(buyer) + "-MAG";
}

enum class DocumentKind { Order, Revision, Cancellation };

/// One document of the inbox, in the order it is received: its name there ("ord-000001.xml").
struct PlannedDocument {
    std::string file;
    DocumentKind kind = DocumentKind::Order;
    OrderShape shape;
};

/// A chain that later documents may revise or cancel.
struct OpenChain {
    std::size_t latest = 0; ///< its latest document
    int buyer = 0;
};

/// The plan's random choices, the same on every platform for the same seed.
struct Choices {
    std::mt19937 random;
    /// A number from 0 to n - 1.
    int Below(int n) { return static_cast<int>(random() % static_cast<std::uint32_t>(n)); }
    int Between(int low, int high) { return low + Below(high - low + 1); }
};

std::vector<LineShape> Lines(Choices& choose, int count, int items) {
    std::vector<LineShape> lines;
    lines.reserve(static_cast<std::size_t>(count));
    for (int n = 0; n < count; ++n) {
        lines.push_back({choose.Between(1, items), choose.Between(1, 12),
                         static_cast<long>(choose.Between(150, 9999))});
    }
    return lines;
}

OrderShape Shape(int position, int buyer) {
    OrderShape shape;
    shape.number = "ORD-" + std::to_string(position + 1);
    shape.issueDate = DateAfterFirstIssue(position);
    // Delivery from 15 to 25 days after the issue, as a buyer asks for it: a delivery date
    // before the order's date is a warning on every line.
    shape.deliveryStart = DateAfterFirstIssue(position + 15);
    shape.deliveryEnd = DateAfterFirstIssue(position + 25);
    shape.endpoint = Office(buyer);
    shape.buyerVat = BuyerVat(buyer);
    shape.deliveryLocation = DeliveryLocation(buyer);
    return shape;
}

/// The documents `plan` asks for, in the order they are received.
std::vector<PlannedDocument> PlanInbox(const InboxPlan& plan) {
    if (plan.buyers < 1 || plan.items < 1 || plan.minLines < 1 || plan.maxLines < plan.minLines) {
        throw std::invalid_argument("an inbox plan needs buyers, items and lines");
    }
    Choices choose{std::mt19937(plan.seed)};
    std::vector<PlannedDocument> documents;
    std::vector<OpenChain> open;
    const int total = plan.documents + (plan.largeOrderLines > 0 ? 1 : 0);
    for (int p = 0; p < total; ++p) {
        PlannedDocument document;
        char file[32];
        std::snprintf(file, sizeof file, "ord-%06d.xml", p + 1);
        document.file = file;
        if (plan.largeOrderLines > 0 && p == total / 2) {
            // The large order stays a chain of its own.
            document.shape = Shape(p, 0);
            document.shape.lines = Lines(choose, plan.largeOrderLines, plan.items);
            documents.push_back(std::move(document));
            continue;
        }
        const int roll = choose.Below(100);
        if (!open.empty() && roll < plan.revisionPercent + plan.cancellationPercent) {
            const auto chosen =
                static_cast<std::size_t>(choose.Below(static_cast<int>(open.size())));
            OpenChain& chain = open[chosen];
            const OrderShape& latest = documents[chain.latest].shape;
            document.kind =
                roll < plan.revisionPercent ? DocumentKind::Revision : DocumentKind::Cancellation;
            document.shape = Shape(p, chain.buyer);
            document.shape.reference =
                latest.number + "#" + latest.issueDate + "#" + latest.endpoint +
                (document.kind == DocumentKind::Revision ? "#Revised" : "#Cancelled");
            chain.latest = documents.size();
            if (document.kind == DocumentKind::Cancellation) {
                document.shape.cancellation = true;
                open.erase(open.begin() + static_cast<std::ptrdiff_t>(chosen));
            }
        } else {
            const int buyer = choose.Below(plan.buyers);
            document.shape = Shape(p, buyer);
            open.push_back({documents.size(), buyer});
        }
        if (!document.shape.cancellation) {
            document.shape.lines =
                Lines(choose, choose.Between(plan.minLines, plan.maxLines), plan.items);
        }
        documents.push_back(std::move(document));
    }
    return documents;
}

void WriteFile(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

} // namespace

InboxSummary WriteInbox(const fs::path& inbox, const InboxPlan& plan) {
    const fs::path folder = inbox / ("IT" + plan.companyVat);
    fs::create_directories(folder);
    const auto received =
        std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now());
    InboxSummary summary;
    // Documents per chain, by the identity of the chain's latest document.
    std::map<std::string, int> chainLength;
    for (const PlannedDocument& document : PlanInbox(plan)) {
        const OrderShape& shape = document.shape;
        const fs::path file = folder / document.file;
        WriteFile(file, OrderXml(shape));
        fs::last_write_time(file, received);
        ++summary.documents;
        summary.lines += shape.cancellation ? 1 : static_cast<long>(shape.lines.size());
        int length = 1;
        if (document.kind == DocumentKind::Order) {
            ++summary.orders;
        } else {
            ++(document.kind == DocumentKind::Revision ? summary.revisions : summary.cancellations);
            const std::string replaced = shape.reference.substr(0, shape.reference.rfind('#'));
            length = chainLength[replaced] + 1;
            chainLength.erase(replaced);
        }
        chainLength[shape.number + "#" + shape.issueDate + "#" + shape.endpoint] = length;
        summary.longestChain = std::max(summary.longestChain, length);
    }
    summary.chains = summary.orders;
    return summary;
}

std::vector<MasterDataFile> MasterData(const InboxPlan& plan) {
    std::string customers = "customer,name,vat_number,fiscal_code,valid\n";
    std::string offices = "office,customer,name,address,city,postal_code\n";
    std::string destinations =
        "customer,destination,name,address,city,postal_code,delivery_location\n";
    for (int b = 0; b < plan.buyers; ++b) {
        const std::string customer = std::to_string(2001 + b);
        customers += customer + ",Azienda Sanitaria Locale " + std::to_string(b) + "," +
                     BuyerVat(b) + "," + BuyerVat(b) + ",1\n";
        offices += Office(b) + "," + customer + ",Ufficio acquisti,Via Roma 1,Torino,10100\n";
        destinations += customer + ",MAG,Magazzino centrale,Via Roma 1,Torino,10100," +
                        DeliveryLocation(b) + "\n";
    }
    std::string items = "item,description,vat_code,standard_id\n";
    for (int item = 1; item <= plan.items; ++item) {
        items += ItemCode(item) + ",ARTICOLO " + std::to_string(item) + ",S," +
                 ItemStandardId(item) + "\n";
    }
    return {
        {"vat-codes", "code,description,rate\nS,Imponibile (aliquota indicata nella riga),\n"},
        {"currencies", "code,iso,description\n001,EUR,Euro\n"},
        {"document-defaults",
         "document,description,section,warehouse\nOCL,Ordine cliente da NSO,A,01\n"},
        {"customers", customers},
        {"offices", offices},
        {"destinations", destinations},
        {"items", items},
    };
}

std::vector<fs::path> WriteMasterData(const fs::path& folder, const InboxPlan& plan) {
    fs::create_directories(folder);
    std::vector<fs::path> files;
    for (const MasterDataFile& data : MasterData(plan)) {
        files.push_back(folder / (data.kind + ".csv"));
        WriteFile(files.back(), data.csv);
    }
    return files;
}

} // namespace kvad::generator
