// "nso list": the chains of received documents as a clerk reads them: the latest document of
// each chain with the older documents it replaced indented beneath it.
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/commands.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

/// Chains shown on a terminal when no --limit is given: a screenful to scroll, not thousands.
constexpr long kTerminalLimit = 50;

/// The documents of the list that were not loaded, by IE91_ID.
using NotLoaded = std::map<std::int32_t, kvad::DocumentOutcome>;

std::string Kind(const kvad::Recordset& rs, const kvad::DocumentOutcome* problem) {
    if (problem != nullptr) {
        switch (problem->outcome) {
        case kvad::IntakeOutcome::NotAnOrder:
            return "not an order";
        case kvad::IntakeOutcome::Unreadable:
        case kvad::IntakeOutcome::Empty:
        case kvad::IntakeOutcome::DownloadFailed:
            return "unreadable";
        case kvad::IntakeOutcome::Loaded:
        case kvad::IntakeOutcome::LoadFailed:
        case kvad::IntakeOutcome::ReferenceFailed:
            break;
        }
    }
    const kvad::Variant operazione = rs.Value("IE91_OPERAZIONE");
    const std::int32_t op = operazione.IsNull() ? 0 : operazione.ToLong();
    return op == 1 ? "revision" : op == 2 ? "cancellation" : "order";
}

std::string DateText(const kvad::Variant& value) {
    return value.IsNull() || value.IsEmpty() ? "" : value.ToDate().DateOnly().ToText();
}

std::string ErpOrder(const kvad::Recordset& rs) {
    if (rs.Value("DO11_NUMREG_CO99").IsNull()) {
        return "-";
    }
    return kvad::Trim(rs.Value("DO11_DOCUM_MG36").Text()) + " " +
           kvad::Trim(rs.Value("DO11_SEZDOC").Text()) + "/" + rs.Value("DO11_NUMDOC").Text() + " " +
           DateText(rs.Value("DO11_DATADOC"));
}

std::string Cell(const std::string& text, std::size_t width) {
    std::string cut = kvad::Utf8Left(Printable(text), width);
    const std::size_t length = kvad::Utf8Length(cut);
    return cut + std::string(width > length ? width - length : 0, ' ') + " ";
}

void PrintRow(const kvad::Recordset& rs, bool main, const NotLoaded& notLoaded) {
    const bool processed =
        !rs.Value("IE91_PROCESSATO").IsNull() && rs.Value("IE91_PROCESSATO").ToLong() != 0;
    const auto found = notLoaded.find(rs.Value("IE91_ID").ToLong());
    const kvad::DocumentOutcome* problem = found == notLoaded.end() ? nullptr : &found->second;
    std::cout << Cell(rs.Value("IE91_ID").Text(), 5) << (main ? "" : "    ")
              << Cell(Kind(rs, problem), main ? 13 : 9) << Cell(rs.Value("IE91_IDORD").Text(), 18)
              << Cell(DateText(rs.Value("IE91_ISSUEDATE")), 10)
              << Cell(rs.Value("IE92_BuyerCustomerParty_Party_PartyName_Name").Text(), 26)
              << Cell(ErpOrder(rs), 22)
              << (problem != nullptr ? "not loaded"
                  : processed        ? "processed"
                                     : "to process");
    if (main && rs.Value("TMP_IMG_SEL").ToLong() == 2) {
        std::cout << "  [blocked: an older order of the chain has deliveries]";
    }
    if (problem != nullptr) {
        std::cout << "  [" << Printable(problem->reason) << "]";
    }
    std::cout << "\n";
}

// The chains of the list: each main row (ID_PADRE Null) with the older documents whose
// ID_PADRE names it (compared without case, as a filter compares), by level. Rows are kept as
// their positions in the recordset, found in one pass over it.
struct Chains {
    struct Older {
        long position;
        kvad::Variant level;
    };
    std::vector<long> mains;
    std::vector<std::string> mainIds;
    std::unordered_map<std::string, std::vector<Older>> olderByParent;
};

Chains GroupChains(kvad::Recordset& all) {
    Chains chains;
    if (all.RecordCount() == 0) {
        return chains;
    }
    for (all.MoveFirst(); !all.Eof(); all.MoveNext()) {
        const kvad::Variant parent = all.Value("ID_PADRE");
        if (parent.IsNull() || parent.IsEmpty()) {
            chains.mains.push_back(all.AbsolutePosition());
            chains.mainIds.push_back(kvad::AsciiLower(all.Value("ID_RIGA").Text()));
        } else {
            chains.olderByParent[kvad::AsciiLower(parent.Text())].push_back(
                {all.AbsolutePosition(), all.Value("LIVELLO")});
        }
    }
    for (auto& [parent, older] : chains.olderByParent) {
        // By level, Nulls first, in recordset order within a level (a recordset's sort).
        std::stable_sort(older.begin(), older.end(), [](const auto& a, const auto& b) {
            const bool aNull = a.level.IsNull() || a.level.IsEmpty();
            const bool bNull = b.level.IsNull() || b.level.IsEmpty();
            if (aNull || bNull) {
                return aNull && !bNull;
            }
            return a.level.ToDouble() < b.level.ToDouble();
        });
    }
    return chains;
}

void List(const Settings& settings, kvad::kaenumTipoOrdiniProcessati which, long limit) {
    Session session = OpenSession(settings);
    NotLoaded notLoaded;
    for (auto& document : session.nso->DocumentsNotLoaded()) {
        const std::int32_t id = document.id;
        notLoaded.emplace(id, std::move(document));
    }
    RequireOk(session, "reading what became of the documents");
    session.nso->LeggiOrdini(which);
    RequireOk(session, "reading the chains");
    auto all = session.nso->RstOrdini();
    const Chains chains = GroupChains(*all);
    const char* what = which == kvad::kaOrdiniDaProcessare ? "to process"
                       : which == kvad::kaOrdiniProcessati ? "processed"
                                                           : "received";
    if (chains.mains.empty()) {
        if (which == kvad::kaOrdiniDaProcessare) {
            std::cout << "No orders to process for company " << settings.company
                      << ": `nso fetch` brings new ones, `nso list --all` shows every chain.\n";
        } else {
            std::cout << "No " << what << " orders for company " << settings.company << ".\n";
        }
        return;
    }
    std::cout << chains.mains.size() << " chain(s) " << what << ", " << all->RecordCount()
              << " document(s)\n"
              << Cell("ID", 5) << Cell("KIND", 13) << Cell("NUMBER", 18) << Cell("DATE", 10)
              << Cell("BUYER", 26) << Cell("ERP ORDER", 22) << "STATE\n";
    const std::size_t shown = limit > 0
                                  ? std::min(chains.mains.size(), static_cast<std::size_t>(limit))
                                  : chains.mains.size();
    for (std::size_t chain = 0; chain < shown; ++chain) {
        all->SetAbsolutePosition(chains.mains[chain]);
        PrintRow(*all, true, notLoaded);
        const auto older = chains.olderByParent.find(chains.mainIds[chain]);
        if (older == chains.olderByParent.end()) {
            continue;
        }
        for (const Chains::Older& row : older->second) {
            all->SetAbsolutePosition(row.position);
            PrintRow(*all, false, notLoaded);
        }
    }
    if (shown < chains.mains.size()) {
        std::cout << "(the latest " << shown << " of " << chains.mains.size()
                  << " chains: --limit 0 lists them all)\n";
    }
}

} // namespace

void AddListCommand(CLI::App& app, Settings& settings) {
    CLI::App* list = app.add_subcommand("list", "List the chains of received documents");
    CLI::Option* processed =
        list->add_flag("--processed")->description("Only chains already processed");
    CLI::Option* all = list->add_flag("--all")->description("Every chain, processed or not");
    list->add_flag("--to-process")->description("Only chains still to process (the default)");
    processed->excludes(all);
    auto limit = std::make_shared<long>(0);
    CLI::Option* limitOption =
        list->add_option("--limit", *limit,
                         "Show at most N chains, the latest first (0: all; on a terminal the "
                         "default is " +
                             std::to_string(kTerminalLimit) + ")")
            ->type_name("N")
            ->check(CLI::NonNegativeNumber);
    list->callback([&settings, processed, all, limit, limitOption] {
        const long shown = limitOption->count() > 0     ? *limit
                           : isatty(STDOUT_FILENO) != 0 ? kTerminalLimit
                                                        : 0;
        List(settings,
             processed->count() > 0 ? kvad::kaOrdiniProcessati
             : all->count() > 0     ? kvad::kaOrdiniTutti
                                    : kvad::kaOrdiniDaProcessare,
             shown);
    });
}

} // namespace nsoapp
