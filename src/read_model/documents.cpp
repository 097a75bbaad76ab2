#include "kvad_nso/read_model/documents.h"

#include <charconv>

#include "kvad_nso/codes.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/text.h"
#include "rows.h"

namespace kvad::read_model {
namespace {

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

/// The register's columns a DocumentRef is made of.
constexpr const char* kDocumentColumns =
    "SELECT IE91_ID, IE91_IDORD, IE91_ISSUEDATE, IE91_OPERAZIONE, IE91_ENDPOINTID "
    "FROM IE91_NSOFILES WHERE IE91_DITTA_CG18 = ";

} // namespace

std::string DocumentKind(const Variant& operazione) {
    const std::int32_t op = detail::Whole(operazione);
    return op == operation::kRevision       ? "revision"
           : op == operation::kCancellation ? "cancellation"
                                            : "order";
}

std::string Title(const DocumentRef& document) {
    std::string kind = document.kind.empty() ? std::string("document") : document.kind;
    kind[0] = AsciiUpper(kind.substr(0, 1))[0];
    const std::string date = DateText(document.date);
    return kind + " " + document.number + (date.empty() ? "" : " of " + date) + " (id " +
           std::to_string(document.id) + ")";
}

std::vector<DocumentRef> FindDocuments(CLSIE_NSO& nso, const std::string& text) {
    return FindDocuments(detail::Db(nso), nso.CodiceDitta().ToLong(), text);
}

std::vector<DocumentRef> FindDocuments(Connection& db, std::int32_t companyCode,
                                       const std::string& text) {
    const std::string company = detail::Code(companyCode);
    std::vector<DocumentRef> found;
    if (const auto id = AsRegisterId(text)) {
        auto rows = db.Query(kDocumentColumns + company + " AND IE91_ID = " + detail::Code(*id));
        if (!rows->Eof()) {
            found.push_back(detail::DocumentOf(*rows));
            return found;
        }
    }
    for (auto rows = db.Query(kDocumentColumns + company +
                              " AND IE91_IDORD = " + detail::Quoted(text) + " ORDER BY IE91_ID");
         !rows->Eof(); rows->MoveNext()) {
        found.push_back(detail::DocumentOf(*rows));
    }
    return found;
}

std::optional<DocumentRef> ReadDocument(CLSIE_NSO& nso, std::int32_t id) {
    auto rows = detail::Db(nso).Query(kDocumentColumns + detail::Company(nso) +
                                      " AND IE91_ID = " + detail::Code(id));
    if (rows->Eof()) {
        return std::nullopt;
    }
    return detail::DocumentOf(*rows);
}

bool HasDecodedLines(CLSIE_NSO& nso, std::int32_t id) {
    return !detail::Db(nso)
                .Query("SELECT IE95_ID_IE91 FROM IE95_NSOCORPO WHERE IE95_ID_IE91 = " +
                       detail::Code(id))
                ->Eof();
}

} // namespace kvad::read_model
