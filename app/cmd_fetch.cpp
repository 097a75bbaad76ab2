// "nso fetch": retrieves the company's new documents from the document platform, with a
// progress bar, and ends with a summary that names every document that failed to load.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "app/commands.h"
#include "app/session.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"
#include "retrieval/recupero_ordini.h"
#include "retrieval/riferimenti.h"
#include "ubl/xml_document.h"
#include "ubl/xml_loader.h"

namespace nsoapp {
namespace {

// Shows OnProgress as a bar on a terminal, as plain lines otherwise.
class ProgressView {
  public:
    ProgressView() : terminal_(isatty(STDOUT_FILENO) != 0) {}

    void Show(std::int32_t current, std::int32_t maximum, const std::string& message) {
        if (maximum == 0) {
            std::cout << "connecting to the document platform...\n" << std::flush;
            return;
        }
        listed_ = maximum;
        if (!terminal_) {
            std::cout << "[" << current << "/" << maximum << "] " << message << "\n";
            return;
        }
        constexpr int kWidth = 30;
        const int done = static_cast<int>(static_cast<long long>(current) * kWidth / maximum);
        std::cout << "\r\033[K[" << std::string(static_cast<std::size_t>(done), '#')
                  << std::string(static_cast<std::size_t>(kWidth - done), '.') << "] " << current
                  << "/" << maximum << " " << message.substr(0, 60) << std::flush;
        drawn_ = true;
    }
    void End() {
        if (drawn_) {
            std::cout << "\n";
        }
    }
    [[nodiscard]] std::int32_t Listed() const { return listed_; }

  private:
    bool terminal_;
    bool drawn_ = false;
    std::int32_t listed_ = 0;
};

struct Failure {
    std::string document;
    std::string reason;
};

// Why a registered document is not (or not wholly) staged, or "" when it is.
std::string LoadProblem(kvad::Connection& db, std::int32_t id) {
    const std::string key = std::to_string(id);
    auto row = db.Query("SELECT IE91_XML, IE92_ID FROM IE91_NSOFILES LEFT OUTER JOIN "
                        "IE92_NSOTESTATAXML ON IE92_ID_IE91 = IE91_ID WHERE IE91_ID = " +
                        key);
    if (row->Eof()) {
        return "not registered";
    }
    if (row->Value("IE91_XML").IsNull()) {
        return "the download failed (`nso fetch --retry-missing` tries again)";
    }
    auto log = db.Query("SELECT IE98_ERRORMESSAGE, IE97_MESSAGE FROM IE98_NSO_LOGERRORS LEFT "
                        "OUTER JOIN IE97_NSO_ERRORS ON IE97_CODE = IE98_CODE_IE97 WHERE "
                        "IE98_ID_IE91 = " +
                        key + " AND IE98_CODE_IE97 = 12 ORDER BY IE98_ID");
    if (!log->Eof()) {
        const kvad::Variant own = log->Value("IE98_ERRORMESSAGE");
        std::string text = own.IsNull() ? log->Value("IE97_MESSAGE").Text() : own.Text();
        for (char& c : text) {
            if (c == '\r' || c == '\n') {
                c = ' ';
            }
        }
        return text;
    }
    if (row->Value("IE92_ID").IsNull()) {
        std::string reason;
        const auto document =
            kvad::xml::Document::Load(Scalar(db, "SELECT IE91_XML FROM IE91_NSOFILES WHERE "
                                                 "IE91_ID = " +
                                                     key)
                                          .Text(),
                                      reason);
        return document ? "no order data could be read" : "not a readable XML order: " + reason;
    }
    return {};
}

std::vector<Failure> Problems(kvad::Connection& db, const std::string& where) {
    std::vector<Failure> failures;
    auto rows = db.Query("SELECT IE91_ID, IE91_IDORD, IE91_HUBID FROM IE91_NSOFILES WHERE " +
                         where + " ORDER BY IE91_ID");
    for (; !rows->Eof(); rows->MoveNext()) {
        const std::string problem = LoadProblem(db, rows->Value("IE91_ID").ToLong());
        if (!problem.empty()) {
            failures.push_back(
                {rows->Value("IE91_IDORD").Text() + " (" + rows->Value("IE91_HUBID").Text() + ")",
                 problem});
        }
    }
    return failures;
}

void PrintFailures(const std::vector<Failure>& failures) {
    for (const auto& f : failures) {
        std::cout << "  " << f.document << ": " << f.reason << "\n";
    }
}

void Fetch(const Settings& settings) {
    Session session = OpenSession(settings);
    auto& db = *session.db;
    const std::string company = std::to_string(settings.company);
    const std::int32_t before =
        Scalar(db, "SELECT ISNULL(MAX(IE91_ID), 0) FROM IE91_NSOFILES").ToLong();

    ProgressView view;
    session.nso->AddOnProgress(
        [&view](kvad::kaenumTipoOperazione&, std::int32_t& current, std::int32_t& maximum,
                std::string& message) { view.Show(current, maximum, message); });
    session.nso->RecuperaOrdiniNSO();
    view.End();

    const std::string news =
        "IE91_DITTA_CG18 = " + company + " AND IE91_ID > " + std::to_string(before);
    const long stored = Scalar(db, "SELECT COUNT(*) FROM IE91_NSOFILES WHERE " + news).ToLong();
    const std::vector<Failure> failures = Problems(db, news);
    std::cout << "listed " << view.Listed() << ", new " << stored << ", already registered "
              << (view.Listed() - stored) << ", failed to load " << failures.size() << "\n";
    PrintFailures(failures);
    RequireOk(session, "the retrieval");
}

void RetryMissing(const Settings& settings) {
    Session session = OpenSession(settings);
    auto& db = *session.db;
    auto& s = session.State();
    const std::string missing =
        "IE91_DITTA_CG18 = " + std::to_string(settings.company) + " AND IE91_XML IS NULL";
    std::vector<std::int32_t> ids;
    for (auto rows =
             db.Query("SELECT IE91_ID FROM IE91_NSOFILES WHERE " + missing + " ORDER BY IE91_ID");
         !rows->Eof(); rows->MoveNext()) {
        ids.push_back(rows->Value(0).ToLong());
    }
    if (ids.empty()) {
        std::cout << "every registered document has its XML\n";
        return;
    }
    std::string error;
    kvad::Variant extra;
    if (!kvad::nso::NSOLogin(s, error, extra)) {
        throw std::runtime_error("login to the document platform failed: " + error);
    }
    // The platform downloads what its listing shows: list everything the company received.
    s.ServizioNSO->ListOrders("IT" + kvad::Trim(session.host->CurrentCompanyId()),
                              "1900-01-01 00:00:00", s.CollezioneNSO, error);
    if (!error.empty()) {
        kvad::nso::NSOLogout(s);
        throw std::runtime_error("listing the documents of the platform failed: " + error);
    }
    int downloaded = 0;
    for (const std::int32_t id : ids) {
        kvad::nso::ResetStato(s);
        if (!kvad::nso::ScaricaXMLOrdine(s, id, true)) {
            continue;
        }
        if (Scalar(db, "SELECT IE91_XML FROM IE91_NSOFILES WHERE IE91_ID = " + std::to_string(id))
                .IsNull()) {
            continue;
        }
        ++downloaded;
        kvad::nso::GetOrderFromXML(s, id, false);
        if (s.Stato == kvad::kaOK) {
            kvad::nso::AggiornaRiferimenti(s, id);
        }
    }
    kvad::nso::NSOLogout(s);
    std::string idList;
    for (const std::int32_t id : ids) {
        idList += (idList.empty() ? "" : ", ") + std::to_string(id);
    }
    const std::vector<Failure> failures = Problems(db, "IE91_ID IN (" + idList + ")");
    std::cout << "missing " << ids.size() << ", downloaded " << downloaded << ", failed "
              << failures.size() << "\n";
    PrintFailures(failures);
}

} // namespace

void AddFetchCommand(CLI::App& app, Settings& settings) {
    CLI::App* fetch =
        app.add_subcommand("fetch", "Retrieve the company's new documents from the platform");
    auto retry = std::make_shared<bool>(false);
    fetch->add_flag("--retry-missing", *retry,
                    "Download again the registered documents whose XML was never stored");
    fetch->callback([&settings, retry] {
        if (*retry) {
            RetryMissing(settings);
        } else {
            Fetch(settings);
        }
    });
}

} // namespace nsoapp
