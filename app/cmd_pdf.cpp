// "nso pdf": a received order as the PDF a clerk prints, written into the preview folder (or a
// file of the user's choice), its path printed, and opened in the viewer when asked.
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/session.h"
#include "kvad_nso/recordset.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

struct PdfOptions {
    std::string order;
    std::string out;
    bool open = false;
};

/// The text as a register id, when it is one (digits only, within range).
std::optional<std::int32_t> AsRegisterId(const std::string& text) {
    std::int32_t id = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, id);
    if (text.empty() || text.front() == '-' || error != std::errc() || rest != end || id <= 0) {
        return std::nullopt;
    }
    return id;
}

/// The register id of ORDER for the company: the register id itself, else the one document
/// with that order number.
std::int32_t FindDocument(kvad::Connection& db, const Settings& settings,
                          const std::string& order) {
    const std::string company = std::to_string(settings.company);
    if (const auto id = AsRegisterId(order)) {
        auto rows =
            db.Query("SELECT IE91_ID FROM IE91_NSOFILES WHERE IE91_DITTA_CG18 = " + company +
                     " AND IE91_ID = " + std::to_string(*id));
        if (!rows->Eof()) {
            return *id;
        }
    }
    auto rows = db.Query("SELECT IE91_ID, IE91_ISSUEDATE, IE91_ENDPOINTID FROM IE91_NSOFILES "
                         "WHERE IE91_DITTA_CG18 = " +
                         company + " AND IE91_IDORD = '" + kvad::ReplaceAll(order, "'", "''") +
                         "' ORDER BY IE91_ID");
    std::vector<std::int32_t> ids;
    std::string candidates;
    for (; !rows->Eof(); rows->MoveNext()) {
        ids.push_back(rows->Value("IE91_ID").ToLong());
        candidates += (candidates.empty() ? "" : ", ") + rows->Value("IE91_ID").Text() + " (" +
                      rows->Value("IE91_ISSUEDATE").Text() + ", " +
                      rows->Value("IE91_ENDPOINTID").Text() + ")";
    }
    if (ids.size() == 1) {
        return ids.front();
    }
    if (ids.empty()) {
        throw std::runtime_error("no document of company " + company +
                                 " has register id or order number \"" + order +
                                 "\" (`nso list --all` shows the received documents)");
    }
    throw std::runtime_error("order number \"" + order + "\" is ambiguous for company " + company +
                             ": give one of the register ids " + candidates);
}

void WritePdf(const Settings& settings, const PdfOptions& options) {
    Session session = OpenSession(settings);
    const std::int32_t id = FindDocument(*session.db, settings, options.order);
    const std::string written = session.nso->WriteOrderPdf(id, options.out, options.open);
    if (!written.empty()) {
        std::cout << written << "\n";
        if (session.nso->Stato() != kvad::kaOK) {
            throw std::runtime_error("the PDF was written but could not be opened: " +
                                     session.nso->Errore().Text());
        }
        return;
    }
    RequireOk(session, settings, "the PDF of document " + std::to_string(id));
}

} // namespace

void AddPdfCommand(CLI::App& app, Settings& settings) {
    CLI::App* pdf = app.add_subcommand(
        "pdf", "Write a received order as a printable PDF and print the file's path");
    auto options = std::make_shared<PdfOptions>();
    pdf->add_option("ORDER", options->order,
                    "Register id of the document, or its order number when only one document "
                    "has it")
        ->required();
    pdf->add_option("--out", options->out,
                    "Write to this file (replaced if it exists) instead of the preview folder")
        ->type_name("FILE");
    pdf->add_flag("--open", options->open, "Open the PDF in the configured viewer");
    pdf->callback([&settings, options] { WritePdf(settings, *options); });
}

} // namespace nsoapp
