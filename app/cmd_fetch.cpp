// "nso fetch": retrieves the company's new documents from the document platform, with a
// progress bar, and ends with a summary that names every document that failed to load.
#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "app/commands.h"
#include "app/progress_view.h"
#include "app/session.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

struct Failure {
    std::string document;
    std::string reason;
};

std::vector<Failure> Problems(Session& session, const std::string& where) {
    kvad::Connection& db = *session.db;
    std::vector<Failure> failures;
    auto rows = db.Query("SELECT IE91_ID, IE91_IDORD, IE91_HUBID FROM IE91_NSOFILES WHERE " +
                         where + " ORDER BY IE91_ID");
    for (; !rows->Eof(); rows->MoveNext()) {
        const std::string problem = session.nso->ExplainDocument(rows->Value("IE91_ID").ToLong());
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

    ProgressView view("connecting to the document platform...");
    session.nso->AddOnProgress(
        [&view](kvad::kaenumTipoOperazione&, std::int32_t& current, std::int32_t& maximum,
                std::string& message) { view.Show(current, maximum, message); });
    session.nso->RecuperaOrdiniNSO();
    view.End();

    const std::string news =
        "IE91_DITTA_CG18 = " + company + " AND IE91_ID > " + std::to_string(before);
    const long stored = Scalar(db, "SELECT COUNT(*) FROM IE91_NSOFILES WHERE " + news).ToLong();
    const std::vector<Failure> failures = Problems(session, news);
    std::cout << "listed " << view.Maximum() << ", new " << stored << ", already registered "
              << (view.Maximum() - stored) << ", failed to load " << failures.size() << "\n";
    PrintFailures(failures);
    RequireOk(session, "the retrieval");
}

void RetryMissing(const Settings& settings) {
    Session session = OpenSession(settings);
    auto& db = *session.db;
    const std::vector<std::int32_t> ids = session.nso->DownloadMissingDocuments();
    if (session.nso->Stato() == kvad::kaErrConnessioneNSO) {
        throw std::runtime_error("the document platform refused the download: " +
                                 session.nso->Errore().Text());
    }
    if (ids.empty()) {
        RequireOk(session, "looking for documents without XML");
        std::cout << "every registered document has its XML\n";
        return;
    }
    std::string idList;
    for (const std::int32_t id : ids) {
        idList += (idList.empty() ? "" : ", ") + std::to_string(id);
    }
    const long downloaded = Scalar(db, "SELECT COUNT(*) FROM IE91_NSOFILES WHERE IE91_ID IN (" +
                                           idList + ") AND IE91_XML IS NOT NULL")
                                .ToLong();
    const std::vector<Failure> failures = Problems(session, "IE91_ID IN (" + idList + ")");
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
