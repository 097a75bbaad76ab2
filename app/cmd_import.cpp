// "nso import": makes ERP orders of processed chains, one chain at a time with a progress bar,
// then says per chain what became of each document: the ERP order made, the older ERP orders
// made no longer to be fulfilled, or why the chain failed.
#include <algorithm>
#include <iostream>
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

namespace nsoapp {

void RunImport(const Settings& settings, const ImportOptions& options) {
    if (options.chains.empty() && !options.all) {
        throw std::runtime_error("name the chains to import (register id or order number of any "
                                 "of their documents, see `nso list`) or give --all");
    }
    Session session = OpenSession(settings);
    // Held for the whole import: a second import, a processing or an edit waits instead of
    // working on the chains being imported.
    const kvad::db::CompanyLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Clerk, "nso import",
                    options.waitSeconds);
    session.nso->Inizializza();
    RequireOk(session, "reading the configuration (`nso config set` writes it)");
    SelectChains(session, settings, options.chains, options.all, options.latestOnly);
    // The codes processing wrote, without processing anything again: the orders are imported
    // as the clerk reviewed and corrected them.
    session.nso->AssignProcessingCodes();
    if (session.nso->Stato() == kvad::kaErrNessunDatoDaElaborare) {
        if (options.json) {
            PrintJson(ImportJson({}));
        } else {
            std::cout << "Nothing to import: no chain can be selected (`nso list --all` shows "
                         "the chains and their state).\n";
        }
        return;
    }
    RequireOk(session, "reading the processing codes");
    kvad::kaEnumContesto every = kvad::Contesto_Tutti;
    (void)session.nso->GetRstElaborazione(every);
    RequireOk(session, "opening the processed orders");

    ProgressView view("importing...", options.json ? ProgressView::Channel::BesideJson
                                                   : ProgressView::Channel::Stdout);
    view.Follow(*session.nso);
    session.nso->ImportaDocumenti();
    view.End();
    const kvad::kaEnumNSOErrStato outcome = session.nso->Stato();
    const std::string failure = session.nso->Errore().Text();

    const std::vector<kvad::read_model::ChainReport> chains =
        kvad::read_model::ReadImportReport(*session.nso);
    if (options.json) {
        PrintJson(ImportJson(chains));
    } else {
        PrintImport(std::cout, chains);
    }
    if (outcome == kvad::kaErrVB && !kvad::read_model::AnyFailed(chains)) {
        throw ComponentFailure(session.nso->LastDatabaseCondition(), session.database,
                               "the import stopped: " + failure);
    }
    if (!options.json) {
        std::cout << "`nso orders` lists the ERP orders, `nso list --processed` the imported "
                     "chains.\n";
    }
    if (kvad::read_model::AnyFailed(chains)) {
        throw std::runtime_error("some chains were not imported; `nso show ORDER` and `nso "
                                 "edit ORDER FIELD=VALUE` review and correct an order");
    }
}

} // namespace nsoapp
