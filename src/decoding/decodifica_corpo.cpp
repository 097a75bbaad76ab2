#include "decoding/decodifica_corpo.h"

#include <string>

#include "decoding/decodifica_articolo.h"
#include "decoding/staged_values.h"
#include "frame/failure_path.h"
#include "frame/formato_db.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/text.h"
#include "verification/order_rules.h"

namespace kvad::nso {
namespace {

constexpr int kUnitAmountDecimals = 3;
// The decoded price column keeps six decimals.
constexpr int kUnitPriceDecimals = 6;

// The decoded line's columns, in the order they are written.
struct DecodedLine {
    std::int32_t orderId = 0;
    Variant stagedLineId;
    std::int32_t lineNumber = 0;
    std::string itemCode;
    std::string itemOption;
    std::int16_t lineType = 0;
    std::string description;
    Decimal quantity;
    Decimal price;
    Decimal allowancePerUnit;
    Decimal chargePerUnit;
    Decimal vatRate;
    std::string vatCode;
    Variant deliveryDate;
};

void AppendDecodedLine(Recordset& lines, const DecodedLine& line) {
    const Variant zero(std::int16_t{0});
    lines.AddNew();
    lines.SetValue("IE95_ID_IE91", line.orderId);
    lines.SetValue("IE95_ID_IE94", line.stagedLineId);
    lines.SetValue("IE95_STATUS", zero);
    lines.SetValue("IE95_DO30_PROGRIGA", line.lineNumber);
    lines.SetValue("IE95_DO30_CODART_MG66", line.itemCode);
    lines.SetValue("IE95_DO30_OPZIONE_MG5E", line.itemOption);
    lines.SetValue("IE95_DO30_INDTIPORIGA", line.lineType);
    lines.SetValue("IE95_DO30_DESCART", line.description);
    lines.SetValue("IE95_DO30_QTA1", line.quantity);
    lines.SetValue("IE95_DO30_PREZZO1", line.price);
    for (const char* discount : {"IE95_DO30_SCPER1", "IE95_DO30_SCPER2", "IE95_DO30_SCPER3",
                                 "IE95_DO30_SCPER4", "IE95_DO30_SCPER5", "IE95_DO30_SCPER6"}) {
        lines.SetValue(discount, zero);
    }
    lines.SetValue("IE95_DO30_SCIMP", line.allowancePerUnit);
    lines.SetValue("IE95_DO30_MAGPER1", zero);
    lines.SetValue("IE95_DO30_MAGPER2", zero);
    lines.SetValue("IE95_DO30_MAGIMP", line.chargePerUnit);
    lines.SetValue("IE95_ALIVA_XML", line.vatRate);
    lines.SetValue("IE95_DO30_ALIVA_CG28", line.vatCode);
    lines.SetValue("IE95_DO31_DATACONS", line.deliveryDate);
    lines.SetValue("IE95_STATUS", zero);
    lines.Update();
}

// The order's price per unit of the quantity: a price given for a base quantity other than 1
// in the quantity's unit is divided by it (verification tells the clerk it was); any other
// price is taken as it stands.
Decimal UnitPrice(const Recordset& staged) {
    const Decimal price = DecimalOrZero(staged.Value("IE94_LineItem_Price_PriceAmount"));
    const PriceBase base = PriceBaseOf(staged.Value("IE94_LineItem_Price_BaseQuantity"),
                                       staged.Value("IE94_LineItem_Price_BaseQuantity_unitCode"),
                                       staged.Value("IE94_LineItem_Quantity_unitCode"));
    if (base.kind != PriceBase::Kind::Converted) {
        return price;
    }
    return (price / base.divisor).Round(kUnitPriceDecimals);
}

} // namespace

Decimal AmountPerUnit(const Decimal& total, const Decimal& quantity) {
    if (quantity.IsZero()) {
        return Decimal();
    }
    return (total / quantity).Round(kUnitAmountDecimals);
}

LineAllowances LineAllowanceTotals(NsoState& state, std::int32_t stagedLineId) {
    LineAllowances totals;
    auto groups =
        Conn(state).Query("SELECT IE9A_ChargeIndicator, SUM (IE9A_Amount) AS IE9A_Amount "
                          "FROM IE9A_NSOCORPOSCONTIXML WITH (NOLOCK) "
                          "WHERE IE9A_ID_IE94 = " +
                          std::to_string(stagedLineId) + " GROUP BY IE9A_ChargeIndicator ");
    // A total is assigned, not added to: of two groups differing only in case, the last wins.
    for (; !groups->Eof(); groups->MoveNext()) {
        const std::string indicator = AsciiUpper(groups->Value("IE9A_ChargeIndicator").Text());
        if (indicator == "FALSE") {
            totals.allowances = DecimalOrZero(groups->Value("IE9A_Amount"));
        } else if (indicator == "TRUE") {
            totals.charges = DecimalOrZero(groups->Value("IE9A_Amount"));
        }
    }
    return totals;
}

void DecodificaCorpo(NsoState& state, std::int32_t fId) {
    Guard(state, "DecodificaCorpo", [&] {
        const std::string id = std::to_string(fId);
        auto lines = Conn(state).OpenRecordset("SELECT IE95_NSOCORPO.* "
                                               "FROM IE95_NSOCORPO WITH (NOLOCK) "
                                               "WHERE IE95_ID_IE91 = " +
                                               id);

        // First pass: the order's lines, numbered in the order they are read.
        auto staged = Conn(state).Query("SELECT IE94_NSOCORPOXML.*, "
                                        "       IE93_DO11_CLIFOR_CG44 "
                                        "FROM IE91_NSOFILES WITH (NOLOCK) "
                                        "INNER JOIN IE93_NSOTESTATA WITH (NOLOCK) "
                                        "ON IE93_ID_IE91 = IE91_ID "
                                        "INNER JOIN IE94_NSOCORPOXML WITH (NOLOCK) "
                                        "ON IE94_ID_IE91 = IE91_ID "
                                        "WHERE IE91_ID = " +
                                        id);
        std::int32_t lineNumber = 0;
        // Lines made from the order's own allowances and charges carry the delivery date of the
        // last order line.
        Variant deliveryDate;
        for (; !staged->Eof(); staged->MoveNext()) {
            ++lineNumber;
            DecodedLine line;
            const std::string sellersId =
                TextOrEmpty(staged->Value("IE94_LineItem_Item_SellersItemIdentification_ID"));
            const std::string standardId =
                TextOrEmpty(staged->Value("IE94_LineItem_Item_StandardItemIdentification_ID"));
            line.quantity = DecimalOrZero(staged->Value("IE94_LineItem_Quantity"));
            line.vatCode =
                TextOrEmpty(staged->Value("IE94_LineItem_Item_ClassifiedTaxCategory_ID"));
            line.vatRate =
                DecimalOrZero(staged->Value("IE94_LineItem_Item_ClassifiedTaxCategory_Percent"));
            deliveryDate =
                staged->Value("IE94_LineItem_Delivery_RequestedDeliveryPeriod_StartDate");
            line.description = TextOrEmpty(staged->Value("IE94_LineItem_Item_Description"));
            line.price = UnitPrice(*staged);
            const std::int32_t customer =
                Variant(DecimalOrZero(staged->Value("IE93_DO11_CLIFOR_CG44"))).ToLong();
            line.stagedLineId = staged->Value("IE94_ID");
            const std::int32_t stagedLineId = line.stagedLineId.ToLong();

            const LineAllowances totals = LineAllowanceTotals(state, stagedLineId);
            DecodificaArticolo(state, fId, stagedLineId, lineNumber, "IE95_DO30_CODART_MG66",
                               sellersId, standardId, line.description, 0, customer, line.itemCode,
                               line.itemOption, line.lineType);
            line.orderId = fId;
            line.lineNumber = lineNumber;
            line.allowancePerUnit = AmountPerUnit(totals.allowances, line.quantity);
            line.chargePerUnit = AmountPerUnit(totals.charges, line.quantity);
            line.deliveryDate = deliveryDate;
            AppendDecodedLine(*lines, line);
        }
        staged.reset();

        // Second pass: the order's own allowances and charges, numbered after its last line.
        auto orderAllowances =
            Conn(state).Query("SELECT * FROM IE96_NSOTESTATASCONTIXML WITH (NOLOCK) "
                              "WHERE IE96_ID_IE91 = " +
                              id);
        if (orderAllowances->Eof()) {
            return;
        }
        {
            auto highest = Conn(state).Query("SELECT MAX(IE95_DO30_PROGRIGA) AS MAX_PROGRIGA "
                                             "FROM IE95_NSOCORPO WITH (NOLOCK) "
                                             "WHERE IE95_ID_IE91 = " +
                                             id);
            const Variant last = highest->Value("MAX_PROGRIGA");
            lineNumber = last.IsNull() ? 0 : last.ToLong();
        }
        Decimal untaxedAllowances;
        auto addedStagedLines = Conn(state).OpenRecordset("SELECT IE94_NSOCORPOXML.* "
                                                          "FROM IE94_NSOCORPOXML WITH (NOLOCK) "
                                                          "WHERE IE94_ID_IE91 = " +
                                                          id);
        for (; !orderAllowances->Eof(); orderAllowances->MoveNext()) {
            ++lineNumber;
            DecodedLine line;
            line.orderId = fId;
            line.lineNumber = lineNumber;
            line.description = TextOrEmpty(orderAllowances->Value("IE96_AllowanceChargeReason"));
            Decimal allowance;
            if (IsCharge(orderAllowances->Value("IE96_ChargeIndicator"))) {
                line.price = DecimalOrZero(orderAllowances->Value("IE96_Amount"));
            } else {
                allowance = DecimalOrZero(orderAllowances->Value("IE96_Amount"));
                line.price = allowance * Decimal(-1);
            }
            if (LunghezzaTesto(orderAllowances->Value("IE96_TaxCategory_ID")) > 0) {
                line.lineType = line_type::kTaxedAllowance;
                line.vatCode = TextOrEmpty(orderAllowances->Value("IE96_TaxCategory_ID"));
                line.vatRate = DecimalOrZero(orderAllowances->Value("IE96_TaxCategory_Percent"));
                line.quantity = Decimal(1);
            } else {
                line.lineType = line_type::kUntaxedAllowance;
                untaxedAllowances = untaxedAllowances + allowance;
            }

            // Every decoded line points to a staged line: an empty one is added for it.
            addedStagedLines->AddNew();
            addedStagedLines->SetValue("IE94_ID_IE91", fId);
            addedStagedLines->Update();
            line.stagedLineId = addedStagedLines->Value("IE94_ID");
            line.deliveryDate = deliveryDate;
            AppendDecodedLine(*lines, line);
        }

        if (!untaxedAllowances.IsZero()) {
            Conn(state).Execute("UPDATE IE93_NSOTESTATA "
                                "SET IE93_DO13_SCIMPCASSA = " +
                                FormatoDB(state, untaxedAllowances, kLiteralNumber, false).Text() +
                                " " + "WHERE IE93_ID_IE91 = " + id);
        }
    });
}

bool IsCharge(const Variant& indicator) {
    return AsciiUpper(indicator.Text()) == "TRUE";
}

} // namespace kvad::nso
