#pragma once
// The order rule checks: what makes an order's import wrong although the national node let it
// through (amounts that do not add up, currencies, identifiers, references, units, VAT). They
// read the staging tables and the register, write warnings and errors of their own codes to the
// error log in the verification context, and never look at a cancellation.

#include <cstdint>
#include <map>
#include <set>

#include "frame/nso_state.h"
#include "kvad_nso/decimal.h"
#include "kvad_nso/recordset.h"

namespace kvad::nso {

/// How a line's price relates to its quantity, from the order's base quantity and the units of
/// both: decoding divides the price by `divisor` when the price is for a base quantity other
/// than 1 in the quantity's unit.
struct PriceBase {
    enum class Kind {
        PerUnit,       ///< no base quantity, or 1 in the quantity's unit (or none named)
        Converted,     ///< a base quantity above 0 in the quantity's unit: divide by it
        NotConvertible ///< another unit than the quantity's, or a base quantity not above 0
    };
    Kind kind = Kind::PerUnit;
    Decimal divisor{1};
};

/// The relation of a staged line (IE94_LineItem_Price_BaseQuantity and its unitCode, the
/// unitCode of IE94_LineItem_Quantity). Units count as one when either is not given.
[[nodiscard]] PriceBase PriceBaseOf(const Variant& baseQuantity, const Variant& baseUnit,
                                    const Variant& quantityUnit);

/// What the rules of an order need of its header, read once per verification.
struct OrderFacts {
    bool staged = false;       ///< the order has a staged header
    std::int64_t company = 0;  ///< the company that received it
    bool cancellation = false; ///< the register names it a cancellation: nothing is checked
    std::string currency;      ///< ISO code the amounts must be in: the decoded currency's, else
                               ///< the document currency
    Variant issueDate;         ///< the order's date (IE92_IssueDate)
};

/// Reads the facts of order fId.
[[nodiscard]] OrderFacts ReadOrderFacts(NsoState& state, std::int32_t fId);

/// The header rules of order fId: totals, currencies of the order's own amounts, buyer and
/// invoicee identifiers, the reference to an earlier document, the delivery period, the
/// delivery location's GLN, the tax of the order's allowances and charges.
void CheckHeaderRules(NsoState& state, std::int32_t fId, const OrderFacts& facts);

/// The allowances and charges staged for one order line, summed as decoding sums them.
struct StagedLineAllowances {
    Decimal allowances;
    Decimal charges;
};

/// What the line rules of one order read once for all its lines.
struct OrderLines {
    /// Every staged line's allowances and charges, by staged line id (IE9A_ID_IE94).
    std::map<std::int64_t, StagedLineAllowances> allowances;
    /// The staged lines (IE94_ID) whose line ID (IE94_LineItem_ID) another staged line of the
    /// order has too, as the database compares them.
    std::set<std::int64_t> sharedLineIds;
    /// The decoded line rows carry their staged line's columns (IE95 joined with IE94, read
    /// from the tables by the same check): the rules take the staged values from them instead
    /// of reading the staged line again.
    bool linesCarryStaged = false;
};

/// Reads the allowances and charges of every staged line of order fId in one statement, and
/// the lines that share their line ID in another.
[[nodiscard]] OrderLines ReadOrderLines(NsoState& state, std::int32_t fId, bool linesCarryStaged);

/// The rules of the decoded line `line` (its IE95 columns) of order fId, on the staged line it
/// was decoded from: nothing for a line made from an allowance or charge of the order.
void CheckLineRules(NsoState& state, std::int32_t fId, const OrderFacts& facts,
                    const OrderLines& lines, const Recordset& line);

} // namespace kvad::nso
