#pragma once
// What a printed order shows, read from a UBL Order: the parties, the delivery, the references,
// the notes, the lines with their allowances and charges, and the totals the buyer declared.
// Amounts are exact decimals; dates and codes stay as the document writes them.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/decimal.h"

namespace kvad::platform {

/// An order that cannot be shown, with the reason the platform reports.
class OrderRenderError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// Order, revision of an earlier order, or its cancellation, as the reference's fourth part
/// ("number#date#endpoint#Revised") says.
enum class OrderKind { Order, Revision, Cancellation };

/// A VAT category with its rate; orders group their taxable amounts by it.
struct TaxRate {
    std::string category;           ///< "S", "Z", "E", "O", ... (empty when not given)
    std::optional<Decimal> percent; ///< the rate, when given

    friend bool operator==(const TaxRate&, const TaxRate&) = default;
};

/// A party as a letterhead shows it.
struct Party {
    std::string name;                     ///< trading name, else registration name
    std::vector<std::string> identifiers; ///< labelled: "Codice IPA: UF7HQ2"
    std::vector<std::string> address;     ///< street, town, country lines
    std::string contact;                  ///< person, telephone and mail on one line

    [[nodiscard]] bool Empty() const {
        return name.empty() && identifiers.empty() && address.empty() && contact.empty();
    }
};

/// A discount (allowance) or a surcharge (charge), on the whole order or on one line.
struct AllowanceCharge {
    bool charge = false;
    std::string reason; ///< the reason text, else its code
    std::optional<Decimal> percent;
    std::optional<Decimal> base;
    Decimal amount;              ///< always positive in the document; `charge` gives the sign
    std::optional<TaxRate> rate; ///< header ones carry their VAT category

    /// The amount with its effect on the total: negative for an allowance.
    [[nodiscard]] Decimal Signed() const { return charge ? amount : amount.Negated(); }
};

struct OrderLine {
    std::string id;
    std::string name;
    std::string description;          ///< when it says more than the name
    std::vector<std::string> codes;   ///< labelled item codes: "Forn.: X", "GTIN: Y"
    std::vector<std::string> details; ///< notes, properties, delivery period, price details
    std::optional<Decimal> quantity;
    std::string unit; ///< UN/ECE unit code as written
    std::optional<Decimal> price;
    std::vector<AllowanceCharge> allowances;
    std::optional<TaxRate> rate;
    Decimal amount; ///< the declared line amount, else quantity × price ± allowances and charges
};

/// The totals as the document declares them (each may be missing).
struct DeclaredTotals {
    std::optional<Decimal> lines;
    std::optional<Decimal> allowances;
    std::optional<Decimal> charges;
    std::optional<Decimal> taxExclusive;
    std::optional<Decimal> tax;
    std::optional<Decimal> taxInclusive;
    std::optional<Decimal> prepaid;
    std::optional<Decimal> rounding;
    std::optional<Decimal> payable;
};

/// A labelled value of the header ("Contratto", "Riferimento cliente", ...).
struct Field {
    std::string label;
    std::string value;
};

struct OrderDocument {
    std::string number;
    std::string issueDate; ///< as written ("yyyy-mm-dd" in a valid order)
    OrderKind kind = OrderKind::Order;
    std::string reference; ///< what it revises, cancels or refers to, in words; may be empty
    std::string currency;
    std::vector<std::string> notes;
    std::vector<Field> fields;
    Party buyer;
    Party seller;
    Party invoicee;
    Party delivery; ///< the delivery place: its id, name and address
    std::string deliveryPeriod;
    std::vector<OrderLine> lines;
    std::vector<AllowanceCharge> allowances;
    DeclaredTotals declared;
};

/// Reads a UBL Order, bare or inside a StandardBusinessDocument envelope, with any namespace
/// prefixes; a leading UTF-8 byte-order mark is allowed. Throws OrderRenderError for text that
/// is not well-formed XML, a document that is not an Order, and an amount, quantity or rate
/// that is not a number.
[[nodiscard]] OrderDocument ReadOrderDocument(std::string_view text);

/// "Ordine", "Revisione" or "Annullamento".
[[nodiscard]] std::string KindName(OrderKind kind);

} // namespace kvad::platform
