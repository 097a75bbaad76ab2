#pragma once
/// What became of the documents a retrieval took in: the account a host shows its user after
/// RecuperaOrdiniNSO and the repair of documents an earlier run left incomplete.

#include <cstdint>
#include <string>
#include <vector>

namespace kvad {

/// How a received document was taken in. The values are stored in the database.
enum class IntakeOutcome : std::int16_t {
    Loaded = 0,          ///< staged whole and linked to the order it changes
    DownloadFailed = 1,  ///< the platform did not deliver it; downloading it again may work
    Empty = 2,           ///< the platform delivered no text
    Unreadable = 3,      ///< the text is not XML that can be read (too large, encoding, syntax)
    NotAnOrder = 4,      ///< XML, but not an Order
    LoadFailed = 5,      ///< staging stopped at a value the tables cannot take (error code 12)
    ReferenceFailed = 6, ///< staged, but its reference to the order it changes cannot be read
};

/// One registered document and what became of it.
struct DocumentOutcome {
    std::int32_t id = 0; ///< IE91_ID
    std::string number;  ///< IE91_IDORD, the order number
    std::string hubId;   ///< IE91_HUBID, the platform's id
    IntakeOutcome outcome = IntakeOutcome::Loaded;
    std::string reason; ///< why it was not loaded, in words for the user; "" when loaded

    [[nodiscard]] bool IsLoaded() const noexcept { return outcome == IntakeOutcome::Loaded; }
    /// Only a download that failed can succeed when tried again: the other outcomes come from
    /// the document itself.
    [[nodiscard]] bool RetryCanHelp() const noexcept {
        return outcome == IntakeOutcome::DownloadFailed;
    }
};

/// What the last retrieval did.
struct RetrievalReport {
    std::int32_t listed = 0; ///< documents the platform listed
    /// The documents this run registered, each kept whole with its outcome.
    std::vector<DocumentOutcome> registered;
    /// Listed documents found already registered (by this or an earlier run, or another host).
    std::vector<DocumentOutcome> alreadyRegistered;
    /// True when the run went through the whole listing; false when it stopped (a platform or
    /// database failure, in Stato and Errore) or did not start.
    bool completed = false;
};

} // namespace kvad
