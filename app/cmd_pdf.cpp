// "nso pdf": a received order as the PDF a clerk prints, written into the preview folder (or a
// file of the user's choice), its path printed, and opened in the viewer when asked.
#include <iostream>
#include <stdexcept>
#include <string>

#include "app/commands.h"
#include "app/order_ref.h"
#include "app/session.h"

namespace nsoapp {

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

} // namespace nsoapp
