// "nso run": the main job in one command, as an integrator schedules it: fetch the new
// documents, process every chain that can be selected, import the chains whose orders passed
// verification; a progress bar per phase, then one summary that names what is left for a clerk.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/failure.h"
#include "app/json_output.h"
#include "app/main_job.h"
#include "app/progress_view.h"
#include "app/review.h"
#include "app/session.h"
#include "app/terminal_text.h"
#include "app/work_lock.h"

namespace nsoapp {
namespace {

using Clock = std::chrono::steady_clock;

struct RunResult {
    FetchOutcome fetched;
    ProcessOutcome processed;
    ImportOutcome imported;
    double seconds[3] = {0, 0, 0};
    int exitStatus = kExitOk;
    std::string failure; ///< what stopped a phase, "" when none did
};

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int ExitStatusOf(const RunResult& run) {
    if (!run.failure.empty()) {
        return kExitFailed;
    }
    if (run.fetched.NotLoaded() > 0 || !run.processed.passedOver.empty()) {
        return kExitNotLoaded;
    }
    if (!run.processed.toReview.empty() || !run.imported.failures.empty()) {
        return kExitForClerk;
    }
    return kExitOk;
}

Json DocumentsJson(const std::vector<kvad::DocumentOutcome>& documents, bool notLoadedOnly) {
    Json list = Json::array();
    for (const kvad::DocumentOutcome& d : documents) {
        if (notLoadedOnly && d.IsLoaded()) {
            continue;
        }
        list.push_back(Json{{"id", d.id},
                            {"number", d.number},
                            {"platform_id", d.hubId},
                            {"loaded", d.IsLoaded()},
                            {"reason", d.reason.empty() ? Json(nullptr) : Json(d.reason)},
                            {"retry_can_help", d.RetryCanHelp()}});
    }
    return list;
}

Json RunJson(const RunResult& run) {
    const kvad::RetrievalReport& report = run.fetched.report;
    Json toReview = Json::array();
    for (const OrderToReview& order : run.processed.toReview) {
        Json errors = Json::array();
        for (const kvad::read_model::Message& m : order.errors) {
            errors.push_back(MessageJson(m));
        }
        toReview.push_back(
            Json{{"id", order.document.id},
                 {"title", kvad::read_model::Title(order.document)},
                 {"status", order.verdict == Verdict::Error ? "error" : "not_verified"},
                 {"errors", std::move(errors)}});
    }
    Json failures = Json::array();
    for (const ChainFailure& f : run.imported.failures) {
        failures.push_back(
            Json{{"chain_of", kvad::read_model::Title(f.latest)}, {"reason", f.reason}});
    }
    Json processing = TallyJson(run.processed.tally);
    processing["chains"] = run.processed.chains;
    processing["stopped"] =
        run.processed.stopped.empty() ? Json(nullptr) : Json(run.processed.stopped);
    processing["passed_over"] = PassedOverJson(run.processed.passedOver);
    processing["seconds"] = run.seconds[1];
    const kvad::read_model::ImportTotals& totals = run.imported.totals;
    return Json{
        {"fetch", Json{{"listed", report.listed},
                       {"new", report.registered.size()},
                       {"already_registered", report.alreadyRegistered.size()},
                       {"not_loaded", DocumentsJson(report.registered, true)},
                       {"taken_in_again", DocumentsJson(run.fetched.repaired, false)},
                       {"seconds", run.seconds[0]}}},
        {"process", std::move(processing)},
        {"import", Json{{"chains", totals.chains},
                        {"imported", totals.imported},
                        {"failed", totals.failed},
                        {"erp_orders_made", totals.ordersMade},
                        {"closed", totals.closed},
                        {"failures", std::move(failures)},
                        {"stopped",
                         run.imported.stopped.empty() ? Json(nullptr) : Json(run.imported.stopped)},
                        {"seconds", run.seconds[2]}}},
        {"left_for_clerk", std::move(toReview)},
        {"failure", run.failure.empty() ? Json(nullptr) : Json(run.failure)},
        {"exit_status", run.exitStatus}};
}

/// The documents the fetch could not load, and the chains processing passed over that it did
/// not name already, each with its reason; texts that came with a reason on lines of their own.
void PrintNotProcessed(const RunResult& run, bool verbose) {
    std::vector<std::int32_t> named;
    for (const kvad::DocumentOutcome& d : run.fetched.report.registered) {
        if (!d.IsLoaded()) {
            const SplitReason reason = SplitDetail(d.reason);
            std::cout << "  not loaded: " << Printable(d.number + " (" + d.hubId + ")") << ": "
                      << Printable(reason.plain) << "\n";
            PrintBeneath(std::cout, reason.detail, "      ");
            named.push_back(d.id);
        }
    }
    std::vector<kvad::read_model::PassedOver> passed;
    for (const kvad::read_model::PassedOver& p : run.processed.passedOver) {
        if (std::find(named.begin(), named.end(), p.document.id) == named.end()) {
            passed.push_back(p);
        }
    }
    PrintPassedOver(std::cout, passed, verbose, "  ");
    if (!run.processed.stopped.empty()) {
        std::cout << "  the processing stopped at a document that failed; the documents after it "
                     "were not processed"
                  << (verbose ? ":" : " (--verbose shows the component's text)") << "\n";
        if (verbose) {
            PrintBeneath(std::cout, run.processed.stopped, "      ");
        }
    }
}

void PrintSummary(const RunResult& run, bool verbose) {
    const kvad::RetrievalReport& report = run.fetched.report;
    const VerdictCounts& tally = run.processed.tally;
    const kvad::read_model::ImportTotals& totals = run.imported.totals;
    std::cout << "\nSummary\n"
              << "  fetched:   listed " << report.listed << ", new " << report.registered.size()
              << ", already registered " << report.alreadyRegistered.size() << ", failed to load "
              << run.fetched.NotLoaded() << "\n"
              << "  processed: " << run.processed.chains << " chain(s); " << tally.Reviewed()
              << " order(s) reviewed: " << tally.ready << " ready, " << tally.warning
              << " with warnings, " << tally.error << " with errors";
    if (tally.unverified > 0) {
        std::cout << ", " << tally.unverified << " not verified";
    }
    if (!run.processed.passedOver.empty()) {
        std::cout << "; " << run.processed.passedOver.size() << " chain(s) passed over";
    }
    std::cout << "\n  imported:  " << totals.imported << " of " << totals.chains << " chain(s); "
              << totals.ordersMade << " ERP order(s) made, " << totals.closed
              << " made no longer to be fulfilled, " << totals.failed << " chain(s) failed\n";
    PrintNotProcessed(run, verbose);
    if (!run.processed.toReview.empty() || !run.imported.failures.empty()) {
        std::cout << "\nLeft for a clerk (not imported):\n";
        for (const OrderToReview& order : run.processed.toReview) {
            std::cout << "  " << kvad::read_model::Title(order.document) << ": "
                      << (order.verdict == Verdict::Error ? "verification found errors"
                                                          : "not processed")
                      << "\n";
            PrintMessages(std::cout, order.errors, "    ");
        }
        for (const ChainFailure& f : run.imported.failures) {
            // The reason is the ERP's or the component's own text: on lines of its own.
            std::cout << "  chain of " << kvad::read_model::Title(f.latest) << ": import failed"
                      << (f.reason.empty() ? "" : ":") << "\n";
            PrintBeneath(std::cout, f.reason, "      ");
        }
        std::cout << "`nso show ORDER` reviews an order, `nso edit ORDER FIELD=VALUE` corrects "
                     "it, `nso import ORDER` imports its chain.\n";
    } else if (run.failure.empty()) {
        std::cout << "Nothing is left for a clerk.\n";
    }
}

} // namespace

void RunMainJob(const Settings& settings, const RunOptions& options) {
    const auto channel =
        options.json ? ProgressView::Channel::BesideJson : ProgressView::Channel::Stdout;
    const auto heading = [&](const char* phase) {
        if (!options.json) {
            std::cout << "== " << phase << "\n" << std::flush;
        }
    };
    RunResult run;
    Clock::time_point start = Clock::now();
    try {
        Session session = OpenSession(settings);
        RequireWritable(session, settings);
        RequireConfiguration(session, settings);
        // Both held for the whole run, the retrieval lock first as every command takes them: a
        // fetch waits instead of taking in the same documents, a processing, an edit or an import
        // instead of working on the chains the run processes and imports.
        const WorkLock retrieval =
            LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Retrieval,
                        "nso run", options.waitSeconds);
        const WorkLock clerk =
            LockCompany(settings.database, settings.company, kvad::db::CompanyWork::Clerk,
                        "nso run", options.waitSeconds);

        heading("fetch: new documents from the platform");
        ProgressView fetching("connecting to the document platform...", channel);
        run.fetched = FetchDocuments(session, settings, fetching);
        run.seconds[0] = Since(start);

        // Processing and import go batch by batch: each batch of chains is processed, then its
        // ready chains imported.
        JobDisplay display;
        display.channel = channel;
        display.heading = [&](JobPhase phase, std::size_t batch, std::size_t batches) {
            if (options.json) {
                return;
            }
            const std::string of = batches > 1 ? " (batch " + std::to_string(batch) + " of " +
                                                     std::to_string(batches) + ")"
                                               : "";
            if (phase == JobPhase::Process) {
                std::cout << "== process: "
                          << (batch > 1 ? "load, decode and verify the next chains"
                                        : "load, decode and verify every chain to process")
                          << of << "\n"
                          << std::flush;
            } else {
                std::cout << "== import: ERP orders of the chains whose orders passed verification"
                          << of << "\n"
                          << std::flush;
            }
        };
        BatchedOutcome batched =
            ProcessAndImport(session, options.latestOnly, options.batchChains, display);
        run.processed = std::move(batched.processed);
        run.imported = std::move(batched.imported);
        run.seconds[1] = batched.processSeconds;
        run.seconds[2] = batched.importSeconds;
        if (!run.imported.stopped.empty()) {
            run.failure = "the import stopped on an unexpected error (--verbose shows it)";
        } else if (!run.processed.stopped.empty()) {
            run.failure = "the processing stopped at a document that failed; the documents "
                          "after it were not processed";
        }
    } catch (const std::exception& error) {
        // A phase that cannot go on, or a run that cannot start: what the phases before it did
        // is still told.
        const ToldFailure told = TellFailure(error, settings.database);
        run.failure = told.message;
        run.exitStatus = told.exitCode;
        if (options.json) {
            PrintJson(RunJson(run));
        }
        throw;
    }
    run.exitStatus = ExitStatusOf(run);
    if (options.json) {
        PrintJson(RunJson(run));
    } else {
        PrintSummary(run, settings.verbose);
    }
    if (!run.failure.empty()) {
        // The component's own text goes beneath, with --verbose.
        throw Failure(run.failure,
                      !run.imported.stopped.empty() ? run.imported.stopped : run.processed.stopped);
    }
    if (run.exitStatus != kExitOk) {
        throw ExitStatus(run.exitStatus);
    }
}

} // namespace nsoapp
