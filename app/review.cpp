#include "app/review.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "app/grouped_commits.h"
#include "app/order_ref.h"
#include "app/terminal_text.h"
#include "kvad_nso/read_model/processing_summary.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/text.h"

namespace nsoapp {

using kvad::read_model::DisplayText;

namespace {

constexpr std::size_t kWidth = 100;

/// Words of `text` in lines of at most `width` characters (a longer word is cut).
std::vector<std::string> Wrap(const std::string& text, std::size_t width) {
    std::vector<std::string> lines;
    std::istringstream words(text);
    std::string word;
    std::string line;
    while (words >> word) {
        const std::size_t needed =
            kvad::Utf8Length(line) + (line.empty() ? 0 : 1) + kvad::Utf8Length(word);
        if (!line.empty() && needed > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + kvad::Utf8Left(word, width);
    }
    if (!line.empty() || lines.empty()) {
        lines.push_back(line);
    }
    return lines;
}

/// A document the review shows from its decoded tables: processing leaves it alone because an
/// ERP order was made from it.
bool ReadOnly(const Order& order) {
    return !order.reviewed && order.erpOrder && order.decoded;
}

void PrintTitle(std::ostream& out, const Order& order) {
    std::string title = kvad::read_model::Title(order) + ": " + order.plan;
    if (order.reviewed || ReadOnly(order)) {
        title += " - " + kvad::AsciiUpper(VerdictText(order.verdict));
    }
    const auto titleRows = Wrap(title, kWidth - 2);
    out << titleRows.front() << "\n";
    for (std::size_t i = 1; i < titleRows.size(); ++i) {
        out << "  " << titleRows[i] << "\n";
    }
}

// The value, then what the order says beside it; long texts go on over further lines.
void PrintReviewHeader(std::ostream& out, const Order& order) {
    constexpr std::size_t kLabel = 2 + 14;
    constexpr std::size_t kValue = 17;
    for (const kvad::read_model::HeaderField& item : order.header) {
        const std::string value = item.value.empty() ? "-" : item.value;
        std::string prefix = "  " + Cell(item.field, 13);
        std::vector<std::string> rows;
        std::size_t indent = kLabel;
        if (item.note.empty()) {
            rows = Wrap(value, kWidth - kLabel);
        } else {
            prefix += Cell(value, kValue - 1);
            rows = Wrap(item.note, kWidth - kLabel - kValue);
            indent += kValue;
        }
        out << prefix << rows.front() << "\n";
        for (std::size_t i = 1; i < rows.size(); ++i) {
            out << std::string(indent, ' ') << rows[i] << "\n";
        }
    }
}

void PrintReviewLines(std::ostream& out, const Order& order) {
    if (order.lines.empty()) {
        return;
    }
    out << "  " << RightCell("LINE", 4) << Cell("ITEM", 14) << Cell("DESCRIPTION", 24)
        << RightCell("QUANTITY", 10) << RightCell("PRICE", 10) << Cell("VAT", 5)
        << Cell("DELIVERY", 10) << "STATUS\n";
    for (const kvad::read_model::Line& line : order.lines) {
        out << "  " << RightCell(std::to_string(line.number), 4)
            << Cell(line.item.empty() ? "-" : line.item, 14) << Cell(line.description, 24)
            << RightCell(DisplayText(line.quantity), 10) << RightCell(DisplayText(line.price), 10)
            << Cell(line.vat.empty() ? "-" : line.vat, 5)
            << Cell(line.delivery.IsNull() ? "-" : DisplayText(line.delivery), 10)
            << VerdictText(line.verdict) << "\n";
    }
}

} // namespace

std::string VerdictText(Verdict verdict) {
    std::string text(kvad::read_model::VerdictName(verdict));
    for (char& c : text) {
        c = c == '_' ? ' ' : c;
    }
    return text;
}

namespace {

[[noreturn]] void InNoChain(std::int32_t id) {
    throw std::runtime_error("document " + std::to_string(id) +
                             " is in no chain: its XML has not arrived (`nso fetch "
                             "--retry-missing` downloads it again)");
}

} // namespace

void SelectChainsOf(Session& session, const std::vector<std::int32_t>& ids) {
    const std::vector<std::int32_t> missing = kvad::read_model::SelectChainsOf(*session.nso, ids);
    if (!missing.empty()) {
        InNoChain(missing.front());
    }
}

ChainSelection SelectChains(Session& session, const Settings& settings,
                            const std::vector<std::string>& chains, bool all, bool latestOnly) {
    session.nso->SetParam_ModalitaImport(latestOnly ? kvad::kaSoloPiuRecente
                                                    : kvad::kaInteraCatena);
    ChainSelection selection;
    if (all) {
        // Listed by their keys only, as the main job lists them: the peak is set by a batch,
        // not by the backlog.
        auto list = session.nso->ListChainKeys(kvad::kaOrdiniDaProcessare);
        RequireOk(session, "reading the chains");
        selection.latest = kvad::read_model::SelectableChains(*list);
        return selection;
    }
    std::vector<std::int32_t> ids;
    ids.reserve(chains.size());
    for (const std::string& chain : chains) {
        ids.push_back(ResolveDocument(*session.db, settings.company, chain));
    }
    SelectChainsOf(session, ids);
    selection.latest = kvad::read_model::SelectedChains(*session.nso);
    selection.inWorkingTable = true;
    return selection;
}

void ForEachBatch(Session& session, const ChainSelection& selection, std::size_t batchChains,
                  const std::function<bool(std::size_t, std::size_t)>& work) {
    const std::vector<std::int32_t>& selected = selection.latest;
    batchChains = std::max<std::size_t>(batchChains, 1);
    // The chains' documents commit in groups, each batch's written when its work ends.
    GroupedCommits grouped(*session.db);
    if (selected.size() <= batchChains) {
        if (!selection.inWorkingTable) {
            kvad::read_model::ReadOnlyChains(*session.nso, selected);
        }
        (void)work(1, 1);
        grouped.Finish();
        return;
    }
    const std::size_t batches = (selected.size() + batchChains - 1) / batchChains;
    for (std::size_t first = 0; first < selected.size(); first += batchChains) {
        const auto from = selected.begin() + static_cast<std::ptrdiff_t>(first);
        const auto to = selected.begin() +
                        static_cast<std::ptrdiff_t>(std::min(first + batchChains, selected.size()));
        kvad::read_model::ReadOnlyChains(*session.nso, std::vector<std::int32_t>(from, to));
        const bool more = work(first / batchChains + 1, batches);
        grouped.Flush();
        if (!more) {
            break;
        }
    }
    grouped.Finish();
}

Order ReviewedOrder(Session& session, std::int32_t id) {
    if (!kvad::read_model::OpenReview(*session.nso, id)) {
        InNoChain(id);
    }
    Order order = kvad::read_model::ReadOrder(*session.nso, id);
    if (order.erpOrder && !order.reviewed) {
        return order; // read-only, with its ERP order
    }
    if (!order.reviewed) {
        throw std::runtime_error(kvad::read_model::Title(order) +
                                 " is not one processing reviews: " + order.plan);
    }
    if (!order.decoded) {
        throw std::runtime_error(kvad::read_model::Title(order) +
                                 " is not processed yet: `nso process " + std::to_string(id) +
                                 "` processes its chain");
    }
    return order;
}

void PrintMessages(std::ostream& out, const std::vector<Message>& messages,
                   const std::string& indent) {
    const std::size_t used = indent.size() + 8 + 5 + 8 + 25;
    for (const Message& m : messages) {
        const std::string where = m.line == 0 ? "header" : "line " + std::to_string(m.line);
        const std::string about =
            m.field.empty() ? "" : m.field + " = " + (m.value.empty() ? "(empty)" : m.value);
        const auto text = Wrap(m.text.empty() ? "(no text)" : m.text, kWidth - used);
        out << indent << Cell(std::string(m.SeverityName()), 7)
            << RightCell(std::to_string(m.code), 3) << " " << Cell(where, 7) << Cell(about, 24)
            << text.front() << "\n";
        for (std::size_t i = 1; i < text.size(); ++i) {
            out << std::string(used, ' ') << text[i] << "\n";
        }
    }
}

void PrintOrder(std::ostream& out, const Order& order) {
    PrintTitle(out, order);
    if (ReadOnly(order)) {
        out << "  read-only: ERP order " << order.erpOrder->document << " of "
            << kvad::read_model::DateText(order.erpOrder->date)
            << " was made from it, its values stay as imported\n";
    } else if (!order.reviewed) {
        return;
    } else if (!order.decoded) {
        out << "  not decoded: processing failed on this document or stopped before it\n";
    }
    PrintReviewHeader(out, order);
    PrintReviewLines(out, order);
    if (order.messages.empty()) {
        out << "  no messages\n";
        return;
    }
    out << "  messages:\n";
    PrintMessages(out, order.messages, "    ");
}

void PrintChain(std::ostream& out, const Chain& chain) {
    for (const Order& order : chain.documents) {
        if (order.level > 0) {
            out << "\n";
        }
        PrintOrder(out, order);
    }
}

void PrintTally(std::ostream& out, const VerdictCounts& tally) {
    out << tally.Reviewed() << " order(s) reviewed: " << tally.ready << " ready, " << tally.warning
        << " with warnings, " << tally.error << " with errors";
    if (tally.unverified > 0) {
        out << ", " << tally.unverified << " not verified";
    }
    if (tally.other > 0) {
        out << "; " << tally.other << " document(s) with nothing to review";
    }
    out << "\n";
}

void PrintPassedOver(std::ostream& out, const std::vector<kvad::read_model::PassedOver>& passed,
                     bool verbose, const std::string& indent) {
    if (passed.empty()) {
        return;
    }
    out << indent << "Passed over, not processed (`nso list` shows them with their reason):\n";
    for (const kvad::read_model::PassedOver& p : passed) {
        const SplitReason reason = SplitDetail(p.reason);
        out << indent << "  " << kvad::read_model::Title(p.document) << ": "
            << (p.notLoaded             ? "not loaded"
                : p.someDocumentOfChain ? "processing failed on a document of its chain"
                                        : "processing failed on it")
            << (reason.plain.empty() ? "" : ": " + Printable(reason.plain));
        if (!p.notLoaded && !verbose) {
            out << " (--verbose shows the component's text)";
        }
        out << "\n";
        PrintBeneath(out, reason.detail, indent + "      ");
        if (verbose) {
            PrintBeneath(out, p.failure, indent + "      ");
        }
    }
}

} // namespace nsoapp
