#pragma once
/// The codes the component writes into its tables and reads back, each named once: the error
/// log's message codes, the severities and contexts of its entries, the decoded line types and
/// the working table's processing codes and import outcomes. The component, the hosts and the
/// tests use these names; SQL that needs a code writes it through them.

#include <cstdint>
#include <string_view>

#include "kvad_nso/enums.h"

namespace kvad {

/// Message codes of the error log (IE98_CODE_IE97), each with a row of the catalogue
/// IE97_NSO_ERRORS.
namespace message {
inline constexpr std::int32_t kImportFailed = 0;    ///< own text: why the import failed
inline constexpr std::int32_t kXmlNotLoaded = 12;   ///< the XML could not be staged
inline constexpr std::int32_t kDeliveredChain = 13; ///< an older order has delivered quantities
inline constexpr std::int32_t kImported = 14;       ///< information: the order was imported
inline constexpr std::int32_t kAlreadyImported = 15;
inline constexpr std::int32_t kNoDocumentCode = 100;
inline constexpr std::int32_t kNoSection = 101;
inline constexpr std::int32_t kNoWarehouse = 102;
inline constexpr std::int32_t kNoCustomer = 103;
inline constexpr std::int32_t kNoCurrency = 104;
inline constexpr std::int32_t kNoDestination = 105;
inline constexpr std::int32_t kAmbiguousOffice = 106;
/// A number of the order that could not be read (text, or too large) and was taken as 0; its
/// field is the decoded value it fed, its one parameter the text. Header or line.
inline constexpr std::int32_t kUnreadableNumber = 107;
inline constexpr std::int32_t kNoItem = 200;
inline constexpr std::int32_t kNoDeliveryDate = 201;
inline constexpr std::int32_t kNoVatCode = 202;
inline constexpr std::int32_t kUnknownVatCode = 203;
inline constexpr std::int32_t kAmbiguousStandardId = 204;

// The order rule checks verification runs after the checks above: what makes an order's import
// wrong although the national node let it through. Each is written with its parameters; those
// marked "header or line" are written on the line when a line's value is at fault.

/// Warning: a total of the order does not add up (%1 the total, %2 its amount, %3 the sum).
inline constexpr std::int32_t kTotalsDoNotAddUp = 300;
/// Error: an amount of the order, header or line, in a currency other than the order's (%1 the
/// amount's, %2 the order's); written on the header.
inline constexpr std::int32_t kAmountCurrency = 301;
/// Warning: a buyer's or invoicee's IPA office code of the wrong form (%1 the code).
inline constexpr std::int32_t kInvalidIpaCode = 302;
/// Warning: a buyer's or invoicee's Italian VAT number failing its check digit (%1 the number).
inline constexpr std::int32_t kInvalidVatNumber = 303;
/// Warning: a buyer's or invoicee's fiscal code failing its check (%1 the code).
inline constexpr std::int32_t kInvalidFiscalCode = 304;
/// Warning: a reference to an earlier document that is not number#date#office[#kind] (%1 it).
inline constexpr std::int32_t kMalformedReference = 305;
/// Warning: a reference naming a document of another kind than a revised or cancelled order
/// (%1 the kind).
inline constexpr std::int32_t kReferenceOtherKind = 306;
/// Warning: a reference to a document that was never received (%1 the reference).
inline constexpr std::int32_t kReferenceNotReceived = 307;
/// Warning: a GLN failing its check digit (%1 the number).
inline constexpr std::int32_t kInvalidGln = 308;
/// Warning: a delivery date before the order's date (%1 delivery, %2 order). Header or line.
inline constexpr std::int32_t kDeliveryBeforeOrder = 309;
/// Warning: a tax category and rate that Italian VAT does not have (%1 category, %2 rate).
/// Header (an allowance or charge of the order) or line.
inline constexpr std::int32_t kVatNotItalian = 310;
/// Warning: the order's price is per a base quantity other than 1 and decoding divided it by
/// that quantity (%1 the base quantity).
inline constexpr std::int32_t kPriceBaseConverted = 350;
/// Error: the price is per a quantity in another unit than the ordered one, or per a base
/// quantity that is not above 0 (%1 base quantity, %2 its unit, %3 the quantity's unit); held
/// while the decoded price is still the order's.
inline constexpr std::int32_t kPriceBaseUnit = 351;
/// Warning: the order's line amount is not the decoded quantity x price - the order's
/// allowances + charges, within 0.02 (%1 the line amount, %2 the computed one).
inline constexpr std::int32_t kLineAmountMismatch = 352;
/// Error: a negative quantity, price, allowance or charge on a line (%1 the value).
inline constexpr std::int32_t kNegativeValue = 353;
/// Error: an order line without a quantity.
inline constexpr std::int32_t kNoQuantity = 354;
/// Warning: an item's GTIN failing its check digit (%1 the number).
inline constexpr std::int32_t kInvalidGtin = 355;
/// Warning: a line ID that another line of the order has too (%1 the ID).
inline constexpr std::int32_t kDuplicateLineId = 356;
} // namespace message

/// Severities of the error log (IE98_TYPE) are kaEnumStatoVerifica's first three members; the
/// message recordset shows them as display codes (12 error, 13 warning, 99 anything else).
namespace severity {
inline constexpr std::int32_t kInfo = kaVerificaOk;
inline constexpr std::int32_t kWarning = kaVerificaWarning;
inline constexpr std::int32_t kError = kaVerificaCritical;
inline constexpr std::int32_t kShownAsError = kaVerificaCerottoRosso;
inline constexpr std::int32_t kShownAsWarning = kaVerificaPuntoEsclamativo;
inline constexpr std::int32_t kShownAsOther = 99;

/// "error", "warning" or "info" for a stored severity (IE98_TYPE): the one name every host
/// prints for it.
[[nodiscard]] constexpr std::string_view Name(std::int32_t stored) noexcept {
    if (stored == kError) {
        return "error";
    }
    if (stored == kWarning) {
        return "warning";
    }
    return "info";
}

/// The stored severity a display code of the message recordset stands for.
[[nodiscard]] constexpr std::int32_t FromDisplay(std::int32_t shown) noexcept {
    if (shown == kShownAsError) {
        return kError;
    }
    if (shown == kShownAsWarning) {
        return kWarning;
    }
    return kInfo;
}
} // namespace severity

/// Line types of a decoded line (IE95_DO30_INDTIPORIGA).
namespace line_type {
inline constexpr std::int32_t kItemFound = 0;        ///< an order line whose item was decoded
inline constexpr std::int32_t kItemNotFound = 1;     ///< an order line left without an item
inline constexpr std::int32_t kTaxedAllowance = 1;   ///< an allowance or charge with a VAT rate
inline constexpr std::int32_t kUntaxedAllowance = 2; ///< one without: not checked for an item
} // namespace line_type

/// Kinds of an ERP customer or supplier (IE93_DO11_TIPOCF_CG44, CG44_TIPOCF).
namespace customer_type {
inline constexpr std::int32_t kCustomer = 0;
inline constexpr std::int32_t kSupplier = 1;
} // namespace customer_type

/// Processing codes of the working table (TMP_ELABORA).
namespace processing {
inline constexpr std::int32_t kNothing = 0;        ///< nothing to do, or chain not selected
inline constexpr std::int32_t kToClose = 1;        ///< older order to make no longer fulfillable
inline constexpr std::int32_t kToImport = 2;       ///< to be imported
inline constexpr std::int32_t kNotImported = 3;    ///< older document, only the latest imported
inline constexpr std::int32_t kCancellation = 4;   ///< the latest document is a cancellation
inline constexpr std::int32_t kDelivered = 5;      ///< older order with delivered quantities
inline constexpr std::int32_t kDeliveredChain = 6; ///< main row of a chain with a delivered order
} // namespace processing

/// Import outcomes of the working table (TMP_ESITO, TMP_GESTIONE).
namespace import_outcome {
inline constexpr std::int32_t kNone = 0;
inline constexpr std::int32_t kFailed = 12;
inline constexpr std::int32_t kImported = 14;
inline constexpr std::int32_t kHandlingFailed = 99;
inline constexpr std::int32_t kHandlingImported = 8;
} // namespace import_outcome

/// What a registered document does (IE91_OPERAZIONE); any other value is a first order.
namespace operation {
inline constexpr std::int32_t kOrder = 0;
inline constexpr std::int32_t kRevision = 1;
inline constexpr std::int32_t kCancellation = 2;
} // namespace operation

/// Selection codes of the working table (TMP_IMG_SEL).
namespace selection {
inline constexpr std::int32_t kNotSelected = 0; ///< a main row the user has not selected
inline constexpr std::int32_t kSelected = 1;    ///< a selected main row: its chain is processed
inline constexpr std::int32_t kBlocked = 2;     ///< an older order of the chain has deliveries
inline constexpr std::int32_t kOlder = 9;       ///< an older document, never selected itself
} // namespace selection

/// Image codes the working table carries for the host's list (TMP_IMG_OPERAZIONE,
/// TMP_IMG_GESTIONEDOC, TMP_ORDINE_CONSEGNATO).
namespace image {
inline constexpr std::int32_t kRevision = 15;
inline constexpr std::int32_t kCancellation = 16;
inline constexpr std::int32_t kHasErpOrder = 8;
inline constexpr std::int32_t kDelivered = 13;
inline constexpr std::int32_t kNone = 99;
} // namespace image

/// Outcome of the last retrieval in the configuration (IE90_ESITO_IMPORT).
namespace retrieval_outcome {
inline constexpr std::int32_t kNothingNew = 0;
inline constexpr std::int32_t kNewDocuments = 1;
} // namespace retrieval_outcome

} // namespace kvad
