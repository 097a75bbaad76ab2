#include "retrieval/riferimenti.h"

#include <vector>

#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/text.h"

namespace kvad::nso {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

Variant TextOrNull(const std::string& text) {
    return text.empty() ? Variant::Null() : Variant(text);
}

} // namespace

void AggiornaRiferimenti(NsoState& state, std::int32_t fId) {
    GuardOptions options;
    options.restorePointer = true;
    Guard(
        state, "AggiornaRiferimenti",
        [&] {
            auto rs = Conn(state).OpenRecordset(
                "SELECT IE91_ID, IE91_OPERAZIONE, IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, "
                "IE91_RIF_ENDPOINTID, IE92_OrderDocumentReference_ID FROM IE91_NSOFILES INNER "
                "JOIN IE92_NSOTESTATAXML WITH (NOLOCK) ON IE92_ID_IE91 = IE91_ID WHERE IE91_ID = " +
                std::to_string(fId));
            if (rs->Eof()) {
                return;
            }
            const Variant reference = rs->Value("IE92_OrderDocumentReference_ID");
            if (LunghezzaTesto(reference) == 0) {
                return;
            }
            const std::vector<std::string> parts = Split(reference.Text(), '#');
            if (parts.size() < 2) {
                return;
            }
            // A second part that is not a date fails here, before anything is set.
            const DateTime date = Variant(parts[1]).ToDate();
            const std::string endpoint = parts.size() > 2 ? parts[2] : std::string();
            const std::string operation = parts.size() > 3 ? AsciiUpper(parts[3]) : std::string();

            rs->SetValue("IE91_RIF_IDORD", TextOrNull(parts[0]));
            rs->SetValue("IE91_RIF_ISSUEDATE", date);
            rs->SetValue("IE91_RIF_ENDPOINTID", TextOrNull(endpoint));
            if (operation == "REVISED") {
                rs->SetValue("IE91_OPERAZIONE", static_cast<std::int16_t>(operation::kRevision));
            } else if (operation == "CANCELLED") {
                rs->SetValue("IE91_OPERAZIONE",
                             static_cast<std::int16_t>(operation::kCancellation));
            }
            rs->Update();
        },
        options);
}

} // namespace kvad::nso
