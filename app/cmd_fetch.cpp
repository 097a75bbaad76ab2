// "nso fetch": retrieves the company's new documents from the document platform, with a
// progress bar, takes in again the documents an earlier run left incomplete, and ends with a
// summary that names every document that could not be loaded, with its reason.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "app/commands.h"
#include "app/failure.h"
#include "app/inbox_watch.h"
#include "app/main_job.h"
#include "app/progress_view.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "app/work_lock.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

std::string DocumentName(const kvad::DocumentOutcome& document) {
    return Printable(document.number + " (" + document.hubId + ")");
}

/// The document's outcome on the rest of its line, the component's text that came with the
/// reason on lines of its own.
void PrintOutcome(const kvad::DocumentOutcome& document) {
    if (document.IsLoaded()) {
        std::cout << "loaded\n";
        return;
    }
    const SplitReason reason = SplitDetail(document.reason);
    std::cout << Printable(reason.plain)
              << (document.RetryCanHelp() ? " (`nso fetch --retry-missing` tries again)" : "")
              << "\n";
    PrintBeneath(std::cout, reason.detail, "      ");
}

std::size_t NotLoadedCount(const std::vector<kvad::DocumentOutcome>& documents) {
    return static_cast<std::size_t>(std::count_if(documents.begin(), documents.end(),
                                                  [](const auto& d) { return !d.IsLoaded(); }));
}

void PrintNotLoaded(const std::vector<kvad::DocumentOutcome>& documents) {
    for (const auto& document : documents) {
        if (!document.IsLoaded()) {
            std::cout << "  " << DocumentName(document) << ": ";
            PrintOutcome(document);
        }
    }
}

void Fetch(const Settings& settings, const FetchOptions& options) {
    Session session = OpenSession(settings);
    RequireWritable(session, settings);
    RequireConfiguration(session, settings);
    const WorkLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Retrieval,
                    "nso fetch", options.waitSeconds);
    ProgressView view("connecting to the document platform...");
    const FetchOutcome outcome = FetchDocuments(session, settings, view);
    const kvad::RetrievalReport& report = outcome.report;
    std::cout << "listed " << report.listed << ", new " << report.registered.size()
              << ", already registered " << report.alreadyRegistered.size() << ", failed to load "
              << NotLoadedCount(report.registered) << "\n";
    PrintNotLoaded(report.registered);
    if (settings.verbose) {
        for (const auto& document : report.alreadyRegistered) {
            std::cout << "  already registered: " << DocumentName(document) << "\n";
        }
    }
    if (!outcome.repaired.empty()) {
        std::cout << "taken in again " << outcome.repaired.size()
                  << " document(s) that an earlier run left incomplete:\n";
        for (const auto& document : outcome.repaired) {
            std::cout << "  " << DocumentName(document) << ": ";
            PrintOutcome(document);
        }
    }
    if (outcome.NotLoaded() > 0) {
        throw ExitStatus(kExitNotLoaded);
    }
}

void RetryMissing(const Settings& settings, const FetchOptions& options) {
    Session session = OpenSession(settings);
    RequireWritable(session, settings);
    const WorkLock lock =
        LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Retrieval,
                    "nso fetch --retry-missing", options.waitSeconds);
    const std::vector<std::int32_t> ids = session.nso->DownloadMissingDocuments();
    if (session.nso->Stato() == kvad::kaErrConnessioneNSO) {
        PlatformFailure(session, settings);
    }
    RequireOk(session, "downloading the documents without XML");
    if (ids.empty()) {
        std::cout << "every registered document has its XML\n";
        return;
    }
    std::vector<kvad::DocumentOutcome> failed = session.nso->DocumentsNotLoaded();
    RequireOk(session, "reading what became of the documents");
    std::erase_if(failed, [&](const auto& d) {
        return std::find(ids.begin(), ids.end(), d.id) == ids.end();
    });
    const auto undelivered = std::count_if(failed.begin(), failed.end(), [](const auto& d) {
        return d.outcome == kvad::IntakeOutcome::DownloadFailed;
    });
    std::cout << "missing " << ids.size() << ", downloaded "
              << static_cast<long>(ids.size()) - undelivered << ", failed " << failed.size()
              << "\n";
    PrintNotLoaded(failed);
    if (!failed.empty()) {
        throw ExitStatus(kExitNotLoaded);
    }
}

/// Fetches whenever the company's inbox folder changes, until the process is interrupted; each
/// fetch says in one line what it brought, a failure is told and the watch goes on.
[[noreturn]] void Watch(const Settings& settings, const FetchOptions& options) {
    InboxWatch watch(settings);
    std::cout << "watching the inbox " << settings.inbox << " for company " << settings.company
              << " (Ctrl-C stops)\n"
              << std::flush;
    for (;;) {
        if (watch.Changed()) {
            try {
                const FetchOutcome outcome = FetchNewDocuments(settings, options.waitSeconds);
                std::cout << "new " << outcome.report.registered.size() << ", not loaded "
                          << outcome.NotLoaded() << "\n";
                PrintNotLoaded(outcome.report.registered);
                std::cout << std::flush;
            } catch (const std::exception& e) {
                std::cerr << "nso: " << e.what() << " (the watch goes on)\n";
                watch.Forget();
            }
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));
    }
}

} // namespace

void RunFetch(const Settings& settings, const FetchOptions& options) {
    if (options.watch) {
        Watch(settings, options);
    }
    if (options.retryMissing) {
        RetryMissing(settings, options);
    } else {
        Fetch(settings, options);
    }
}

} // namespace nsoapp
