// "nso decode": decodes registered orders into the ERP's codes and shows the decoded header, the
// decoded lines and the order's messages (for development and support).
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/order_ref.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "app/work_lock.h"
#include "kvad_nso/read_model/decoded_order.h"
#include "kvad_nso/read_model/documents.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

using kvad::read_model::DateText;
using kvad::read_model::DecodedHeader;
using kvad::read_model::DecodedLine;
using kvad::read_model::DecodedLineKind;

std::string PhaseName(std::int32_t context) {
    return context == kvad::Contesto_VerificaDati ? "loading/verification"
           : context == kvad::Contesto_ImportDati ? "import"
                                                  : "decoding";
}

void PrintDestination(const DecodedHeader& h) {
    std::cout << "  destination    ";
    if (!h.destination.empty()) {
        std::cout << h.destination << " " << h.destinationName;
    } else if (!h.deliveryLocation.empty() || !h.deliveryParty.empty()) {
        std::cout << "(not found: delivery location '" << h.deliveryLocation
                  << "', delivery party '" << h.deliveryParty << "')";
    } else {
        std::cout << "- (the order names no delivery location)";
    }
    std::cout << "\n";
}

void PrintDecodedHeader(const std::optional<DecodedHeader>& header) {
    if (!header) {
        std::cout << "  no decoded header\n";
        return;
    }
    const DecodedHeader& h = *header;
    std::cout << "  customer       "
              << (h.customer == 0 ? "(not found: VAT number or fiscal code '" + h.buyerTaxId +
                                        "', office '" + h.buyerEndpoint + "')"
                                  : std::to_string(h.customer) + " " + h.customerName)
              << "\n";
    std::cout << "  currency       "
              << (h.currency.empty() ? "(not found)" : h.currency + " (" + h.currencyIso + ")")
              << "\n";
    std::cout << "  document       " << h.document << ", section " << h.section << ", warehouse "
              << h.warehouse << ", dated " << DateText(h.date) << "\n";
    std::cout << "  PA office      " << h.office << "\n";
    PrintDestination(h);
    std::cout << "  note           " << h.note << "\n";
    std::cout << "  cash discount  " << h.cashDiscount.Text() << "\n";
}

/// The item cell of a decoded line, and what its description cell adds: a line made from the
/// order's own allowance or charge, or the identifiers an item not found was searched by.
std::pair<std::string, std::string> ItemAndDescription(const DecodedLine& line) {
    if (line.kind == DecodedLineKind::OrderAllowance) {
        return {"(order allowance)", line.description};
    }
    if (line.kind == DecodedLineKind::OrderCharge) {
        return {"(order charge)", line.description};
    }
    if (!line.item.empty()) {
        return {line.item, line.description};
    }
    if (line.searchedBy.empty()) {
        return {line.description.empty() ? "(none named)" : "(not found)", line.description};
    }
    const std::string searched = Joined(line.searchedBy, ", ");
    return {"(not found)", line.description + (line.description.empty() ? "" : " ") +
                               "[searched: " + searched + "]"};
}

void PrintDecodedLines(const std::vector<DecodedLine>& lines) {
    if (lines.empty()) {
        std::cout << "  no decoded lines\n";
        return;
    }
    std::cout << "  " << Cell("LINE", 4) << Cell("ITEM", 22) << Cell("OPTION", 6)
              << Cell("QUANTITY", 10) << Cell("PRICE", 10) << Cell("ALLOW/UNIT", 10)
              << Cell("CHARGE/UNIT", 11) << Cell("VAT", 8) << Cell("DELIVERY", 10)
              << "DESCRIPTION\n";
    for (const DecodedLine& line : lines) {
        const auto [item, description] = ItemAndDescription(line);
        const std::string vat =
            line.vatCode.empty() ? "-" : line.vatCode + " " + line.vatRate.Text() + "%";
        std::ostringstream row;
        row << "  " << Cell(line.number.Text(), 4) << Cell(item, 22) << Cell(line.option, 6)
            << Cell(line.quantity.Text(), 10) << Cell(line.price.Text(), 10)
            << Cell(line.allowance.Text(), 10) << Cell(line.charge.Text(), 11) << Cell(vat, 8)
            << Cell(DateText(line.delivery), 10) << description;
        std::cout << kvad::RightTrim(row.str()) << "\n";
    }
}

void PrintDecodingLog(const std::vector<kvad::read_model::Message>& messages) {
    if (messages.empty()) {
        std::cout << "  messages: none\n";
        return;
    }
    std::cout << "  messages:\n";
    for (const kvad::read_model::Message& m : messages) {
        std::cout << "    " << m.SeverityName() << " " << m.code << " (" << PhaseName(m.context)
                  << ", "
                  << (m.line == 0 ? std::string("header") : "line " + std::to_string(m.line))
                  << (m.column.empty() ? "" : ", " + m.column) << "): " << m.text << "\n";
    }
}

/// Decodes one order and prints what decoding left of it; the reason when it was not decoded.
std::optional<std::string> DecodeOne(Session& session, const Settings& settings, std::int32_t id,
                                     bool force) {
    const auto document = kvad::read_model::ReadDocument(*session.nso, id);
    if (!document) {
        return std::to_string(id) + ": no registered document of company " +
               std::to_string(settings.company);
    }
    std::cout << "Order " << document->number << " of " << DateText(document->date)
              << " (register id " << id << ")\n";
    if (!force && kvad::read_model::HasDecodedLines(*session.nso, id)) {
        std::cout << "  already decoded: its decoded rows are kept as they are (--force "
                     "decodes it again)\n";
    }
    std::optional<std::string> failure;
    session.nso->DecodeOrder(id, force);
    if (session.nso->Stato() != kvad::kaOK) {
        // Plain words on the line, the component's own text beneath.
        SplitReason reason = SplitDetail(session.nso->ExplainDocument(id));
        if (reason.plain.empty()) {
            reason = {"decoding failed", session.nso->Errore().Text()};
        }
        std::cout << "  not decoded: " << Printable(reason.plain) << "\n";
        PrintBeneath(std::cout, reason.detail, "    ");
        failure = std::to_string(id) + ": " + reason.plain;
    }
    const kvad::read_model::DecodedOrder decoded =
        kvad::read_model::ReadDecodedOrder(*session.nso, id);
    PrintDecodedHeader(decoded.header);
    PrintDecodedLines(decoded.lines);
    PrintDecodingLog(decoded.messages);
    return failure;
}

} // namespace

void RunDecode(const Settings& settings, const DecodeOptions& options) {
    Session session = OpenSession(settings);
    const WorkLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Clerk, "nso decode",
                    options.waitSeconds);
    session.nso->Inizializza();
    if (session.nso->Stato() != kvad::kaOK) {
        std::cout << "warning: " << session.nso->Errore().Text()
                  << " (`nso config set` writes the configuration)\n";
    }
    std::vector<std::string> failures;
    for (const std::string& named : options.orders) {
        std::int32_t id = 0;
        try {
            id = ResolveDocument(*session.db, settings.company, named);
        } catch (const std::runtime_error& e) {
            failures.push_back(named + ": " + e.what());
            continue;
        }
        if (auto failure = DecodeOne(session, settings, id, options.force)) {
            failures.push_back(std::move(*failure));
        }
    }
    if (!failures.empty()) {
        std::string text = std::to_string(failures.size()) + " of " +
                           std::to_string(options.orders.size()) + " order(s) not decoded";
        for (const std::string& f : failures) {
            text += "\n  " + f;
        }
        throw std::runtime_error(text);
    }
}

} // namespace nsoapp
