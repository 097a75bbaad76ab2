#include "app/order_ref.h"

#include <stdexcept>
#include <vector>

#include "kvad_nso/read_model/documents.h"

namespace nsoapp {

std::int32_t ResolveDocument(kvad::Connection& db, std::int32_t company, const std::string& text) {
    const std::vector<kvad::read_model::DocumentRef> found =
        kvad::read_model::FindDocuments(db, company, text);
    if (found.size() == 1) {
        return found.front().id;
    }
    const std::string ditta = std::to_string(company);
    if (found.empty()) {
        throw std::runtime_error("no document of company " + ditta +
                                 " has register id or order number \"" + text +
                                 "\" (`nso list --all` shows the received documents)");
    }
    std::string candidates;
    for (const kvad::read_model::DocumentRef& document : found) {
        candidates += (candidates.empty() ? "" : ", ") + std::to_string(document.id) + " (" +
                      document.date.Text() + ", " + document.endpoint + ")";
    }
    throw std::runtime_error("order number \"" + text + "\" is ambiguous for company " + ditta +
                             ": give one of the register ids " + candidates);
}

} // namespace nsoapp
