#pragma once
/// One registered order as decoding left it (DecodeOrder): the decoded header with the names of
/// what it found and what the order says where it found nothing, the decoded lines with the
/// identifiers an item was searched by, and the order's whole log.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kvad_nso/clsie_nso.h"
#include "kvad_nso/read_model/review.h"
#include "kvad_nso/variant.h"

namespace kvad::read_model {

/// The decoded header (IE93_NSOTESTATA) with the names of the codes it holds.
struct DecodedHeader {
    std::int32_t customer = 0; ///< 0 when no customer was found
    std::string customerName;
    std::string buyerTaxId;    ///< the buyer's VAT number or fiscal code in the order
    std::string buyerEndpoint; ///< the buyer's office (endpoint) in the order
    std::string currency;      ///< ERP currency code, "" when none was found
    std::string currencyIso;
    std::string document;
    std::string section;
    std::string warehouse;
    Variant date;
    std::string office; ///< public-administration office
    std::string destination;
    std::string destinationName;
    std::string deliveryLocation; ///< the order's delivery location id
    std::string deliveryParty;    ///< the order's delivery party
    std::string note;             ///< the note's text (NoteText)
    Variant cashDiscount;
};

/// Where a decoded line comes from.
enum class DecodedLineKind {
    OrderLine,      ///< a line of the order
    OrderAllowance, ///< an allowance of the whole order, made a line
    OrderCharge,    ///< a charge of the whole order, made a line
};

/// One decoded line (IE95_NSOCORPO).
struct DecodedLine {
    Variant number;
    DecodedLineKind kind = DecodedLineKind::OrderLine;
    std::string item; ///< "" when no item was found
    std::string option;
    std::string description;
    Variant quantity;
    Variant price;
    Variant allowance; ///< per unit
    Variant charge;    ///< per unit
    std::string vatCode;
    Variant vatRate; ///< the rate the order gives
    Variant delivery;
    /// The seller's and the standard item identifiers the order gives, those it has.
    std::vector<std::string> searchedBy;
};

/// What decoding left of one order.
struct DecodedOrder {
    std::optional<DecodedHeader> header; ///< none when the order is not decoded
    std::vector<DecodedLine> lines;
    std::vector<Message> messages; ///< the whole log, every phase, in the order written
};

/// Order `id` as decoding left it.
[[nodiscard]] DecodedOrder ReadDecodedOrder(CLSIE_NSO& nso, std::int32_t id);

} // namespace kvad::read_model
