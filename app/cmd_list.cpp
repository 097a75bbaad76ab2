// "nso list": the chains of received documents as a clerk reads them: the latest document of
// each chain with the older documents it replaced indented beneath it.
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>

#include "app/chain_list.h"
#include "app/commands.h"
#include "app/json_output.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "app/working_table.h"

namespace nsoapp {
namespace {

/// Chains shown on a terminal when no --limit is given: a screenful to scroll, not thousands.
constexpr std::size_t kTerminalLimit = 50;

struct ListOptions {
    bool processed = false;
    bool all = false;
    bool json = false;
    std::size_t limit = 0;
    bool limitGiven = false;
};

/// A cell of text from outside: escaped first, so that it cannot break the row.
std::string OutsideCell(const std::string& text, std::size_t width) {
    return Cell(Printable(text), width);
}

void PrintRow(const ListedDocument& d) {
    const bool main = d.level == 0;
    const std::string erp = d.erpDocument.empty() ? "-" : d.erpDocument + " " + DateText(d.erpDate);
    std::cout << Cell(std::to_string(d.id), 5) << (main ? "" : "    ")
              << Cell(d.kind, main ? 13 : 9) << OutsideCell(d.number, 18)
              << Cell(DateText(d.date), 10) << OutsideCell(d.buyer, 26) << Cell(erp, 22) << d.state;
    if (d.blocked) {
        std::cout << "  [blocked: an older order of the chain has deliveries]";
    }
    if (!d.notLoadedWhy.empty()) {
        std::cout << "  [" << Printable(d.notLoadedWhy) << "]";
    }
    std::cout << "\n";
}

void List(const Settings& settings, const ListOptions& options) {
    const kvad::kaenumTipoOrdiniProcessati which = options.processed ? kvad::kaOrdiniProcessati
                                                   : options.all     ? kvad::kaOrdiniTutti
                                                                     : kvad::kaOrdiniDaProcessare;
    // On a terminal a screenful unless told; a pipe or a JSON reader gets every chain.
    const std::size_t limit = options.limitGiven                            ? options.limit
                              : !options.json && isatty(STDOUT_FILENO) != 0 ? kTerminalLimit
                                                                            : 0;
    Session session = OpenSession(settings);
    const ChainList list = GatherChainList(session, which, limit);
    const char* what = which == kvad::kaOrdiniDaProcessare ? "to process"
                       : which == kvad::kaOrdiniProcessati ? "processed"
                                                           : "received";
    if (options.json) {
        PrintJson(ListJson(list, settings.company,
                           options.processed ? "processed"
                           : options.all     ? "all"
                                             : "to_process"));
        return;
    }
    if (list.chains == 0) {
        if (which == kvad::kaOrdiniDaProcessare) {
            std::cout << "No orders to process for company " << settings.company
                      << ": `nso fetch` brings new ones, `nso list --all` shows every chain.\n";
        } else {
            std::cout << "No " << what << " orders for company " << settings.company << ".\n";
        }
        return;
    }
    std::cout << list.chains << " chain(s) " << what << ", " << list.documents << " document(s)\n"
              << Cell("ID", 5) << Cell("KIND", 13) << Cell("NUMBER", 18) << Cell("DATE", 10)
              << Cell("BUYER", 26) << Cell("ERP ORDER", 22) << "STATE\n";
    for (const ListedChain& chain : list.shown) {
        for (const ListedDocument& d : chain.documents) {
            PrintRow(d);
        }
    }
    if (list.shown.size() < list.chains) {
        std::cout << "(the latest " << list.shown.size() << " of " << list.chains
                  << " chains: --limit 0 lists them all)\n";
    }
}

} // namespace

void AddListCommand(CLI::App& app, Settings& settings) {
    CLI::App* list = app.add_subcommand("list", "List the chains of received documents");
    auto options = std::make_shared<ListOptions>();
    CLI::Option* processed =
        list->add_flag("--processed", options->processed, "Only chains already processed");
    CLI::Option* all = list->add_flag("--all", options->all, "Every chain, processed or not");
    list->add_flag("--to-process")->description("Only chains still to process (the default)");
    processed->excludes(all);
    CLI::Option* limit =
        list->add_option("--limit", options->limit,
                         "Show at most N chains, the latest first (0: all; on a terminal the "
                         "default is " +
                             std::to_string(kTerminalLimit) + ")")
            ->type_name("N")
            ->check(CLI::NonNegativeNumber);
    list->add_flag("--json", options->json, "Print the list as one JSON document");
    list->callback([&settings, options, limit] {
        options->limitGiven = limit->count() > 0;
        List(settings, *options);
    });
}

} // namespace nsoapp
