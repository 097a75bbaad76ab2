#pragma once
/// The clerk's review of processed orders, as the component leaves it in its working table and
/// result recordsets (RstOrdini, RstTestata, RstCorpo, RstLogMessages): each document with its
/// processing code, decoded header, lines and messages, and how it stands after verification.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/read_model/documents.h"
#include "kvad_nso/variant.h"

namespace kvad::read_model {

/// How an order or line stands after verification.
enum class Verdict { Ready, Warning, Error, Unverified };

/// The verdict a stored verification status (IE93_STATUS, IE95_STATUS) gives.
[[nodiscard]] Verdict VerdictOf(std::int32_t status);

/// "ready", "warning", "error" or "not_verified".
[[nodiscard]] std::string_view VerdictName(Verdict verdict);

/// One entry of the error log, with the current value of the field it is about.
struct Message {
    std::int32_t order = 0;
    std::int32_t line = 0;                   ///< 0 for the header
    std::int32_t code = 0;                   ///< a kvad::message code
    std::int32_t severity = severity::kInfo; ///< the stored severity (kvad::severity)
    std::int32_t context = Contesto_Tutti;   ///< the phase that wrote it; 0 when not read
    std::string column;                      ///< the decoded column it is about (IE98_FIELD), or ""
    std::string field; ///< that column's short name when it is an editable field, else column
    std::string value; ///< the field's current value as a clerk reads it, "" for none
    std::string text;  ///< the entry's own text, else the catalogue's

    /// "error", "warning" or "info".
    [[nodiscard]] std::string_view SeverityName() const { return severity::Name(severity); }
};

/// One decoded line.
struct Line {
    std::int32_t number = 0;
    std::string item;
    std::string description;
    Variant quantity;
    Variant price;
    std::string vat;
    Variant delivery;
    Verdict verdict = Verdict::Unverified;
};

/// One decoded header value, by the short name of its editable field, with what the order says.
struct HeaderField {
    std::string field;
    std::string value; ///< as a clerk reads it
    std::string note;  ///< what the order itself says, or the customer's name
    Variant raw;       ///< as stored
};

/// The ERP order a document is linked to.
struct ErpOrderRef {
    std::int32_t registration = 0;
    std::string document; ///< "OCL A/7"
    Variant date;
};

/// One document of a chain as processing left it.
struct Order {
    std::int32_t id = 0;
    std::string number;
    Variant date;
    std::string kind; ///< order, revision or cancellation
    std::int32_t level = 0;
    std::int32_t code = 0; ///< the processing code (kvad::processing)
    std::string plan;      ///< what processing and import do with it, in words
    bool reviewed = false; ///< loaded, decoded and verified by processing (its processing code)
    bool editable = false; ///< the import takes it: its decoded values can be corrected
    bool decoded = false;
    Verdict verdict = Verdict::Unverified;
    /// The ERP order made from it. A document with one that processing does not review is
    /// read from the decoded tables, read-only.
    std::optional<ErpOrderRef> erpOrder;
    std::vector<HeaderField> header;
    std::vector<Line> lines;
    std::vector<Message> messages;

    [[nodiscard]] DocumentRef Document() const;
};

/// A chain: its latest document first, then the older ones, newest first.
struct Chain {
    std::vector<Order> documents;
};

/// Reviewed orders by verdict.
struct VerdictCounts {
    int ready = 0;
    int warning = 0;
    int error = 0;
    int unverified = 0;
    int other = 0; ///< documents processing leaves alone

    [[nodiscard]] int Reviewed() const { return ready + warning + error + unverified; }
    void Add(Verdict verdict);
};

[[nodiscard]] VerdictCounts CountVerdicts(const std::vector<Chain>& chains);

/// "Order 87/2024 of 05/03/2024 (id 2)".
[[nodiscard]] std::string Title(const Order& order);

/// Rebuilds the working table with the chains that hold the documents `ids` only
/// (CLSIE_NSO::ReadChainsOf, so the cost is set by those chains, not by the register) and
/// selects them through RstOrdini. Returns the ids that are in no chain (their XML
/// never arrived); when there is one, nothing is selected.
[[nodiscard]] std::vector<std::int32_t> SelectChainsOf(CLSIE_NSO& nso,
                                                       const std::vector<std::int32_t>& ids);

/// Makes the result recordsets hold document `id` as its last processing left it: the working
/// table rebuilt with its chain selected, the processing codes written (nothing processed again,
/// AssignProcessingCodes) and the result recordsets opened with the messages of every phase.
/// False, with nothing opened, when the document is in no chain (its XML never arrived).
[[nodiscard]] bool OpenReview(CLSIE_NSO& nso, std::int32_t id);

/// The chains selected in the working table, from RstOrdini and the result recordsets that
/// GetRstElaborazione opened after processing.
[[nodiscard]] std::vector<Chain> ReadSelectedChains(CLSIE_NSO& nso);

/// Document `id` of the working table with its header, lines and messages. A document that
/// processing does not review but that has an ERP order is read from the decoded tables and
/// is not editable. Throws Refusal when the document is in no chain.
[[nodiscard]] Order ReadOrder(CLSIE_NSO& nso, std::int32_t id);

/// The entries of RstLogMessages, of one order or of all, each once.
[[nodiscard]] std::vector<Message> ReadMessages(CLSIE_NSO& nso,
                                                std::optional<std::int32_t> order = std::nullopt);

/// The error entries (severity error) of one order's log, read from the log itself.
[[nodiscard]] std::vector<Message> ReadErrors(CLSIE_NSO& nso, std::int32_t order);

/// The first document processing took, in its order, that it did not decode, among `chains`
/// (read by ReadSelectedChains): the one that most likely stopped the processing.
[[nodiscard]] std::optional<Order> FirstNotDecoded(CLSIE_NSO& nso,
                                                   const std::vector<Chain>& chains);

} // namespace kvad::read_model
