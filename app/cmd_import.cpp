// "nso import": makes ERP orders of processed chains, one chain at a time with a progress bar,
// then says per chain what became of each document: the ERP order made, the older ERP orders
// made no longer to be fulfilled, or why the chain failed. A chain processing has not reviewed
// is not imported: named alone it is refused, with --all it is left for `nso process`.
#include <algorithm>
#include <iostream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/failure.h"
#include "app/import_report.h"
#include "app/json_output.h"
#include "app/order_ref.h"
#include "app/progress_view.h"
#include "app/review.h"
#include "app/session.h"
#include "app/work_lock.h"
#include "kvad_nso/read_model/processing_summary.h"

namespace nsoapp {
namespace {

using kvad::read_model::UnprocessedChain;

constexpr const char* kChainsFailed = "some chains were not imported; `nso show ORDER` and `nso "
                                      "edit ORDER FIELD=VALUE` review and correct an order";

/// Refuses, before anything is written, the import of chains named that processing has not
/// reviewed: what to run first.
[[noreturn]] void RefuseUnprocessed(const std::vector<UnprocessedChain>& chains) {
    const auto run = [](const UnprocessedChain& c) {
        return "`nso process " + std::to_string(c.document.id) + "`";
    };
    if (chains.size() == 1) {
        throw Failure(kvad::read_model::Title(chains.front().document) + " is not processed yet: " +
                      run(chains.front()) + " processes its chain first; nothing was imported");
    }
    std::string message = std::to_string(chains.size()) +
                          " chains are not processed yet, so nothing was imported; process "
                          "them first:";
    for (const UnprocessedChain& c : chains) {
        message += "\n  " + kvad::read_model::Title(c.document) + ": " + run(c);
    }
    throw Failure(message);
}

void PrintLeftUnprocessed(const std::vector<UnprocessedChain>& chains) {
    if (chains.empty()) {
        return;
    }
    std::cout << "Not imported, not processed yet (`nso process --all` processes them):\n";
    for (const UnprocessedChain& c : chains) {
        std::cout << "  " << kvad::read_model::Title(c.document) << "\n";
    }
}

Json UnprocessedJson(const std::vector<UnprocessedChain>& chains) {
    Json list = Json::array();
    for (const UnprocessedChain& c : chains) {
        list.push_back(Json{{"id", c.document.id}, {"title", kvad::read_model::Title(c.document)}});
    }
    return list;
}

/// The codes processing wrote, without processing anything again: the orders are imported as
/// the clerk reviewed and corrected them. Chains never processed are refused when named, and
/// left out of --all; they are returned.
std::vector<UnprocessedChain> AssignCodesOfProcessed(Session& session,
                                                     const ImportOptions& options) {
    session.nso->AssignProcessingCodes();
    if (session.nso->Stato() != kvad::kaOK) {
        return {};
    }
    std::vector<UnprocessedChain> unprocessed = kvad::read_model::UnprocessedChains(*session.nso);
    if (unprocessed.empty()) {
        return unprocessed;
    }
    if (!options.all) {
        RefuseUnprocessed(unprocessed);
    }
    // Left for processing; the others keep their selection and their codes.
    std::vector<std::int32_t> latest;
    latest.reserve(unprocessed.size());
    for (const UnprocessedChain& c : unprocessed) {
        latest.push_back(c.latest);
    }
    kvad::read_model::DeselectChains(*session.nso, latest);
    session.nso->AssignProcessingCodes();
    return unprocessed;
}

void PrintNothingToImport(const ImportOptions& options,
                          const std::vector<UnprocessedChain>& unprocessed) {
    if (options.json) {
        Json document = ImportJson({});
        document["not_processed"] = UnprocessedJson(unprocessed);
        document["failure"] = nullptr;
        document["exit_status"] = kExitOk;
        PrintJson(document);
        return;
    }
    std::cout << "Nothing to import: no chain can be selected (`nso list --all` shows the "
                 "chains and their state).\n";
    PrintLeftUnprocessed(unprocessed);
}

} // namespace

void RunImport(const Settings& settings, const ImportOptions& options) {
    if (options.chains.empty() && !options.all) {
        throw std::runtime_error("name the chains to import (register id or order number of any "
                                 "of their documents, see `nso list`) or give --all");
    }
    Session session = OpenSession(settings);
    // Held for the whole import: a second import, a processing or an edit waits instead of
    // working on the chains being imported.
    const WorkLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Clerk, "nso import",
                    options.waitSeconds);
    RequireConfiguration(session, settings);
    const ChainSelection selection =
        SelectChains(session, settings, options.chains, options.all, options.latestOnly);

    // Batch by batch, so that the recordsets hold one batch's orders, not the backlog's.
    ProgressView view("importing...", options.json ? ProgressView::Channel::BesideJson
                                                   : ProgressView::Channel::Stdout);
    std::vector<UnprocessedChain> unprocessed;
    std::vector<kvad::read_model::ChainReport> chains;
    bool imported = false;
    bool stopped = false;
    std::string errore;
    ForEachBatch(session, selection, options.batchChains, [&](std::size_t, std::size_t) {
        std::vector<UnprocessedChain> left = AssignCodesOfProcessed(session, options);
        unprocessed.insert(unprocessed.end(), left.begin(), left.end());
        if (session.nso->Stato() == kvad::kaErrNessunDatoDaElaborare) {
            return true;
        }
        RequireOk(session, "reading the processing codes");
        kvad::kaEnumContesto every = kvad::Contesto_Tutti;
        (void)session.nso->GetRstElaborazione(every);
        RequireOk(session, "opening the processed orders");
        view.Follow(*session.nso);
        session.nso->ImportaDocumenti();
        view.End();
        imported = true;
        const kvad::kaEnumNSOErrStato outcome = session.nso->Stato();
        errore = session.nso->Errore().Text();
        std::vector<kvad::read_model::ChainReport> batch =
            kvad::read_model::ReadImportReport(*session.nso);
        // An import that stopped on an unexpected error ends here; a chain that failed does not.
        stopped = outcome == kvad::kaErrVB && !kvad::read_model::AnyFailed(batch);
        std::move(batch.begin(), batch.end(), std::back_inserter(chains));
        return !stopped;
    });
    if (!imported) {
        PrintNothingToImport(options, unprocessed);
        return;
    }

    const bool failed = kvad::read_model::AnyFailed(chains);
    const std::string failure = stopped  ? "the import stopped on an unexpected error"
                                : failed ? kChainsFailed
                                         : "";
    if (options.json) {
        Json document = ImportJson(chains);
        document["not_processed"] = UnprocessedJson(unprocessed);
        document["failure"] = failure.empty() ? Json(nullptr) : Json(failure);
        document["exit_status"] = failure.empty() ? kExitOk : kExitFailed;
        PrintJson(document);
    } else {
        PrintImport(std::cout, chains);
        PrintLeftUnprocessed(unprocessed);
    }
    if (stopped) {
        const std::string trouble =
            DatabaseTrouble(session.nso->LastDatabaseCondition(), session.database);
        throw Failure(trouble.empty() ? failure + " (--verbose shows it)" : trouble, errore);
    }
    if (!options.json) {
        std::cout << "`nso orders` lists the ERP orders, `nso list --processed` the imported "
                     "chains.\n";
    }
    if (failed) {
        throw std::runtime_error(kChainsFailed);
    }
}

} // namespace nsoapp
