#pragma once
// The clerk's review of processed orders: what nso process, show, edit and messages gather from
// the component's working table and result recordsets (RstOrdini, RstTestata, RstCorpo,
// RstLogMessages), and how they print it on a terminal of 100 columns. Gathering and printing
// are apart, so that the same rows can be written in other forms.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/settings.h"
#include "kvad_nso/variant.h"

namespace nsoapp {

/// How an order or line stands after verification.
enum class Verdict { Ready, Warning, Error, Unverified };

/// The verdict a stored verification status (IE93_STATUS, IE95_STATUS) gives.
[[nodiscard]] Verdict VerdictOf(std::int32_t status);

/// "ready", "warning", "error" or "not verified".
[[nodiscard]] std::string VerdictText(Verdict verdict);

/// One entry of the error log as the clerk reads it.
struct MessageView {
    std::int32_t order = 0;
    std::int32_t line = 0; ///< 0 for the header
    std::int32_t code = 0;
    std::string severity; ///< "error", "warning" or "info"
    std::string field;    ///< short name of the decoded value it is about, or ""
    std::string value;    ///< that value as it is now
    std::string text;     ///< the catalogue text or the entry's own
};

/// One decoded line.
struct LineView {
    std::int32_t number = 0;
    std::string item;
    std::string description;
    kvad::Variant quantity;
    kvad::Variant price;
    std::string vat;
    kvad::Variant delivery;
    Verdict verdict = Verdict::Unverified;
};

/// One decoded header value, by the short name `nso edit` takes, with what the order says.
struct HeaderItem {
    std::string field;
    std::string value; ///< as a clerk reads it
    std::string note;
    kvad::Variant raw; ///< as stored
};

/// One document of a chain as processing left it.
struct OrderView {
    std::int32_t id = 0;
    std::string number;
    kvad::Variant date;
    std::string kind; ///< order, revision or cancellation
    std::int32_t level = 0;
    std::int32_t code = 0; ///< the processing code
    std::string plan;      ///< what processing and import do with it, in words
    bool reviewed = false; ///< loaded, decoded and verified by processing
    bool editable = false; ///< in the header grid (the import takes it): its values can be edited
    bool decoded = false;
    Verdict verdict = Verdict::Unverified;
    std::vector<HeaderItem> header;
    std::vector<LineView> lines;
    std::vector<MessageView> messages;
};

/// A chain: its latest document first, then the older ones, newest first.
struct ChainView {
    std::vector<OrderView> documents;
};

/// Counts of reviewed orders by verdict.
struct Tally {
    int ready = 0;
    int warning = 0;
    int error = 0;
    int unverified = 0;
    int other = 0; ///< documents processing leaves alone
};

/// Rebuilds the working table with every chain and selects, through RstOrdini, the chains that
/// hold the documents `ids`. Throws when a document is in no chain (its XML never arrived).
void SelectChainsOf(Session& session, const std::vector<std::int32_t>& ids);

/// Sets the import mode (the whole chain, or with `latestOnly` its latest document only) and
/// selects the chains to process or import: with `all` every chain still to process that can be
/// selected, in a working table of those chains; otherwise the chains of the documents named
/// (register id or order number), in a working table of every chain. Throws when a name is no
/// document's.
void SelectChains(Session& session, const Settings& settings,
                  const std::vector<std::string>& chains, bool all, bool latestOnly);

/// Makes the result recordsets hold document `id` as its last processing left it: the working
/// table rebuilt with its chains selected, their processing codes written (nothing processed
/// again) and the result recordsets opened with the messages of every phase.
void OpenReview(Session& session, std::int32_t id);

/// Document `id` from the result recordsets. Throws when processing does not review it (its
/// processing code) or has not reached it yet.
[[nodiscard]] OrderView ReviewedOrder(Session& session, std::int32_t id);

/// "Order 87/2024 of 05/03/2024 (id 2)" for a document of the working table.
[[nodiscard]] std::string TitleOf(Session& session, std::int32_t id);

/// The chains selected in the working table, from RstOrdini and the result recordsets (which
/// GetRstElaborazione opened after processing).
[[nodiscard]] std::vector<ChainView> GatherSelectedChains(Session& session);

/// One document of the working table, with its header, lines and messages.
[[nodiscard]] OrderView GatherOrder(Session& session, std::int32_t id);

/// The log entries in RstLogMessages, of one order or of all.
[[nodiscard]] std::vector<MessageView> GatherMessages(Session& session,
                                                      std::optional<std::int32_t> order);

/// The error entries of one order's log (severity error), read from the log table itself, with the
/// catalogue texts and the current values of the fields they are about.
[[nodiscard]] std::vector<MessageView> ErrorsOf(Session& session, std::int32_t order);

/// "Order 87/2024 of 05/03/2024 (id 2)" and the like.
[[nodiscard]] std::string OrderTitle(const OrderView& order);

[[nodiscard]] Tally CountVerdicts(const std::vector<ChainView>& chains);

void PrintChain(std::ostream& out, const ChainView& chain);
void PrintOrder(std::ostream& out, const OrderView& order);
void PrintMessages(std::ostream& out, const std::vector<MessageView>& messages,
                   const std::string& indent);
void PrintTally(std::ostream& out, const Tally& tally);

} // namespace nsoapp
