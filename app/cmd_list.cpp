// "nso list": the chains of received documents as a clerk reads them: the latest document of
// each chain with the older documents it replaced indented beneath it.
#include <iostream>
#include <map>
#include <memory>

#include "app/commands.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

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

void List(const Settings& settings, kvad::kaenumTipoOrdiniProcessati which) {
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
    auto mains = all->Clone();
    mains->SetFilter("ID_PADRE = NULL");
    const char* what = which == kvad::kaOrdiniDaProcessare ? "to process"
                       : which == kvad::kaOrdiniProcessati ? "processed"
                                                           : "received";
    if (mains->RecordCount() == 0) {
        if (which == kvad::kaOrdiniDaProcessare) {
            std::cout << "No orders to process for company " << settings.company
                      << ": `nso fetch` brings new ones, `nso list --all` shows every chain.\n";
        } else {
            std::cout << "No " << what << " orders for company " << settings.company << ".\n";
        }
        return;
    }
    std::cout << mains->RecordCount() << " chain(s) " << what << ", " << all->RecordCount()
              << " document(s)\n"
              << Cell("ID", 5) << Cell("KIND", 13) << Cell("NUMBER", 18) << Cell("DATE", 10)
              << Cell("BUYER", 26) << Cell("ERP ORDER", 22) << "STATE\n";
    auto older = all->Clone();
    for (mains->MoveFirst(); !mains->Eof(); mains->MoveNext()) {
        PrintRow(*mains, true, notLoaded);
        older->SetFilter("ID_PADRE = '" +
                         kvad::ReplaceAll(mains->Value("ID_RIGA").Text(), "'", "''") + "'");
        older->SetSort("LIVELLO");
        for (; !older->Eof(); older->MoveNext()) {
            PrintRow(*older, false, notLoaded);
        }
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
    list->callback([&settings, processed, all] {
        List(settings, processed->count() > 0 ? kvad::kaOrdiniProcessati
                       : all->count() > 0     ? kvad::kaOrdiniTutti
                                              : kvad::kaOrdiniDaProcessare);
    });
}

} // namespace nsoapp
