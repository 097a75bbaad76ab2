// The web host's routes: sessions and their safety (cookie, CSRF token, login, sizes), the
// screens, the long actions on threads of their own followed through Server-Sent Events, and
// the watch of the inbox.
#include "app/web/web_host.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "app/failure.h"
#include "app/inbox_watch.h"
#include "app/main_job.h"
#include "app/review.h"
#include "app/session.h"
#include "app/web/catalogue.h"
#include "app/web/html.h"
#include "app/web/pages.h"
#include "app/web/users.h"
#include "app/web/web_session.h"
#include "app/work_lock.h"
#include "host/master_data.h"
#include "kvad_nso/read_model/chain_list.h"
#include "kvad_nso/read_model/edit_fields.h"
#include "kvad_nso/read_model/erp_orders.h"
#include "kvad_nso/read_model/import_report.h"
#include "kvad_nso/read_model/order_edit.h"
#include "kvad_nso/read_model/processing_summary.h"
#include "kvad_nso/read_model/values.h"
#include "sqlite/company_lock.h"

namespace nsoweb {
namespace {

constexpr const char* kCss =
#include "app/web/web_css.inc" // generated from assets/web.css
    ;
constexpr const char* kJs =
#include "app/web/web_js.inc" // generated from assets/web.js
    ;

constexpr const char* kCookie = "nso_session";
constexpr std::size_t kDefaultChains = 50;
constexpr std::size_t kMostChains = 100000;

using kvad::db::CompanyWork;

/// A request's own state: its browser session and the page context made from it.
struct Visit {
    std::shared_ptr<WebSession> session;
    PageContext context;
};

std::string CookieValue(const httplib::Request& request, const std::string& name) {
    const std::string header = request.get_header_value("Cookie");
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find(';', start);
        end = end == std::string::npos ? header.size() : end;
        std::string item = header.substr(start, end - start);
        start = end + 1;
        item.erase(0, item.find_first_not_of(' '));
        if (item.rfind(name + "=", 0) == 0) {
            return item.substr(name.size() + 1);
        }
    }
    return {};
}

void SecurityHeaders(httplib::Response& response) {
    response.set_header("Content-Security-Policy",
                        "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' "
                        "data:; frame-ancestors 'self'; form-action 'self'; base-uri 'none'");
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("Referrer-Policy", "same-origin");
    response.set_header("Cache-Control", "no-store");
}

void Html(httplib::Response& response, const std::string& page, int status = 200) {
    response.status = status;
    response.set_content(page, "text/html; charset=utf-8");
}

void Redirect(httplib::Response& response, const std::string& to) {
    response.status = 303;
    response.set_header("Location", to);
}

/// A whole number from 0 of at most 9 digits that a request gives (`what` names it when it is
/// not one).
std::int32_t NumberOf(const std::string& text, const std::string& what) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.size() > 9 || error != std::errc() ||
        end != text.data() + text.size() || value < 0) {
        throw nsoapp::Failure("'" + text + "' is not " + what);
    }
    return value;
}

std::int32_t PathId(const httplib::Request& request) {
    return NumberOf(request.matches[1], "a register id");
}

} // namespace

bool IsOwnLoopback(const std::string& host) {
    return host == "127.0.0.1" || host == "::1" || host == "localhost";
}

struct WebHost::Impl {
    nsoapp::Settings settings;
    HostOptions options;
    httplib::Server server;
    SessionStore sessions;
    std::mutex openMutex; ///< the component's classes and platform are registered one at a time
    std::mutex threadsMutex;
    /// The threads of long actions (with their jobs, to know which have ended) and the watch.
    std::vector<std::pair<std::shared_ptr<Job>, std::thread>> threads;
    std::atomic<bool> stopping{false};
    int boundPort = 0;

    Impl(nsoapp::Settings s, HostOptions o)
        : settings(std::move(s)), options(std::move(o)),
          sessions(options.maxSessions, std::chrono::minutes(8 * 60)) {
        options.loginRequired = options.loginRequired || !IsOwnLoopback(options.host);
        Routes();
    }

    // --- sessions and safety -------------------------------------------------------------

    /// The visit's session, made when the browser has none; the cookie goes with the response.
    Visit Enter(const httplib::Request& request, httplib::Response& response) {
        Visit visit;
        visit.session = sessions.Find(CookieValue(request, kCookie));
        if (!visit.session) {
            visit.session = sessions.Create();
            response.set_header("Set-Cookie", std::string(kCookie) + "=" + visit.session->id +
                                                  "; Path=/; HttpOnly; SameSite=Strict");
        }
        visit.context.language = FromAcceptLanguage(request.get_header_value("Accept-Language"));
        visit.context.csrf = visit.session->csrf;
        visit.context.user = visit.session->user;
        visit.context.watching = options.watch;
        SecurityHeaders(response);
        return visit;
    }

    /// Whether a state-changing request carries its session's token (form field or header).
    static bool CarriesToken(const httplib::Request& request, const WebSession& session) {
        const std::string token = request.has_param("csrf")
                                      ? request.get_param_value("csrf")
                                      : request.get_header_value("X-CSRF-Token");
        return SameToken(token, session.csrf);
    }

    using Handler = std::function<void(const httplib::Request&, httplib::Response&, Visit&)>;

    /// A route: the session entered, the login and the CSRF token checked, failures shown.
    httplib::Server::Handler Guarded(bool changesState, bool open, const Handler& handler) {
        return [this, changesState, open, handler](const httplib::Request& request,
                                                   httplib::Response& response) {
            Visit visit = Enter(request, response);
            if (changesState && !CarriesToken(request, *visit.session)) {
                Html(response,
                     ErrorPage(visit.context,
                               Translate(visit.context.language,
                                         "Refused: the request does not carry this session's "
                                         "form token. Reload the page and try again."),
                               ""),
                     403);
                return;
            }
            if (!open && options.loginRequired && visit.session->user.empty()) {
                if (changesState) {
                    Html(response,
                         ErrorPage(visit.context,
                                   Translate(visit.context.language, "Log in first."), ""),
                         403);
                } else {
                    Redirect(response, "/login");
                }
                return;
            }
            visit.context.notice = std::exchange(visit.session->notice, std::string());
            visit.context.noticeIsError =
                !visit.context.notice.empty() && visit.context.notice.front() == '!';
            if (visit.context.noticeIsError) {
                visit.context.notice.erase(0, 1);
            }
            try {
                handler(request, response, visit);
            } catch (const std::exception& e) {
                const nsoapp::ToldFailure told = nsoapp::TellFailure(e, settings.database);
                Html(response, ErrorPage(visit.context, told.message, told.detail), 500);
            }
        };
    }

    /// Runs `work` with the session's component, opening it on first use. A session whose long
    /// action holds the component is sent to that action's page.
    template <typename Work>
    void WithComponent(Visit& visit, httplib::Response& response, Work work) {
        WebSession& session = *visit.session;
        std::unique_lock lock(session.work, std::defer_lock);
        if (!lock.try_lock_for(std::chrono::seconds(2))) {
            Redirect(response, "/job");
            return;
        }
        if (!session.component) {
            const std::lock_guard open(openMutex);
            session.component = nsoapp::OpenSession(settings);
        }
        work(*session.component);
    }

    std::string Holder(const std::string& what, const Visit& visit) const {
        return "nso serve (" + what +
               (visit.session->user.empty() ? "" : " by " + visit.session->user) + ")";
    }

    /// Takes a lock for a long action, telling the job what it waits for meanwhile.
    nsoapp::WorkLock WaitForLock(Job& job, CompanyWork work, const std::string& name) const {
        const auto until =
            std::chrono::steady_clock::now() +
            std::chrono::milliseconds(static_cast<long long>(options.lockWaitSeconds * 1000));
        for (;;) {
            try {
                nsoapp::WorkLock lock =
                    nsoapp::TakeCompanyLock(settings.database, settings.company, work, name, 0);
                job.Waiting("");
                return lock;
            } catch (const nsoapp::WorkLockBusy& busy) {
                if (std::chrono::steady_clock::now() > until || stopping) {
                    throw nsoapp::Failure(std::string(busy.what()) +
                                          ": try again when it has ended");
                }
                job.Waiting(busy.what());
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
            }
        }
    }

    using JobWork = std::function<std::string(nsoapp::Session&, Job&)>;

    /// Starts a long action of the session on a thread of its own and sends the browser to its
    /// page; a session runs one at a time.
    void StartJob(Visit& visit, httplib::Response& response, const std::string& title,
                  const JobWork& work) {
        std::shared_ptr<WebSession> session = visit.session;
        if (session->job && !session->job->State().done) {
            Redirect(response, "/job");
            return;
        }
        auto job = std::make_shared<Job>(title);
        session->job = job;
        const PageContext context = visit.context;
        const std::lock_guard guard(threadsMutex);
        // The threads of actions that have ended are joined here, so that they do not pile up.
        for (auto& [ended, thread] : threads) {
            if (ended && ended->State().done && thread.joinable()) {
                thread.join();
            }
        }
        std::erase_if(threads, [](const auto& entry) { return !entry.second.joinable(); });
        threads.emplace_back(job, [this, session, job, work, context] {
            std::string outcome;
            bool failed = false;
            try {
                const std::unique_lock lock(session->work);
                if (!session->component) {
                    const std::lock_guard open(openMutex);
                    session->component = nsoapp::OpenSession(settings);
                }
                outcome = work(*session->component, *job);
            } catch (const std::exception& e) {
                const nsoapp::ToldFailure told = nsoapp::TellFailure(e, settings.database);
                outcome = "<p class=\"error\" role=\"alert\">" + Escape(told.message) + "</p>" +
                          (told.detail.empty()
                               ? ""
                               : "<details><summary>" + context.T("details") + "</summary><pre>" +
                                     Escape(told.detail) + "</pre></details>");
                failed = true;
            }
            job->Finish(outcome, failed);
        });
        Redirect(response, "/job");
    }

    /// Follows the component's progress into the job while it lives.
    struct Following {
        kvad::CLSIE_NSO& nso;
        int token;
        Following(kvad::CLSIE_NSO& n, Job& job)
            : nso(n),
              token(n.AddOnProgress(
                  [&job](kvad::kaenumTipoOperazione&, std::int32_t& current, std::int32_t& maximum,
                         std::string& message) { job.Progress(current, maximum, message); })) {}
        ~Following() { nso.RemoveOnProgress(token); }
        Following(const Following&) = delete;
        Following& operator=(const Following&) = delete;
        Following(Following&&) = delete;
        Following& operator=(Following&&) = delete;
    };

    // --- the long actions ----------------------------------------------------------------

    std::string Fetch(nsoapp::Session& component, Job& job, const Visit& visit) {
        nsoapp::RequireWritable(component, settings);
        nsoapp::RequireConfiguration(component, settings);
        const nsoapp::WorkLock lock =
            WaitForLock(job, CompanyWork::Retrieval, Holder("fetch", visit));
        const Following following(*component.nso, job);
        nsoapp::ProgressView quiet("", nsoapp::ProgressView::Channel::Quiet);
        const nsoapp::FetchOutcome outcome = nsoapp::FetchDocuments(component, settings, quiet);
        return FetchOutcomeHtml(visit.context, outcome);
    }

    std::string Process(nsoapp::Session& component, Job& job, const Visit& visit,
                        const std::vector<std::int32_t>& ids) {
        if (ids.empty()) {
            throw nsoapp::Failure(
                Translate(visit.context.language, "Select the chains to process first."));
        }
        const nsoapp::WorkLock lock =
            WaitForLock(job, CompanyWork::Clerk, Holder("process", visit));
        component.nso->Inizializza();
        component.nso->SetParam_ModalitaImport(kvad::kaInteraCatena);
        nsoapp::SelectChainsOf(component, ids);
        const Following following(*component.nso, job);
        const kvad::read_model::ChainProcessing processing =
            kvad::read_model::ProcessSelectedChains(*component.nso);
        if (processing.nothingSelected) {
            throw nsoapp::Failure(Translate(
                visit.context.language,
                "Nothing to process: the chains selected are blocked or imported already."));
        }
        component.nso->SetStato(kvad::kaOK);
        component.nso->SetErrore(std::string());
        kvad::kaEnumContesto every = kvad::Contesto_Tutti;
        (void)component.nso->GetRstElaborazione(every);
        nsoapp::RequireOk(component, "reading the results");
        return ProcessOutcomeHtml(visit.context,
                                  kvad::read_model::ReadSelectedChains(*component.nso), processing);
    }

    std::string Import(nsoapp::Session& component, Job& job, const Visit& visit,
                       const std::vector<std::int32_t>& ids) {
        if (ids.empty()) {
            throw nsoapp::Failure(
                Translate(visit.context.language, "Select the chains to import first."));
        }
        const nsoapp::WorkLock lock = WaitForLock(job, CompanyWork::Clerk, Holder("import", visit));
        nsoapp::RequireConfiguration(component, settings);
        component.nso->SetParam_ModalitaImport(kvad::kaInteraCatena);
        nsoapp::SelectChainsOf(component, ids);
        kvad::CLSIE_NSO& nso = *component.nso;
        nso.AssignProcessingCodes();
        std::vector<kvad::read_model::UnprocessedChain> unprocessed;
        if (nso.Stato() == kvad::kaOK) {
            unprocessed = kvad::read_model::UnprocessedChains(nso);
            if (!unprocessed.empty()) {
                std::vector<std::int32_t> latest;
                latest.reserve(unprocessed.size());
                for (const auto& chain : unprocessed) {
                    latest.push_back(chain.latest);
                }
                kvad::read_model::DeselectChains(nso, latest);
                nso.AssignProcessingCodes();
            }
        }
        if (nso.Stato() == kvad::kaErrNessunDatoDaElaborare) {
            return ImportOutcomeHtml(visit.context, {}, unprocessed);
        }
        nsoapp::RequireOk(component, "reading the processing codes");
        kvad::kaEnumContesto every = kvad::Contesto_Tutti;
        (void)nso.GetRstElaborazione(every);
        nsoapp::RequireOk(component, "opening the processed orders");
        {
            const Following following(nso, job);
            nso.ImportaDocumenti();
        }
        const bool stopped = nso.Stato() == kvad::kaErrVB;
        const std::string errore = nso.Errore().Text();
        const auto chains = kvad::read_model::ReadImportReport(nso);
        if (stopped && !kvad::read_model::AnyFailed(chains)) {
            throw nsoapp::Failure("the import stopped on an unexpected error", errore);
        }
        return ImportOutcomeHtml(visit.context, chains, unprocessed);
    }

    // --- corrections ---------------------------------------------------------------------

    /// The value the review shows for a field: of the line edited, else of the header.
    static std::string CurrentText(const kvad::read_model::Order& order,
                                   const kvad::read_model::Line* edited, const std::string& alias) {
        if (edited != nullptr) {
            return LineFieldText(*edited, alias);
        }
        for (const auto& h : order.header) {
            if (h.field == alias) {
                return h.value;
            }
        }
        return {};
    }

    /// The fields of the posted form whose values differ from the order's, as changes; refusals
    /// of their form are gathered into `refused`.
    static std::vector<kvad::read_model::FieldChange>
    PostedChanges(const httplib::Request& request, const kvad::read_model::Order& order,
                  std::optional<std::int32_t> line, std::vector<std::string>& refused) {
        const kvad::read_model::Line* edited = nullptr;
        if (line) {
            const auto found = std::find_if(order.lines.begin(), order.lines.end(),
                                            [&](const auto& l) { return l.number == *line; });
            if (found == order.lines.end()) {
                throw nsoapp::Failure("the order has no line " + std::to_string(*line) +
                                      " (nothing was changed)");
            }
            edited = &*found;
        }
        std::vector<kvad::read_model::FieldChange> changes;
        for (const kvad::read_model::EditField& field : kvad::read_model::EditFields()) {
            if (field.line != line.has_value() || !request.has_param(field.alias)) {
                continue;
            }
            const std::string posted = request.get_param_value(field.alias);
            if (posted == CurrentText(order, edited, field.alias)) {
                continue;
            }
            try {
                changes.push_back({&field, kvad::read_model::ParseFieldValue(field, posted)});
            } catch (const kvad::read_model::Refusal& e) {
                refused.emplace_back(e.what());
            }
        }
        return changes;
    }

    void Edit(const httplib::Request& request, Visit& visit, nsoapp::Session& component,
              std::int32_t id) {
        std::optional<std::int32_t> line;
        if (request.has_param("line")) {
            line = NumberOf(request.get_param_value("line"), "a line number");
        }
        std::optional<nsoapp::WorkLock> lock;
        try {
            lock.emplace(nsoapp::TakeCompanyLock(settings.database, settings.company,
                                                 CompanyWork::Clerk, Holder("edit", visit),
                                                 options.editWaitSeconds));
        } catch (const nsoapp::WorkLockBusy& busy) {
            throw nsoapp::Failure(std::string(busy.what()) + ": " +
                                  Translate(visit.context.language,
                                            "the correction was not saved; save it again when "
                                            "that has ended"));
        }
        const kvad::read_model::Order before = nsoapp::ReviewedOrder(component, id);
        if (!before.editable) {
            throw nsoapp::Failure(kvad::read_model::Title(before) + ": " +
                                  Translate(visit.context.language, "its values cannot be edited") +
                                  " (" + before.plan + ")");
        }
        std::vector<std::string> refused;
        std::vector<kvad::read_model::FieldChange> changes =
            PostedChanges(request, before, line, refused);
        if (refused.empty() && !changes.empty()) {
            try {
                refused = kvad::read_model::CheckChanges(*component.nso, before, line, changes);
            } catch (const kvad::read_model::Refusal& e) {
                refused.emplace_back(e.what());
            }
        }
        std::string notice;
        if (!refused.empty()) {
            for (const std::string& r : refused) {
                notice += r + "\n";
            }
            visit.session->notice =
                "!" + notice + Translate(visit.context.language, "Nothing was changed.");
            return;
        }
        if (changes.empty()) {
            visit.session->notice = Translate(visit.context.language, "Nothing was changed.");
            return;
        }
        const std::vector<std::string> was =
            kvad::read_model::EditOrder(*component.nso, before, line, changes);
        const std::string where = line ? " line " + std::to_string(*line) : "";
        for (std::size_t i = 0; i < changes.size(); ++i) {
            const std::string now = kvad::read_model::DisplayText(changes[i].value);
            notice += Translate(visit.context.language, "changed") + where + ": " +
                      changes[i].field->alias + " " + (was[i].empty() ? "(empty)" : was[i]) +
                      " -> " + (now.empty() ? "(empty)" : now) + "\n";
        }
        visit.session->notice = notice;
    }

    // --- routes --------------------------------------------------------------------------

    std::vector<std::int32_t> Selected(const Visit& visit) {
        return {visit.session->selected.begin(), visit.session->selected.end()};
    }

    static void Select(const httplib::Request& request, WebSession& session) {
        const std::string action = request.get_param_value("action");
        std::set<std::int32_t> shown;
        std::set<std::int32_t> checked;
        for (std::size_t i = 0; i < request.get_param_value_count("shown"); ++i) {
            shown.insert(NumberOf(request.get_param_value("shown", i), "a register id"));
        }
        for (std::size_t i = 0; i < request.get_param_value_count("id"); ++i) {
            checked.insert(NumberOf(request.get_param_value("id", i), "a register id"));
        }
        std::set<std::int32_t>& selected = session.selected;
        if (action == "all") {
            selected.insert(shown.begin(), shown.end());
        } else if (action == "none") {
            for (const std::int32_t id : shown) {
                selected.erase(id);
            }
        } else if (action == "invert") {
            for (const std::int32_t id : shown) {
                if (selected.erase(id) == 0) {
                    selected.insert(id);
                }
            }
        } else if (action == "toggle") {
            for (const std::int32_t id : checked) {
                if (request.get_param_value("on") == "1") {
                    selected.insert(id);
                } else {
                    selected.erase(id);
                }
            }
        } else {
            for (const std::int32_t id : shown) {
                selected.erase(id);
            }
            selected.insert(checked.begin(), checked.end());
        }
    }

    static ChainFilter FilterOf(const std::string& which) {
        if (which == "processed") {
            return ChainFilter::Processed;
        }
        if (which == "all") {
            return ChainFilter::All;
        }
        return ChainFilter::ToProcess;
    }

    void ChainsRoute(const httplib::Request& request, httplib::Response& response, Visit& visit) {
        const ChainFilter filter = FilterOf(request.get_param_value("which"));
        std::size_t limit = kDefaultChains;
        if (request.has_param("limit")) {
            limit = std::clamp<std::size_t>(
                static_cast<std::size_t>(NumberOf(request.get_param_value("limit"), "a number")), 1,
                kMostChains);
        }
        WithComponent(visit, response, [&](nsoapp::Session& component) {
            const kvad::kaenumTipoOrdiniProcessati which =
                filter == ChainFilter::ToProcess   ? kvad::kaOrdiniDaProcessare
                : filter == ChainFilter::Processed ? kvad::kaOrdiniProcessati
                                                   : kvad::kaOrdiniTutti;
            const auto list = kvad::read_model::ReadChainList(*component.nso, which, limit);
            Html(response,
                 ChainListPage(visit.context, list, visit.session->selected, filter, limit));
        });
    }

    void PdfRoute(const httplib::Request& request, httplib::Response& response, Visit& visit) {
        const std::int32_t id = PathId(request);
        WithComponent(visit, response, [&](nsoapp::Session& component) {
            const std::filesystem::path file =
                std::filesystem::temp_directory_path() /
                ("nso-web-" + visit.session->id.substr(0, 16) + "-" + std::to_string(id) + ".pdf");
            const std::string written = component.nso->WriteOrderPdf(id, file.string(), false);
            if (written.empty()) {
                throw nsoapp::Failure(Translate(visit.context.language,
                                                "The PDF of this document could not be made: "
                                                "its XML is missing or is not an order."),
                                      component.nso->Errore().Text());
            }
            std::ifstream in(written, std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            std::error_code ec;
            std::filesystem::remove(written, ec);
            response.set_header("Content-Disposition",
                                "inline; filename=\"order-" + std::to_string(id) + ".pdf\"");
            response.set_content(bytes.str(), "application/pdf");
        });
    }

    void EventsRoute(httplib::Response& response, Visit& visit) {
        std::shared_ptr<Job> job = visit.session->job;
        if (!job) {
            response.status = 404;
            return;
        }
        response.set_header("X-Accel-Buffering", "no");
        auto seen = std::make_shared<std::int64_t>(-1);
        response.set_chunked_content_provider(
            "text/event-stream", [this, job, seen](std::size_t, httplib::DataSink& sink) {
                const JobState state = job->WaitForChange(*seen, std::chrono::seconds(1));
                if (state.version == *seen) {
                    const std::string keep = ": still running\n\n";
                    return !stopping && sink.write(keep.data(), keep.size());
                }
                *seen = state.version;
                const nlohmann::json data{{"current", state.current},
                                          {"maximum", state.maximum},
                                          {"step", state.step},
                                          {"waiting", state.waiting},
                                          {"done", state.done}};
                const std::string event =
                    std::string("event: ") + (state.done ? "done" : "progress") + "\ndata: " +
                    data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n\n";
                if (!sink.write(event.data(), event.size())) {
                    return false;
                }
                if (state.done) {
                    sink.done();
                }
                return true;
            });
    }

    void LoginRoute(const httplib::Request& request, httplib::Response& response, Visit& visit) {
        const std::string user = request.get_param_value("user");
        bool ok = false;
        {
            std::unique_lock lock(visit.session->work);
            if (!visit.session->component) {
                const std::lock_guard open(openMutex);
                visit.session->component = nsoapp::OpenSession(settings);
            }
            ok = VerifyUser(*visit.session->component->db, user,
                            request.get_param_value("password"));
        }
        if (!ok) {
            Html(response,
                 LoginPage(visit.context,
                           Translate(visit.context.language, "Unknown user or wrong password.")),
                 403);
            return;
        }
        // A new session on login, so that a session id seen before the login is worth nothing.
        sessions.End(visit.session->id);
        std::shared_ptr<WebSession> fresh = sessions.Create();
        fresh->user = user;
        response.set_header("Set-Cookie", std::string(kCookie) + "=" + fresh->id +
                                              "; Path=/; HttpOnly; SameSite=Strict");
        Redirect(response, "/chains");
    }

    void Routes() {
        server.set_payload_max_length(options.maxBody);
        server.new_task_queue = [] { return new httplib::ThreadPool(16); };
        server.Get("/static/web.css", [](const httplib::Request&, httplib::Response& r) {
            r.set_header("Cache-Control", "max-age=3600");
            r.set_content(kCss, "text/css; charset=utf-8");
        });
        server.Get("/static/web.js", [](const httplib::Request&, httplib::Response& r) {
            r.set_header("Cache-Control", "max-age=3600");
            r.set_content(kJs, "text/javascript; charset=utf-8");
        });
        server.Get("/",
                   [](const httplib::Request&, httplib::Response& r) { Redirect(r, "/chains"); });
        server.Get("/login", Guarded(false, true, [](auto&, auto& response, Visit& visit) {
                       Html(response, LoginPage(visit.context, ""));
                   }));
        server.Post("/login",
                    Guarded(true, true, [this](auto& request, auto& response, Visit& visit) {
                        LoginRoute(request, response, visit);
                    }));
        server.Post("/logout", Guarded(true, true, [this](auto&, auto& response, Visit& visit) {
                        sessions.End(visit.session->id);
                        Redirect(response, "/login");
                    }));
        server.Get("/chains",
                   Guarded(false, false, [this](auto& request, auto& response, Visit& visit) {
                       ChainsRoute(request, response, visit);
                   }));
        server.Post("/select",
                    Guarded(true, false, [](auto& request, auto& response, Visit& visit) {
                        Select(request, *visit.session);
                        if (request.get_header_value("X-Requested-With") == "fetch") {
                            response.set_content(std::to_string(visit.session->selected.size()),
                                                 "text/plain");
                            return;
                        }
                        const std::string which = request.get_param_value("which");
                        Redirect(response, "/chains?which=" +
                                               UrlEncode(which.empty() ? "to-process" : which));
                    }));
        server.Post("/fetch", Guarded(true, false, [this](auto&, auto& response, Visit& visit) {
                        StartJob(visit, response, Translate(visit.context.language, "Fetch"),
                                 [this, visit](nsoapp::Session& c, Job& job) {
                                     return Fetch(c, job, visit);
                                 });
                    }));
        server.Post("/process", Guarded(true, false, [this](auto&, auto& response, Visit& visit) {
                        const auto ids = Selected(visit);
                        StartJob(visit, response,
                                 Translate(visit.context.language, "Processing of the selection"),
                                 [this, visit, ids](nsoapp::Session& c, Job& job) {
                                     return Process(c, job, visit, ids);
                                 });
                    }));
        server.Post("/import", Guarded(true, false, [this](auto&, auto& response, Visit& visit) {
                        const auto ids = Selected(visit);
                        StartJob(visit, response,
                                 Translate(visit.context.language, "Import of the selection"),
                                 [this, visit, ids](nsoapp::Session& c, Job& job) {
                                     return Import(c, job, visit, ids);
                                 });
                    }));
        server.Get("/job", Guarded(false, false, [](auto&, auto& response, Visit& visit) {
                       if (!visit.session->job) {
                           Redirect(response, "/chains");
                           return;
                       }
                       Html(response, JobPage(visit.context, visit.session->job->State()));
                   }));
        server.Get("/job/events",
                   Guarded(false, false, [this](auto&, auto& response, Visit& visit) {
                       EventsRoute(response, visit);
                   }));
        server.Get(R"(/orders/(\d+))",
                   Guarded(false, false, [this](auto& request, auto& response, Visit& visit) {
                       const std::int32_t id = PathId(request);
                       WithComponent(visit, response, [&](nsoapp::Session& component) {
                           Html(response,
                                OrderPage(visit.context, nsoapp::ReviewedOrder(component, id)));
                       });
                   }));
        server.Post(R"(/orders/(\d+)/edit)",
                    Guarded(true, false, [this](auto& request, auto& response, Visit& visit) {
                        const std::int32_t id = PathId(request);
                        WithComponent(visit, response, [&](nsoapp::Session& component) {
                            try {
                                Edit(request, visit, component, id);
                            } catch (const std::exception& e) {
                                const nsoapp::ToldFailure told =
                                    nsoapp::TellFailure(e, settings.database);
                                visit.session->notice = "!" + told.message;
                            }
                            Redirect(response, "/orders/" + std::to_string(id));
                        });
                    }));
        server.Get(R"(/pdf/(\d+))",
                   Guarded(false, false, [this](auto& request, auto& response, Visit& visit) {
                       PdfRoute(request, response, visit);
                   }));
        server.Get("/erp-orders",
                   Guarded(false, false, [this](auto& request, auto& response, Visit& visit) {
                       const std::string search = request.get_param_value("search");
                       WithComponent(visit, response, [&](nsoapp::Session& component) {
                           Html(response, ErpOrdersPage(visit.context,
                                                        kvad::read_model::ReadErpOrders(
                                                            *component.nso, search),
                                                        search));
                       });
                   }));
        server.Get(
            "/master", Guarded(false, false, [this](auto& request, auto& response, Visit& visit) {
                const std::string kind = request.get_param_value("kind");
                const std::string search = request.get_param_value("search");
                if (kind.empty()) {
                    Html(response, MasterPage(visit.context, kind, search, nullptr));
                    return;
                }
                WithComponent(visit, response, [&](nsoapp::Session& component) {
                    const kvad::host::MasterListing listing =
                        kvad::host::ListMasterData(*component.db, settings.company, kind, search);
                    Html(response, MasterPage(visit.context, kind, search, &listing));
                });
            }));
        server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
            if (response.status == 413) {
                response.set_content("The request is larger than this server takes.\n",
                                     "text/plain; charset=utf-8");
            } else if (response.body.empty()) {
                response.set_content("Not found.\n", "text/plain; charset=utf-8");
            }
        });
    }

    void Watch() {
        nsoapp::InboxWatch watch(settings);
        while (!stopping) {
            std::this_thread::sleep_for(
                std::chrono::milliseconds(static_cast<long long>(options.watchSeconds * 1000)));
            if (stopping || !watch.Changed()) {
                continue;
            }
            try {
                (void)nsoapp::FetchNewDocuments(settings, 5);
            } catch (const std::exception&) {
                // The next change tries again; the clerk's own fetch tells what is wrong.
                watch.Forget();
            }
        }
    }
};

WebHost::WebHost(nsoapp::Settings settings, HostOptions options)
    : impl_(std::make_unique<Impl>(std::move(settings), std::move(options))) {}

WebHost::~WebHost() {
    Stop();
}

int WebHost::Bind() {
    Impl& impl = *impl_;
    if (impl.options.port == 0) {
        impl.boundPort = impl.server.bind_to_any_port(impl.options.host);
    } else if (impl.server.bind_to_port(impl.options.host, impl.options.port)) {
        impl.boundPort = impl.options.port;
    } else {
        impl.boundPort = -1;
    }
    if (impl.boundPort <= 0) {
        throw std::runtime_error(
            "cannot listen on " + impl.options.host + ":" + std::to_string(impl.options.port) +
            ": the address is in use or not this machine's; choose another with --listen");
    }
    return impl.boundPort;
}

void WebHost::Serve() {
    Impl& impl = *impl_;
    if (impl.options.watch) {
        const std::lock_guard guard(impl.threadsMutex);
        impl.threads.emplace_back(nullptr, [&impl] { impl.Watch(); });
    }
    impl.server.listen_after_bind();
}

void WebHost::Stop() {
    Impl& impl = *impl_;
    impl.stopping = true;
    impl.server.stop();
    std::vector<std::pair<std::shared_ptr<Job>, std::thread>> threads;
    {
        const std::lock_guard guard(impl.threadsMutex);
        threads.swap(impl.threads);
    }
    for (auto& [job, thread] : threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

} // namespace nsoweb
