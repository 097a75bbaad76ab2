#include "verification/order_rules.h"

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frame/formato_db.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/date_time.h"
#include "kvad_nso/identifiers.h"
#include "kvad_nso/text.h"
#include "verification/error_log.h"

namespace kvad::nso {
namespace {

constexpr std::string_view kCurrencySuffix = "_currencyID";
constexpr int kAmountDecimals = 2;

// An amount within this of the one computed counts as equal.
const Decimal& Tolerance() {
    static const Decimal tolerance = *Decimal::Parse("0.02");
    return tolerance;
}

bool Near(const Decimal& a, const Decimal& b) {
    const Decimal difference = a - b;
    return (difference.Sign() < 0 ? difference.Negated() : difference) <= Tolerance();
}

/// A staged or decoded number; nullopt when the value is null, empty or no number.
std::optional<Decimal> NumberOf(const Variant& value) {
    if (!value.IsNumber()) {
        return std::nullopt;
    }
    return value.ToDecimal();
}

std::string TextOf(const Variant& value) {
    return Trim(ValoreODefault(value, std::string()).Text());
}

/// An amount as a clerk reads it: two decimals at least ("370.00", "0.185").
std::string AmountText(const Decimal& amount) {
    std::string text = amount.Scale() < kAmountDecimals ? amount.Round(kAmountDecimals).ToString()
                                                        : amount.ToString();
    const std::size_t point = text.find('.');
    const std::size_t decimals = point == std::string::npos ? 0 : text.size() - point - 1;
    if (point == std::string::npos) {
        text += '.';
    }
    for (std::size_t i = decimals; i < kAmountDecimals; ++i) {
        text += '0';
    }
    return text;
}

std::optional<DateTime> DateOf(const Variant& value) {
    if (value.Type() == VarType::Date) {
        return value.ToDate().DateOnly();
    }
    return std::nullopt;
}

std::string Literal(const std::string& text) {
    return "'" + ReplaceAll(text, "'", "''") + "'";
}

/// Writes the entries of one order's header or one of its lines, each code and value once.
class RuleLog {
  public:
    RuleLog(NsoState& state, std::int32_t fId, std::int32_t stagedLine, std::int32_t lineNumber)
        : state_(state), fId_(fId), stagedLine_(stagedLine), lineNumber_(lineNumber) {}

    void Write(std::int32_t code, const std::string& field, std::int32_t severity,
               const VariantArray& parameters) {
        const std::string first = parameters.empty() ? std::string() : parameters[0].Text();
        if (!written_.emplace(code, first).second) {
            return;
        }
        ScriviErrorLog(state_, fId_, stagedLine_, lineNumber_, code, field, severity,
                       Contesto_VerificaDati, "", &parameters);
    }

  private:
    NsoState& state_;
    std::int32_t fId_;
    std::int32_t stagedLine_;
    std::int32_t lineNumber_;
    std::set<std::pair<std::int32_t, std::string>> written_;
};

/// True for an amount's currency column; a server database may hand the names back in another
/// case.
bool IsCurrencyColumn(std::string_view name) {
    return name.size() >= kCurrencySuffix.size() &&
           EqualsNoCase(name.substr(name.size() - kCurrencySuffix.size()), kCurrencySuffix);
}

/// The positions of a recordset's currency columns, looked for once for all its rows.
std::vector<int> CurrencyFields(const Recordset& rows) {
    std::vector<int> fields;
    for (int i = 0; i < rows.FieldCount(); ++i) {
        if (IsCurrencyColumn(rows.FieldName(i))) {
            fields.push_back(i);
        }
    }
    return fields;
}

/// The currency of the first amount of the row that is not `currency` ("" when all are).
std::string OtherCurrency(const Recordset& row, const std::vector<int>& fields,
                          const std::string& currency) {
    for (const int i : fields) {
        std::string given = TextOf(row.Value(i));
        if (!given.empty() && !EqualsNoCase(given, currency)) {
            return given;
        }
    }
    return {};
}

/// The currency columns of `table` as a select list, in the table's order ("*" when a name is
/// not a plain identifier): the check reads those, not every staged column of every line.
std::string CurrencyColumns(NsoState& state, const std::string& table) {
    auto shape = Conn(state).Query("SELECT * FROM " + table + " WHERE 1 = 0");
    std::string list;
    for (int i = 0; i < shape->FieldCount(); ++i) {
        const std::string name = shape->FieldName(i);
        if (!IsCurrencyColumn(name)) {
            continue;
        }
        if (!std::all_of(name.begin(), name.end(), [](char c) {
                return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '_';
            })) {
            return "*";
        }
        list += list.empty() ? name : ", " + name;
    }
    return list.empty() ? "*" : list;
}

/// True for a tax category and rate of Italian VAT: S at 4, 5, 10 or 22 percent; Z, E, AE, K,
/// G and O at 0.
bool IsItalianVat(const std::string& category, const Decimal& rate) {
    const std::string upper = AsciiUpper(category);
    if (upper == "S") {
        for (const std::int64_t italian : {4, 5, 10, 22}) {
            if (rate == Decimal(italian)) {
                return true;
            }
        }
        return false;
    }
    constexpr std::array<std::string_view, 6> kZeroRated = {"Z", "E", "AE", "K", "G", "O"};
    for (const std::string_view zeroRated : kZeroRated) {
        if (upper == zeroRated) {
            return rate.IsZero();
        }
    }
    return false;
}

void CheckVat(RuleLog& log, const std::string& field, const Variant& category,
              const Variant& percent) {
    const std::string code = TextOf(category);
    if (code.empty()) {
        return;
    }
    const Decimal rate = NumberOf(percent).value_or(Decimal());
    if (!IsItalianVat(code, rate)) {
        log.Write(message::kVatNotItalian, field, severity::kWarning,
                  {Variant(code), Variant(rate.ToString())});
    }
}

// ---- Header ------------------------------------------------------------------------------

/// Checks an identifier by the scheme it is given under: an IPA office code (0201), a VAT number
/// (0211, 9906), a fiscal code (0210, 9907), a GLN (0088); other schemes are not checked.
void CheckSchemeIdentifier(RuleLog& log, const std::string& field, const Variant& value,
                           const Variant& scheme) {
    const std::string text = TextOf(value);
    const std::string schemeId = TextOf(scheme);
    if (text.empty()) {
        return;
    }
    const VariantArray parameters{Variant(text)};
    if (schemeId == "0201" && !identifiers::IsIpaCode(text)) {
        log.Write(message::kInvalidIpaCode, field, severity::kWarning, parameters);
    } else if ((schemeId == "0211" || schemeId == "9906") &&
               !identifiers::IsVatNumber(AsciiUpper(text))) {
        log.Write(message::kInvalidVatNumber, field, severity::kWarning, parameters);
    } else if ((schemeId == "0210" || schemeId == "9907") &&
               !identifiers::IsFiscalCode(AsciiUpper(text))) {
        log.Write(message::kInvalidFiscalCode, field, severity::kWarning, parameters);
    } else if (schemeId == "0088" && !identifiers::IsGln(text)) {
        log.Write(message::kInvalidGln, field, severity::kWarning, parameters);
    }
}

bool IsItalianScheme(const std::string& scheme) {
    return scheme == "0201" || scheme == "0210" || scheme == "0211" || scheme == "9906" ||
           scheme == "9907";
}

/// The buyer's or the invoicee's identifiers: endpoint and party identification by their
/// scheme, an Italian VAT number ("IT" in front) by its check digit, and the legal entity's
/// company id of a party with an Italian endpoint as a fiscal code (or a VAT number).
void CheckParty(RuleLog& log, const Recordset& header, const std::string& party) {
    const std::string endpoint = party + "EndpointID";
    const std::string identification = party + "PartyIdentification_ID";
    CheckSchemeIdentifier(log, endpoint, header.Value(endpoint),
                          header.Value(endpoint + "_schemeID"));
    CheckSchemeIdentifier(log, identification, header.Value(identification),
                          header.Value(identification + "_schemeID"));

    const std::string taxField = party + "PartyTaxScheme_CompanyID";
    const std::string taxId = AsciiUpper(TextOf(header.Value(taxField)));
    if (taxId.starts_with("IT") && !identifiers::IsVatNumber(taxId)) {
        log.Write(message::kInvalidVatNumber, taxField, severity::kWarning, {Variant(taxId)});
    }
    const std::string legalField = party + "PartyLegalEntity_CompanyID";
    const std::string legalId = AsciiUpper(TextOf(header.Value(legalField)));
    if (legalId.empty() || !IsItalianScheme(TextOf(header.Value(endpoint + "_schemeID")))) {
        return;
    }
    if (legalId.starts_with("IT")) {
        if (!identifiers::IsVatNumber(legalId)) {
            log.Write(message::kInvalidVatNumber, legalField, severity::kWarning,
                      {Variant(legalId)});
        }
    } else if (!identifiers::IsFiscalCode(legalId)) {
        log.Write(message::kInvalidFiscalCode, legalField, severity::kWarning, {Variant(legalId)});
    }
}

std::vector<std::string> SplitReference(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('#', start);
        parts.push_back(Trim(text.substr(start, end - start)));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

/// The reference to an earlier document (number#date#office#kind): one that is not of that
/// form, that names a document of another kind than a revised or cancelled order, or that names
/// a document the company never received. A reference without "#" is no NSO reference and
/// links nothing: it is not checked.
void CheckReference(NsoState& state, RuleLog& log, const Recordset& header,
                    const OrderFacts& facts) {
    constexpr const char* kField = "IE92_OrderDocumentReference_ID";
    const std::string reference = TextOf(header.Value(kField));
    if (reference.find('#') == std::string::npos) {
        return;
    }
    const std::vector<std::string> parts = SplitReference(reference);
    const std::optional<DateTime> date =
        parts.size() >= 2 ? DateTime::ParseIso(parts[1]) : std::nullopt;
    if (parts.size() < 3 || parts.size() > 4 || parts[0].empty() || parts[2].empty() || !date) {
        log.Write(message::kMalformedReference, kField, severity::kWarning, {Variant(reference)});
        return;
    }
    const std::string kind = parts.size() == 4 ? AsciiUpper(parts[3]) : std::string();
    if (!kind.empty() && kind != "REVISED" && kind != "CANCELLED") {
        log.Write(message::kReferenceOtherKind, kField, severity::kWarning, {Variant(parts[3])});
        return;
    }
    const bool received =
        !Conn(state)
             .Query("SELECT TOP 1 1 FROM IE91_NSOFILES WITH (NOLOCK) WHERE IE91_DITTA_CG18 = " +
                    std::to_string(facts.company) + " AND IE91_IDORD = " + Literal(parts[0]) +
                    " AND IE91_ISSUEDATE = " + FormatoDB(state, *date, kLiteralDate, false).Text() +
                    " AND IE91_ENDPOINTID = " + Literal(parts[2]))
             ->Eof();
    if (!received) {
        log.Write(message::kReferenceNotReceived, kField, severity::kWarning,
                  {Variant(parts[0] + "#" + parts[1] + "#" + parts[2])});
    }
}

/// Sums of the order's staged line amounts and of its own allowances and charges.
struct StagedSums {
    std::optional<Decimal> lines; ///< none when no line gives an amount
    Decimal allowances;
    Decimal charges;
};

/// One total of the order against the amount it should be, when both are known.
void CheckTotal(RuleLog& log, const Recordset& header, const char* name,
                const std::optional<Decimal>& computed) {
    const std::string field = std::string("IE92_AnticipatedMonetaryTotal_") + name;
    const std::optional<Decimal> given = NumberOf(header.Value(field));
    if (given && computed && !Near(*given, *computed)) {
        log.Write(message::kTotalsDoNotAddUp, field, severity::kWarning,
                  {Variant(name), Variant(AmountText(*given)), Variant(AmountText(*computed))});
    }
}

std::optional<Decimal> Plus(const std::optional<Decimal>& a, const std::optional<Decimal>& b) {
    return a && b ? std::optional<Decimal>(*a + *b) : std::nullopt;
}

/// The totals of the order, each from the amounts before it (the given ones where there are).
void CheckTotals(RuleLog& log, const Recordset& header, const StagedSums& sums) {
    const auto given = [&](const char* name) {
        return NumberOf(header.Value(std::string("IE92_AnticipatedMonetaryTotal_") + name));
    };
    CheckTotal(log, header, "LineExtensionAmount", sums.lines);
    CheckTotal(log, header, "AllowanceTotalAmount", sums.allowances);
    CheckTotal(log, header, "ChargeTotalAmount", sums.charges);
    const std::optional<Decimal> lines =
        given("LineExtensionAmount") ? given("LineExtensionAmount") : sums.lines;
    const Decimal allowances = given("AllowanceTotalAmount").value_or(sums.allowances);
    const Decimal charges = given("ChargeTotalAmount").value_or(sums.charges);
    CheckTotal(log, header, "TaxExclusiveAmount",
               lines ? std::optional<Decimal>(*lines - allowances + charges) : std::nullopt);
    CheckTotal(
        log, header, "TaxInclusiveAmount",
        Plus(given("TaxExclusiveAmount"), NumberOf(header.Value("IE92_TaxTotal_TaxAmount"))));
    const Decimal prepaid = given("PrepaidAmount").value_or(Decimal());
    const Decimal rounding = given("PayableRoundingAmount").value_or(Decimal());
    CheckTotal(log, header, "PayableAmount",
               Plus(given("TaxInclusiveAmount"), std::optional<Decimal>(rounding - prepaid)));
}

/// The order's own allowances and charges: their sums and their tax.
StagedSums CheckOrderAllowances(NsoState& state, RuleLog& log, std::int32_t fId) {
    StagedSums sums;
    auto lines = Conn(state).Query("SELECT SUM(IE94_LineItem_LineExtensionAmount) AS LINES_AMOUNT, "
                                   "COUNT(IE94_LineItem_LineExtensionAmount) AS LINES_GIVEN FROM "
                                   "IE94_NSOCORPOXML WITH (NOLOCK) WHERE IE94_ID_IE91 = " +
                                   std::to_string(fId));
    if (!lines->Eof() && NumberOf(lines->Value("LINES_GIVEN")).value_or(Decimal()).Sign() > 0) {
        sums.lines = NumberOf(lines->Value("LINES_AMOUNT"));
    }
    auto charges = Conn(state).Query(
        "SELECT * FROM IE96_NSOTESTATASCONTIXML WITH (NOLOCK) WHERE IE96_ID_IE91 = " +
        std::to_string(fId));
    for (; !charges->Eof(); charges->MoveNext()) {
        const Decimal amount = NumberOf(charges->Value("IE96_Amount")).value_or(Decimal());
        // As decoding reads them: only "true" is a charge.
        if (AsciiUpper(TextOf(charges->Value("IE96_ChargeIndicator"))) == "TRUE") {
            sums.charges = sums.charges + amount;
        } else {
            sums.allowances = sums.allowances + amount;
        }
        CheckVat(log, "IE96_TaxCategory_ID", charges->Value("IE96_TaxCategory_ID"),
                 charges->Value("IE96_TaxCategory_Percent"));
    }
    return sums;
}

/// Every amount of the order, of the header, its allowances and charges, its lines and theirs,
/// in the order's currency: one header entry for the first that is not, so that correcting the
/// order's currency clears it.
void CheckCurrencies(NsoState& state, RuleLog& log, std::int32_t fId, const Recordset& header,
                     const OrderFacts& facts) {
    if (facts.currency.empty()) {
        return;
    }
    std::string other = OtherCurrency(header, CurrencyFields(header), facts.currency);
    for (const std::string table :
         {"IE96_NSOTESTATASCONTIXML", "IE94_NSOCORPOXML", "IE9A_NSOCORPOSCONTIXML"}) {
        if (!other.empty()) {
            break;
        }
        auto rows = Conn(state).Query("SELECT " + CurrencyColumns(state, table) + " FROM " + table +
                                      " WITH (NOLOCK) WHERE " + table.substr(0, 4) +
                                      "_ID_IE91 = " + std::to_string(fId));
        const std::vector<int> fields = CurrencyFields(*rows);
        for (; other.empty() && !rows->Eof(); rows->MoveNext()) {
            other = OtherCurrency(*rows, fields, facts.currency);
        }
    }
    if (!other.empty()) {
        log.Write(message::kAmountCurrency, "IE93_DO11_VALUTA_CG08", severity::kError,
                  {Variant(other), Variant(facts.currency)});
    }
}

void CheckHeaderDates(RuleLog& log, const Recordset& header, const OrderFacts& facts) {
    constexpr const char* kField = "IE92_Delivery_RequestedDeliveryPeriod_StartDate";
    const std::optional<DateTime> delivery = DateOf(header.Value(kField));
    const std::optional<DateTime> ordered = DateOf(facts.issueDate);
    if (delivery && ordered && *delivery < *ordered) {
        log.Write(message::kDeliveryBeforeOrder, kField, severity::kWarning,
                  {Variant(delivery->ToText()), Variant(ordered->ToText())});
    }
}

// ---- Lines -------------------------------------------------------------------------------

/// A staged line that carries nothing of an order line: one decoding added for an allowance
/// or charge of the order.
bool IsAddedLine(const Recordset& staged) {
    for (const char* column :
         {"IE94_LineItem_ID", "IE94_LineItem_Quantity", "IE94_LineItem_LineExtensionAmount",
          "IE94_LineItem_Price_PriceAmount", "IE94_LineItem_Item_Name",
          "IE94_LineItem_Item_Description", "IE94_LineItem_Item_SellersItemIdentification_ID",
          "IE94_LineItem_Item_StandardItemIdentification_ID"}) {
        const Variant value = staged.Value(column);
        if (!value.IsNull() && !value.IsEmpty()) {
            return false;
        }
    }
    return true;
}

/// The checks of one order line: its decoded values, where a clerk corrects them, and its
/// staged values, what the order says.
class LineRules {
  public:
    LineRules(NsoState& state, std::int32_t fId, const OrderFacts& facts, const OrderLines& lines,
              const Recordset& line, const Recordset& staged)
        : facts_(facts), lines_(lines), line_(line), staged_(staged),
          log_(state, fId, staged.Value("IE94_ID").ToLong(),
               static_cast<std::int32_t>(NumberOf(line.Value("IE95_DO30_PROGRIGA"))
                                             .value_or(Decimal())
                                             .ToInt64Rounded())) {}

    void Run() {
        ReadAllowances();
        Quantities();
        PriceBaseQuantity();
        LineAmount();
        Identifiers();
        Delivery();
        // The order's category with its rate as decoded (a clerk corrects an unreadable one).
        CheckVat(log_, "IE95_DO30_ALIVA_CG28",
                 staged_.Value("IE94_LineItem_Item_ClassifiedTaxCategory_ID"),
                 line_.Value("IE95_ALIVA_XML"));
    }

  private:
    void ReadAllowances() {
        const auto found = lines_.allowances.find(staged_.Value("IE94_ID").ToLong());
        if (found != lines_.allowances.end()) {
            allowances_ = found->second.allowances;
            charges_ = found->second.charges;
        }
    }

    void Negative(const char* field) {
        const std::optional<Decimal> value = NumberOf(line_.Value(field));
        if (value && value->Sign() < 0) {
            log_.Write(message::kNegativeValue, field, severity::kError,
                       {Variant(value->ToString())});
        }
    }

    void Quantities() {
        const std::optional<Decimal> quantity = NumberOf(line_.Value("IE95_DO30_QTA1"));
        const Variant staged = staged_.Value("IE94_LineItem_Quantity");
        if ((staged.IsNull() || staged.IsEmpty()) && (!quantity || quantity->IsZero())) {
            log_.Write(message::kNoQuantity, "IE95_DO30_QTA1", severity::kError, {});
        }
        for (const char* field :
             {"IE95_DO30_QTA1", "IE95_DO30_PREZZO1", "IE95_DO30_SCIMP", "IE95_DO30_MAGIMP"}) {
            Negative(field);
        }
    }

    /// A price for another quantity than 1: converted by decoding (a warning), or not
    /// convertible (an error while the decoded price is still the order's).
    void PriceBaseQuantity() {
        const Variant base = staged_.Value("IE94_LineItem_Price_BaseQuantity");
        const PriceBase relation =
            PriceBaseOf(base, staged_.Value("IE94_LineItem_Price_BaseQuantity_unitCode"),
                        staged_.Value("IE94_LineItem_Quantity_unitCode"));
        if (relation.kind == PriceBase::Kind::Converted) {
            log_.Write(message::kPriceBaseConverted, "IE95_DO30_PREZZO1", severity::kWarning,
                       {Variant(relation.divisor.ToString())});
            return;
        }
        if (relation.kind != PriceBase::Kind::NotConvertible) {
            return;
        }
        const std::optional<Decimal> ordered =
            NumberOf(staged_.Value("IE94_LineItem_Price_PriceAmount"));
        const std::optional<Decimal> decoded = NumberOf(line_.Value("IE95_DO30_PREZZO1"));
        if (ordered && decoded && *ordered == *decoded) {
            log_.Write(message::kPriceBaseUnit, "IE95_DO30_PREZZO1", severity::kError,
                       {Variant(NumberOf(base).value_or(Decimal(1)).ToString()),
                        Variant(TextOf(staged_.Value("IE94_LineItem_Price_BaseQuantity_unitCode"))),
                        Variant(TextOf(staged_.Value("IE94_LineItem_Quantity_unitCode")))});
        }
    }

    /// The line amount against quantity x price / base quantity - allowances + charges.
    /// The order's line amount against the decoded quantity x price (the price per unit, as
    /// decoding divided it) - the order's allowances + its charges: what the ERP line will
    /// amount to, so that a clerk's correction of quantity or price counts. A line whose order
    /// gives no quantity or price has nothing to compare.
    void LineAmount() {
        const std::optional<Decimal> amount =
            NumberOf(staged_.Value("IE94_LineItem_LineExtensionAmount"));
        const std::optional<Decimal> quantity = NumberOf(line_.Value("IE95_DO30_QTA1"));
        const std::optional<Decimal> price = NumberOf(line_.Value("IE95_DO30_PREZZO1"));
        if (!amount || !quantity || !price || !NumberOf(staged_.Value("IE94_LineItem_Quantity")) ||
            !NumberOf(staged_.Value("IE94_LineItem_Price_PriceAmount"))) {
            return;
        }
        const Decimal computed = *quantity * *price - allowances_ + charges_;
        if (!Near(*amount, computed)) {
            log_.Write(message::kLineAmountMismatch, "IE94_LineItem_LineExtensionAmount",
                       severity::kWarning,
                       {Variant(AmountText(*amount)), Variant(AmountText(computed))});
        }
    }

    void Identifiers() {
        constexpr const char* kStandardId = "IE94_LineItem_Item_StandardItemIdentification_ID";
        const std::string standardId = TextOf(staged_.Value(kStandardId));
        const std::string scheme = TextOf(staged_.Value(std::string(kStandardId) + "_schemeID"));
        if (!standardId.empty() && (scheme == "0160" || scheme == "0088") &&
            !identifiers::IsGtin(standardId)) {
            log_.Write(message::kInvalidGtin, kStandardId, severity::kWarning,
                       {Variant(standardId)});
        }
        const std::string lineId = TextOf(staged_.Value("IE94_LineItem_ID"));
        if (lineId.empty()) {
            return;
        }
        if (lines_.sharedLineIds.count(staged_.Value("IE94_ID").ToLong()) != 0) {
            log_.Write(message::kDuplicateLineId, "IE94_LineItem_ID", severity::kWarning,
                       {Variant(lineId)});
        }
    }

    void Delivery() {
        const std::optional<DateTime> delivery = DateOf(line_.Value("IE95_DO31_DATACONS"));
        const std::optional<DateTime> ordered = DateOf(facts_.issueDate);
        if (delivery && ordered && *delivery < *ordered) {
            log_.Write(message::kDeliveryBeforeOrder, "IE95_DO31_DATACONS", severity::kWarning,
                       {Variant(delivery->ToText()), Variant(ordered->ToText())});
        }
    }

    const OrderFacts& facts_;
    const OrderLines& lines_;
    const Recordset& line_;
    const Recordset& staged_;
    RuleLog log_;
    Decimal allowances_;
    Decimal charges_;
};

} // namespace

PriceBase PriceBaseOf(const Variant& baseQuantity, const Variant& baseUnit,
                      const Variant& quantityUnit) {
    const std::string base = TextOf(baseUnit);
    const std::string quantity = TextOf(quantityUnit);
    if (!base.empty() && !quantity.empty() && !EqualsNoCase(base, quantity)) {
        return {PriceBase::Kind::NotConvertible, Decimal(1)};
    }
    const std::optional<Decimal> divisor = NumberOf(baseQuantity);
    if (!divisor || *divisor == Decimal(1)) {
        return {};
    }
    if (divisor->Sign() <= 0) {
        return {PriceBase::Kind::NotConvertible, Decimal(1)};
    }
    return {PriceBase::Kind::Converted, *divisor};
}

OrderFacts ReadOrderFacts(NsoState& state, std::int32_t fId) {
    OrderFacts facts;
    auto rs = Conn(state).Query(
        "SELECT IE91_DITTA_CG18, IE91_OPERAZIONE, IE92_DocumentCurrencyCode, IE92_IssueDate, "
        "CG08_SIGLA FROM IE91_NSOFILES WITH (NOLOCK) INNER JOIN IE92_NSOTESTATAXML WITH "
        "(NOLOCK) ON IE92_ID_IE91 = IE91_ID LEFT OUTER JOIN IE93_NSOTESTATA WITH (NOLOCK) ON "
        "IE93_ID_IE91 = IE91_ID LEFT OUTER JOIN CG08_TABVALUTE WITH (NOLOCK) ON CG08_CODICE = "
        "IE93_DO11_VALUTA_CG08 WHERE IE91_ID = " +
        std::to_string(fId));
    if (rs->Eof()) {
        return facts;
    }
    facts.staged = true;
    facts.company = NumberOf(rs->Value("IE91_DITTA_CG18")).value_or(Decimal()).ToInt64Rounded();
    facts.cancellation = NumberOf(rs->Value("IE91_OPERAZIONE")).value_or(Decimal()) ==
                         Decimal(operation::kCancellation);
    const std::string decoded = TextOf(rs->Value("CG08_SIGLA"));
    facts.currency =
        AsciiUpper(decoded.empty() ? TextOf(rs->Value("IE92_DocumentCurrencyCode")) : decoded);
    facts.issueDate = rs->Value("IE92_IssueDate");
    return facts;
}

void CheckHeaderRules(NsoState& state, std::int32_t fId, const OrderFacts& facts) {
    if (!facts.staged || facts.cancellation) {
        return;
    }
    auto header =
        Conn(state).Query("SELECT * FROM IE92_NSOTESTATAXML WITH (NOLOCK) WHERE IE92_ID_IE91 = " +
                          std::to_string(fId));
    if (header->Eof()) {
        return;
    }
    RuleLog log(state, fId, 0, 0);
    CheckCurrencies(state, log, fId, *header, facts);
    CheckTotals(log, *header, CheckOrderAllowances(state, log, fId));
    CheckParty(log, *header, "IE92_BuyerCustomerParty_Party_");
    CheckParty(log, *header, "IE92_AccountingCustomerParty_Party_");
    // The delivery location is checked only as a GLN: its other ids are the buyer's own.
    const std::string location = TextOf(header->Value("IE92_Delivery_DeliveryLocation_ID"));
    if (TextOf(header->Value("IE92_Delivery_DeliveryLocation_ID_schemeID")) == "0088" &&
        !location.empty() && !identifiers::IsGln(location)) {
        log.Write(message::kInvalidGln, "IE92_Delivery_DeliveryLocation_ID", severity::kWarning,
                  {Variant(location)});
    }
    CheckReference(state, log, *header, facts);
    CheckHeaderDates(log, *header, facts);
}

OrderLines ReadOrderLines(NsoState& state, std::int32_t fId, bool linesCarryStaged) {
    OrderLines lines;
    lines.linesCarryStaged = linesCarryStaged;
    auto rows = Conn(state).Query(
        "SELECT IE9A_ID_IE94, IE9A_ChargeIndicator, IE9A_Amount FROM IE9A_NSOCORPOSCONTIXML WITH "
        "(NOLOCK) WHERE IE9A_ID_IE94 IN (SELECT IE94_ID FROM IE94_NSOCORPOXML WITH (NOLOCK) "
        "WHERE IE94_ID_IE91 = " +
        std::to_string(fId) + ")");
    for (; !rows->Eof(); rows->MoveNext()) {
        const std::string indicator = AsciiUpper(TextOf(rows->Value("IE9A_ChargeIndicator")));
        const Decimal amount = NumberOf(rows->Value("IE9A_Amount")).value_or(Decimal());
        StagedLineAllowances& line = lines.allowances[rows->Value("IE9A_ID_IE94").ToLong()];
        // As decoding reads them: an indicator neither true nor false is ignored.
        if (indicator == "TRUE") {
            line.charges = line.charges + amount;
        } else if (indicator == "FALSE") {
            line.allowances = line.allowances + amount;
        }
    }
    // The lines whose ID is not the order's only one, for all lines at once (a statement per
    // line cost as much as the rest of the line's checks).
    const std::string order = std::to_string(fId);
    auto shared = Conn(state).Query(
        "SELECT IE94_ID FROM IE94_NSOCORPOXML WITH (NOLOCK) WHERE IE94_ID_IE91 = " + order +
        " AND IE94_LineItem_ID IN (SELECT IE94_LineItem_ID FROM IE94_NSOCORPOXML WITH (NOLOCK) "
        "WHERE IE94_ID_IE91 = " +
        order + " GROUP BY IE94_LineItem_ID HAVING COUNT(*) > 1)");
    for (; !shared->Eof(); shared->MoveNext()) {
        lines.sharedLineIds.insert(shared->Value("IE94_ID").ToLong());
    }
    return lines;
}

void CheckLineRules(NsoState& state, std::int32_t fId, const OrderFacts& facts,
                    const OrderLines& lines, const Recordset& line) {
    if (!facts.staged || facts.cancellation) {
        return;
    }
    const std::optional<Decimal> stagedId = NumberOf(line.Value("IE95_ID_IE94"));
    if (!stagedId) {
        return;
    }
    if (lines.linesCarryStaged) {
        // The row's staged columns are its staged line's, or null when there is none.
        if (line.Value("IE94_ID").IsNull() || IsAddedLine(line)) {
            return;
        }
        LineRules(state, fId, facts, lines, line, line).Run();
        return;
    }
    auto staged =
        Conn(state).Query("SELECT * FROM IE94_NSOCORPOXML WITH (NOLOCK) WHERE IE94_ID = " +
                          std::to_string(stagedId->ToInt64Rounded()));
    if (staged->Eof() || IsAddedLine(*staged)) {
        return;
    }
    LineRules(state, fId, facts, lines, line, *staged).Run();
}

} // namespace kvad::nso
