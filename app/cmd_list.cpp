// "nso list": the chains of received documents as a clerk reads them: the latest document of
// each chain with the older documents it replaced indented beneath it.
#include <unistd.h>

#include <iostream>
#include <string>

#include "app/commands.h"
#include "app/json_output.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "kvad_nso/read_model/chain_list.h"
#include "kvad_nso/read_model/values.h"

namespace nsoapp {
namespace {

/// A cell of text from outside: escaped first, so that it cannot break the row.
std::string OutsideCell(const std::string& text, std::size_t width) {
    return Cell(Printable(text), width);
}

void PrintListedRow(const kvad::read_model::ListedDocument& d) {
    const bool main = d.level == 0;
    const std::string erp =
        d.erpDocument.empty() ? "-" : d.erpDocument + " " + kvad::read_model::DateText(d.erpDate);
    std::cout << Cell(std::to_string(d.id), 5) << (main ? "" : "    ")
              << Cell(d.kind, main ? 13 : 9) << OutsideCell(d.number, 18)
              << Cell(kvad::read_model::DateText(d.date), 10) << OutsideCell(d.buyer, 26)
              << Cell(erp, 22) << d.state;
    if (d.blocked) {
        std::cout << "  [blocked: an older order of the chain has deliveries]";
    }
    const SplitReason why = SplitDetail(d.notLoadedWhy);
    if (!why.plain.empty()) {
        std::cout << "  [" << Printable(why.plain) << "]";
    }
    std::cout << "\n";
    PrintBeneath(std::cout, why.detail, "        ");
}

} // namespace

void RunList(const Settings& settings, const ListOptions& options) {
    const kvad::kaenumTipoOrdiniProcessati which = options.processed ? kvad::kaOrdiniProcessati
                                                   : options.all     ? kvad::kaOrdiniTutti
                                                                     : kvad::kaOrdiniDaProcessare;
    // On a terminal a screenful unless told; a pipe or a JSON reader gets every chain.
    const std::size_t limit = options.limitGiven                            ? options.limit
                              : !options.json && isatty(STDOUT_FILENO) != 0 ? kTerminalLimit
                                                                            : 0;
    Session session = OpenSession(settings);
    const char* what = which == kvad::kaOrdiniDaProcessare ? "to process"
                       : which == kvad::kaOrdiniProcessati ? "processed"
                                                           : "received";
    if (options.json) {
        const kvad::read_model::ChainList list =
            kvad::read_model::ReadChainList(*session.nso, which, limit);
        PrintJson(ListJson(list, settings.company,
                           options.processed ? "processed"
                           : options.all     ? "all"
                                             : "to_process"));
        return;
    }
    // Printed chain by chain as they are read: a backlog's list holds one chain at a time.
    std::size_t shown = 0;
    const kvad::read_model::ChainCounts counts = kvad::read_model::ForEachListedChain(
        *session.nso, which, limit,
        [&](const kvad::read_model::ChainCounts& size) {
            if (size.chains > 0) {
                std::cout << size.chains << " chain(s) " << what << ", " << size.documents
                          << " document(s)\n"
                          << Cell("ID", 5) << Cell("KIND", 13) << Cell("NUMBER", 18)
                          << Cell("DATE", 10) << Cell("BUYER", 26) << Cell("ERP ORDER", 22)
                          << "STATE\n";
            }
        },
        [&](kvad::read_model::ListedChain&& chain) {
            for (const kvad::read_model::ListedDocument& d : chain.documents) {
                PrintListedRow(d);
            }
            ++shown;
        });
    if (counts.chains == 0) {
        if (which == kvad::kaOrdiniDaProcessare) {
            std::cout << "No orders to process for company " << settings.company
                      << ": `nso fetch` brings new ones, `nso list --all` shows every chain.\n";
        } else {
            std::cout << "No " << what << " orders for company " << settings.company << ".\n";
        }
        return;
    }
    if (shown < counts.chains) {
        std::cout << "(the latest " << shown << " of " << counts.chains
                  << " chains: --limit 0 lists them all)\n";
    }
}

} // namespace nsoapp
