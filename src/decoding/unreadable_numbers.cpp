#include "decoding/unreadable_numbers.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decoding/decodifica_corpo.h"
#include "decoding/staged_values.h"
#include "frame/failure_path.h"
#include "kvad_nso/codes.h"
#include "kvad_nso/text.h"
#include "verification/error_log.h"

namespace kvad::nso {
namespace {

constexpr std::string_view kLineTable = "IE94_NSOCORPOXML";
constexpr std::string_view kLineAllowanceTable = "IE9A_NSOCORPOSCONTIXML";
constexpr std::string_view kOrderAllowanceTable = "IE96_NSOTESTATASCONTIXML";

/// One number kept by the staging writer.
struct KeptNumber {
    std::string table;
    std::int32_t row = 0;
    std::string column;
    std::string text;
};

/// The decoded line column a staged line's number feeds; "" for one decoding does not read.
std::string LineColumnFor(const std::string& column) {
    if (column == "IE94_LineItem_Quantity") {
        return "IE95_DO30_QTA1";
    }
    if (column == "IE94_LineItem_Price_PriceAmount") {
        return "IE95_DO30_PREZZO1";
    }
    if (column == "IE94_LineItem_Item_ClassifiedTaxCategory_Percent") {
        return "IE95_ALIVA_XML";
    }
    return "";
}

/// An allowance or charge of the order as a whole and the decoded line made of it.
struct OrderAllowance {
    std::int32_t id = 0;
    bool charge = false;
    bool taxed = false;
    std::int32_t stagedLine = 0;
    std::int32_t lineNumber = 0;
    Decimal price;
    Decimal vatRate;
};

/// The order's allowances and charges with their decoded lines, and its cash discount.
struct OrderAllowances {
    std::vector<OrderAllowance> rows;
    /// What decoding made the cash discount: the sum of the allowances without a tax category.
    Decimal untaxedTotal;
    std::optional<Decimal> cashDiscount; ///< none without a decoded header
};

/// Reads the allowances in the order line decoding reads them; their lines are the order's last
/// decoded lines, in the same order. When the decoded lines are fewer, no line is matched.
OrderAllowances ReadOrderAllowances(NsoState& state, const std::string& id) {
    OrderAllowances result;
    auto staged = Conn(state).Query("SELECT * FROM IE96_NSOTESTATASCONTIXML WITH (NOLOCK) "
                                    "WHERE IE96_ID_IE91 = " +
                                    id);
    for (; !staged->Eof(); staged->MoveNext()) {
        OrderAllowance row;
        row.id = staged->Value("IE96_ID").ToLong();
        row.charge = IsCharge(staged->Value("IE96_ChargeIndicator"));
        row.taxed = LunghezzaTesto(staged->Value("IE96_TaxCategory_ID")) > 0;
        if (!row.charge && !row.taxed) {
            result.untaxedTotal = result.untaxedTotal + DecimalOrZero(staged->Value("IE96_Amount"));
        }
        result.rows.push_back(row);
    }
    staged.reset();
    if (result.rows.empty()) {
        return result;
    }
    auto lines =
        Conn(state).Query("SELECT TOP " + std::to_string(result.rows.size()) +
                          " IE95_ID_IE94, IE95_DO30_PROGRIGA, IE95_DO30_PREZZO1, IE95_ALIVA_XML "
                          "FROM IE95_NSOCORPO WITH (NOLOCK) WHERE IE95_ID_IE91 = " +
                          id + " ORDER BY IE95_DO30_PROGRIGA DESC");
    std::vector<OrderAllowance> last;
    for (; !lines->Eof(); lines->MoveNext()) {
        OrderAllowance line;
        line.stagedLine =
            static_cast<std::int32_t>(DecimalOrZero(lines->Value(0)).ToInt64Rounded());
        line.lineNumber =
            static_cast<std::int32_t>(DecimalOrZero(lines->Value(1)).ToInt64Rounded());
        line.price = DecimalOrZero(lines->Value(2));
        line.vatRate = DecimalOrZero(lines->Value(3));
        last.push_back(line);
    }
    lines.reset();
    if (last.size() == result.rows.size()) {
        std::reverse(last.begin(), last.end());
        for (std::size_t i = 0; i < last.size(); ++i) {
            result.rows[i].stagedLine = last[i].stagedLine;
            result.rows[i].lineNumber = last[i].lineNumber;
            result.rows[i].price = last[i].price;
            result.rows[i].vatRate = last[i].vatRate;
        }
    }
    auto header = Conn(state).Query(
        "SELECT IE93_DO13_SCIMPCASSA FROM IE93_NSOTESTATA WITH (NOLOCK) WHERE IE93_ID_IE91 = " +
        id);
    if (!header->Eof()) {
        result.cashDiscount = DecimalOrZero(header->Value(0));
    }
    return result;
}

class Reporter {
  public:
    Reporter(NsoState& state, std::int32_t fId)
        : state_(state), fId_(fId), id_(std::to_string(fId)) {}

    void Report(const KeptNumber& number) {
        if (number.table == kLineTable) {
            LineNumber(number);
        } else if (number.table == kLineAllowanceTable) {
            LineAllowance(number);
        } else if (number.table == kOrderAllowanceTable) {
            OrderAllowanceNumber(number);
        }
    }

  private:
    void Log(std::int32_t stagedLine, std::int32_t lineNumber, const std::string& field,
             const std::string& text) {
        const VariantArray parameters{Variant(text)};
        ScriviErrorLog(state_, fId_, stagedLine, lineNumber, message::kUnreadableNumber, field,
                       severity::kError, Contesto_DecodificaDati, "", &parameters);
    }

    // A line's quantity, price or VAT rate: reported while its decoded value is 0.
    void LineNumber(const KeptNumber& number) {
        const std::string column = LineColumnFor(number.column);
        if (column.empty()) {
            return;
        }
        auto line =
            Conn(state_).Query("SELECT IE95_DO30_PROGRIGA, " + column +
                               " FROM IE95_NSOCORPO WITH (NOLOCK) WHERE IE95_ID_IE91 = " + id_ +
                               " AND IE95_ID_IE94 = " + std::to_string(number.row));
        if (!line->Eof() && DecimalOrZero(line->Value(1)).IsZero()) {
            Log(number.row, WholeNumber(line->Value(0)), column, number.text);
        }
    }

    // A line's allowance or charge: reported while the line's amount per unit is what its staged
    // allowances and quantity give.
    void LineAllowance(const KeptNumber& number) {
        if (number.column != "IE9A_Amount") {
            return;
        }
        auto staged = Conn(state_).Query(
            "SELECT IE9A_ID_IE94, IE9A_ChargeIndicator FROM IE9A_NSOCORPOSCONTIXML WITH (NOLOCK) "
            "WHERE IE9A_ID = " +
            std::to_string(number.row));
        if (staged->Eof()) {
            return;
        }
        const std::string indicator = AsciiUpper(staged->Value(1).Text());
        const bool allowance = indicator == "FALSE";
        if (!allowance && indicator != "TRUE") {
            return; // an indicator line decoding leaves out
        }
        const std::int32_t stagedLine = WholeNumber(staged->Value(0));
        staged.reset();
        const std::string column = allowance ? "IE95_DO30_SCIMP" : "IE95_DO30_MAGIMP";
        auto line = Conn(state_).Query(
            "SELECT IE95_DO30_PROGRIGA, " + column +
            ", IE94_LineItem_Quantity FROM IE95_NSOCORPO WITH (NOLOCK) INNER JOIN "
            "IE94_NSOCORPOXML WITH (NOLOCK) ON IE94_ID = IE95_ID_IE94 WHERE IE95_ID_IE91 = " +
            id_ + " AND IE95_ID_IE94 = " + std::to_string(stagedLine));
        if (line->Eof()) {
            return;
        }
        const LineAllowances totals = LineAllowanceTotals(state_, stagedLine);
        const Decimal decoded = AmountPerUnit(allowance ? totals.allowances : totals.charges,
                                              DecimalOrZero(line->Value(2)));
        if (DecimalOrZero(line->Value(1)) == decoded) {
            Log(stagedLine, WholeNumber(line->Value(0)), column, number.text);
        }
    }

    // An allowance or charge of the order: its amount on its line or in the cash discount, its
    // VAT rate on its line.
    void OrderAllowanceNumber(const KeptNumber& number) {
        if (!orderAllowances_) {
            orderAllowances_ = ReadOrderAllowances(state_, id_);
        }
        const auto& rows = orderAllowances_->rows;
        const auto found = std::find_if(rows.begin(), rows.end(), [&](const OrderAllowance& row) {
            return row.id == number.row;
        });
        if (found == rows.end()) {
            return;
        }
        const bool onItsLine = found->lineNumber != 0;
        if (number.column == "IE96_Amount") {
            if (found->taxed || found->charge) {
                if (onItsLine && found->price.IsZero()) {
                    Log(found->stagedLine, found->lineNumber, "IE95_DO30_PREZZO1", number.text);
                }
            } else if (orderAllowances_->cashDiscount &&
                       *orderAllowances_->cashDiscount == orderAllowances_->untaxedTotal) {
                Log(0, 0, "IE93_DO13_SCIMPCASSA", number.text);
            }
        } else if (number.column == "IE96_TaxCategory_Percent") {
            if (found->taxed && onItsLine && found->vatRate.IsZero()) {
                Log(found->stagedLine, found->lineNumber, "IE95_ALIVA_XML", number.text);
            }
        }
    }

    static std::int32_t WholeNumber(const Variant& value) {
        return static_cast<std::int32_t>(DecimalOrZero(value).ToInt64Rounded());
    }

    NsoState& state_;
    std::int32_t fId_;
    std::string id_;
    std::optional<OrderAllowances> orderAllowances_;
};

} // namespace

void ReportUnreadableNumbers(NsoState& state, std::int32_t fId) {
    Guard(state, "ReportUnreadableNumbers", [&] {
        const std::string id = std::to_string(fId);
        DeleteLogEntries(state, fId, message::kUnreadableNumber, Contesto_DecodificaDati);
        std::vector<KeptNumber> numbers;
        {
            auto kept = Conn(state).Query(
                "SELECT UNREADABLE_TABLE, UNREADABLE_ROW, UNREADABLE_COLUMN, UNREADABLE_TEXT "
                "FROM KVAD_UNREADABLE_NUMBER WITH (NOLOCK) WHERE UNREADABLE_ID_IE91 = " +
                id + " ORDER BY UNREADABLE_ID");
            for (; !kept->Eof(); kept->MoveNext()) {
                numbers.push_back({kept->Value(0).Text(), kept->Value(1).ToLong(),
                                   kept->Value(2).Text(), kept->Value(3).Text()});
            }
        }
        Reporter reporter(state, fId);
        for (const KeptNumber& number : numbers) {
            reporter.Report(number);
        }
    });
}

} // namespace kvad::nso
