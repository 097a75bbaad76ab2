// "nso pdf": a received order as the PDF a clerk prints, written into the preview folder (or a
// file of the user's choice), its path printed, and opened in the viewer when asked.
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/commands.h"
#include "app/order_ref.h"
#include "app/session.h"

namespace nsoapp {
namespace {

struct PdfOptions {
    std::string order;
    std::string out;
    bool open = false;
};

void WritePdf(const Settings& settings, const PdfOptions& options) {
    Session session = OpenSession(settings);
    const std::int32_t id = ResolveDocument(*session.db, settings.company, options.order);
    const std::string written = session.nso->WriteOrderPdf(id, options.out, options.open);
    if (!written.empty()) {
        std::cout << written << "\n";
        if (session.nso->Stato() != kvad::kaOK) {
            throw std::runtime_error("the PDF was written but could not be opened: " +
                                     session.nso->Errore().Text());
        }
        return;
    }
    RequireOk(session, "the PDF of document " + std::to_string(id));
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
