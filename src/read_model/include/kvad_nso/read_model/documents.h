#pragma once
/// Registered documents as hosts name them: by register id (IE91_ID) or by order number.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/connection.h"
#include "kvad_nso/variant.h"

namespace kvad::read_model {

/// One registered document of the component's company.
struct DocumentRef {
    std::int32_t id = 0;  ///< register id, IE91_ID
    std::string number;   ///< the order number, IE91_IDORD
    Variant date;         ///< the issue date, IE91_ISSUEDATE
    std::string kind;     ///< "order", "revision" or "cancellation" (IE91_OPERAZIONE)
    std::string endpoint; ///< the buyer's endpoint, IE91_ENDPOINTID
};

/// "order", "revision" or "cancellation" for a document's IE91_OPERAZIONE.
[[nodiscard]] std::string DocumentKind(const Variant& operazione);

/// "Order 87/2024 of 05/03/2024 (id 2)": the document's kind, number, date and register id.
[[nodiscard]] std::string Title(const DocumentRef& document);

/// The documents of `company` that `text` names: the one whose register id it is, else every one
/// with that order number, by register id. Empty when none is.
[[nodiscard]] std::vector<DocumentRef> FindDocuments(Connection& db, std::int32_t company,
                                                     const std::string& text);
/// The same for the component's company, on its connection.
[[nodiscard]] std::vector<DocumentRef> FindDocuments(CLSIE_NSO& nso, const std::string& text);

/// The company's document with register id `id`, if there is one.
[[nodiscard]] std::optional<DocumentRef> ReadDocument(CLSIE_NSO& nso, std::int32_t id);

/// Whether document `id` has decoded lines (decoding keeps them unless told otherwise).
[[nodiscard]] bool HasDecodedLines(CLSIE_NSO& nso, std::int32_t id);

} // namespace kvad::read_model
