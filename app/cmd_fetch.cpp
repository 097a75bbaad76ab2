// "nso fetch": retrieves the company's new documents from the document platform, with a
// progress bar, takes in again the documents an earlier run left incomplete, and ends with a
// summary that names every document that could not be loaded, with its reason.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include "app/commands.h"
#include "app/failure.h"
#include "app/main_job.h"
#include "app/progress_view.h"
#include "app/retrieval_lock.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

struct FetchOptions {
    bool retryMissing = false;
    double waitSeconds = 10;
};

std::string Name(const kvad::DocumentOutcome& document) {
    return Printable(document.number + " (" + document.hubId + ")");
}

std::string Reason(const kvad::DocumentOutcome& document) {
    if (document.IsLoaded()) {
        return "loaded";
    }
    return Printable(document.reason) +
           (document.RetryCanHelp() ? " (`nso fetch --retry-missing` tries again)" : "");
}

std::size_t NotLoaded(const std::vector<kvad::DocumentOutcome>& documents) {
    return static_cast<std::size_t>(std::count_if(documents.begin(), documents.end(),
                                                  [](const auto& d) { return !d.IsLoaded(); }));
}

void PrintNotLoaded(const std::vector<kvad::DocumentOutcome>& documents) {
    for (const auto& document : documents) {
        if (!document.IsLoaded()) {
            std::cout << "  " << Name(document) << ": " << Reason(document) << "\n";
        }
    }
}

std::chrono::milliseconds Wait(const FetchOptions& options) {
    return std::chrono::milliseconds(
        static_cast<long long>(std::max(0.0, options.waitSeconds) * 1000.0));
}

void Fetch(const Settings& settings, const FetchOptions& options) {
    Session session = OpenSession(settings);
    RequireWritable(session, settings);
    RequireConfiguration(session, settings);
    const RetrievalLock lock(settings.database, settings.company, Wait(options));
    ProgressView view("connecting to the document platform...");
    const FetchOutcome outcome = FetchDocuments(session, settings, view);
    const kvad::RetrievalReport& report = outcome.report;
    std::cout << "listed " << report.listed << ", new " << report.registered.size()
              << ", already registered " << report.alreadyRegistered.size() << ", failed to load "
              << NotLoaded(report.registered) << "\n";
    PrintNotLoaded(report.registered);
    if (settings.verbose) {
        for (const auto& document : report.alreadyRegistered) {
            std::cout << "  already registered: " << Name(document) << "\n";
        }
    }
    if (!outcome.repaired.empty()) {
        std::cout << "taken in again " << outcome.repaired.size()
                  << " document(s) that an earlier run left incomplete:\n";
        for (const auto& document : outcome.repaired) {
            std::cout << "  " << Name(document) << ": " << Reason(document) << "\n";
        }
    }
    if (outcome.NotLoaded() > 0) {
        throw CLI::RuntimeError(kExitNotLoaded);
    }
}

void RetryMissing(const Settings& settings, const FetchOptions& options) {
    Session session = OpenSession(settings);
    RequireWritable(session, settings);
    const RetrievalLock lock(settings.database, settings.company, Wait(options));
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
        throw CLI::RuntimeError(kExitNotLoaded);
    }
}

} // namespace

void AddFetchCommand(CLI::App& app, Settings& settings) {
    CLI::App* fetch =
        app.add_subcommand("fetch", "Retrieve the company's new documents from the platform");
    auto options = std::make_shared<FetchOptions>();
    fetch->add_flag("--retry-missing", options->retryMissing,
                    "Download again the registered documents whose XML was never stored");
    fetch
        ->add_option("--wait", options->waitSeconds,
                     "Seconds to wait while another retrieval of the company runs (default 10)")
        ->type_name("SECONDS");
    fetch->callback([&settings, options] {
        if (options->retryMissing) {
            RetryMissing(settings, *options);
        } else {
            Fetch(settings, *options);
        }
    });
}

} // namespace nsoapp
