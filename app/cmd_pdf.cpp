// "nso pdf": a received order as the PDF a clerk prints, written into the preview folder (or a
// file of the user's choice), its path printed, and opened in the viewer when asked. Rendering
// is local: no inbox folder is needed.
#include <iostream>
#include <stdexcept>
#include <string>

#include "app/commands.h"
#include "app/failure.h"
#include "app/host_setup.h"
#include "app/order_ref.h"
#include "app/session.h"

namespace nsoapp {

/// The document as the user named it: "document 5", or "order 87/2024 (register id 1)".
std::string Named(const PdfOptions& options, std::int32_t id) {
    const std::string number = std::to_string(id);
    return options.order == number ? "document " + number
                                   : "order " + options.order + " (register id " + number + ")";
}

/// Where the PDF was to go, in words.
std::string Destination(const Settings& settings, const PdfOptions& options) {
    if (!options.out.empty()) {
        return "to " + options.out +
               ": check that its folder exists and that this user may write in it, or choose "
               "another file with --out";
    }
    constexpr std::int32_t kPreviewFolder = 5;
    return "into the preview folder " +
           kvad::host::FixedFolderPath(HostConfigFor(settings), kPreviewFolder) +
           ": check that this user may create and write in it, choose another cache folder with "
           "--cache-dir, or a file with --out";
}

/// Why no PDF was written, in plain words, with the component's own text beneath.
[[noreturn]] void FailWithoutPdf(Session& session, const Settings& settings,
                                 const PdfOptions& options, std::int32_t id) {
    const std::string detail = session.nso->Errore().Text();
    switch (session.nso->Stato()) {
    case kvad::kaErrNessunDatoDaElaborare:
        throw Failure(Named(options, id) +
                          " has no XML: it was registered, but its XML never arrived from the "
                          "platform; `nso fetch --retry-missing` downloads it again",
                      detail);
    case kvad::kaErrConnessioneNSO:
        throw Failure("the document platform that renders PDFs could not be used: check the "
                      "platform settings (`nso settings` shows them)",
                      detail);
    case kvad::kaErrImportXML:
        throw Failure(Named(options, id) +
                          " cannot be shown as a PDF: its XML cannot be read as an order "
                          "(`nso list --all` tells why it was not loaded)",
                      detail);
    case kvad::kaErrParametri:
        throw Failure("the PDF of " + Named(options, id) + " could not be written " +
                          Destination(settings, options),
                      detail);
    default:
        RequireOk(session, "writing the PDF of " + Named(options, id));
    }
    throw std::logic_error("no PDF was written, yet the component reports no failure");
}

void WritePdf(const Settings& settings, const PdfOptions& options) {
    Session session = OpenSession(settings);
    const std::int32_t id = ResolveDocument(*session.db, settings.company, options.order);
    const std::string written = session.nso->WriteOrderPdf(id, options.out, options.open);
    if (written.empty()) {
        FailWithoutPdf(session, settings, options, id);
    }
    std::cout << written << "\n";
    if (session.nso->Stato() != kvad::kaOK) {
        const std::string viewer = settings.viewer.empty() ? "xdg-open" : settings.viewer;
        throw Failure("the PDF was written, but the viewer \"" + viewer +
                          "\" could not show it: name an installed program with --viewer, or "
                          "viewer in the settings file",
                      session.nso->Errore().Text());
    }
}

} // namespace nsoapp
