#include "kvad_nso/read_model/edit_fields.h"

#include <limits>
#include <optional>

#include "kvad_nso/codes.h"
#include "kvad_nso/date_time.h"
#include "kvad_nso/decimal.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/text.h"

namespace kvad::read_model {
namespace {

/// Up to 13 digits before the decimal point and 6 after it: decimal(19,6), the decoded columns.
constexpr std::size_t kWholeDigits = 13;
constexpr std::size_t kDecimals = 6;
/// The years a date may have: those the ERP's date columns take, without the first centuries
/// no order can mean.
constexpr int kFirstYear = 1900;
constexpr int kLastYear = 9999;

struct FieldShape {
    FieldKind kind = FieldKind::Text;
    int width = 0;
    MasterData master = MasterData::None;
    std::vector<std::int16_t> choices;
};

FieldShape TextOf(int width, MasterData master = MasterData::None) {
    return FieldShape{FieldKind::Text, width, master, {}};
}

FieldShape Of(FieldKind kind) {
    return FieldShape{kind, 0, MasterData::None, {}};
}

EditField Field(std::string alias, std::string column, bool line, FieldShape shape,
                std::string meaning) {
    return EditField{
        std::move(alias),   std::move(column),        line,        shape.kind, shape.width,
        std::move(meaning), std::move(shape.choices), shape.master};
}

EditField HeaderEdit(std::string alias, std::string column, FieldShape shape, std::string meaning) {
    return Field(std::move(alias), std::move(column), false, std::move(shape), std::move(meaning));
}

EditField LineEdit(std::string alias, std::string column, FieldShape shape, std::string meaning) {
    return Field(std::move(alias), std::move(column), true, std::move(shape), std::move(meaning));
}

std::vector<EditField> MakeFields() {
    using K = FieldKind;
    using M = MasterData;
    const FieldShape customerType{
        K::Choice, 0, M::None, {customer_type::kCustomer, customer_type::kSupplier}};
    const FieldShape lineType{
        K::Choice,
        0,
        M::None,
        {line_type::kItemFound, line_type::kItemNotFound, line_type::kUntaxedAllowance}};
    std::vector<EditField> fields{
        HeaderEdit("document", "IE93_DO11_CODDOCUM_MG3G", TextOf(10, M::DocumentCode),
                   "ERP document code"),
        HeaderEdit("section", "IE93_DO11_SEZDOC", TextOf(10), "document section"),
        HeaderEdit("warehouse", "IE93_DO11_CODDEP", TextOf(10), "warehouse (depot)"),
        HeaderEdit("date", "IE93_DO11_DATADOC", Of(K::Date), "document date"),
        HeaderEdit("customer", "IE93_DO11_CLIFOR_CG44", FieldShape{K::Code, 0, M::Customer, {}},
                   "customer code"),
        HeaderEdit("customer-type", "IE93_DO11_TIPOCF_CG44", customerType,
                   "0 (customer) or 1 (supplier)"),
        HeaderEdit("currency", "IE93_DO11_VALUTA_CG08", TextOf(10, M::Currency),
                   "ERP currency code"),
        HeaderEdit("office", "IE93_DO11_UFFICIOPA_CG1M", TextOf(50),
                   "public-administration office"),
        HeaderEdit("destination", "IE93_DO11_CLIFORDEST", TextOf(10, M::Destination),
                   "customer's destination code"),
        HeaderEdit("note", "IE93_DO12_NOTEVSDOC", TextOf(240), "document note"),
        HeaderEdit("cash-discount", "IE93_DO13_SCIMPCASSA", Of(K::Amount), "cash discount amount"),
        HeaderEdit("order-number", "IE93_DO12_FEIDDOC", TextOf(50), "NSO order number"),
        HeaderEdit("order-date", "IE93_DO12_FEDATADOC", Of(K::Date), "NSO order date"),
        HeaderEdit("order-endpoint", "IE93_DO12_FEIDSOGGETTO", TextOf(50), "NSO buyer endpoint"),
        LineEdit("item", "IE95_DO30_CODART_MG66", TextOf(50, M::Item), "item code"),
        LineEdit("option", "IE95_DO30_OPZIONE_MG5E", TextOf(20, M::ItemOption),
                 "item option (of the line's item)"),
        LineEdit("line-type", "IE95_DO30_INDTIPORIGA", lineType,
                 "0 (an item line), 1 (an item not found, or an allowance or charge with VAT) or "
                 "2 (a line not checked: an allowance without VAT)"),
        LineEdit("description", "IE95_DO30_DESCART", TextOf(4000), "description"),
        LineEdit("quantity", "IE95_DO30_QTA1", Of(K::Amount), "quantity"),
        LineEdit("price", "IE95_DO30_PREZZO1", Of(K::Amount), "unit price"),
        LineEdit("allowance", "IE95_DO30_SCIMP", Of(K::Amount), "allowance per unit"),
        LineEdit("charge", "IE95_DO30_MAGIMP", Of(K::Amount), "charge per unit"),
        LineEdit("vat", "IE95_DO30_ALIVA_CG28", TextOf(10, M::VatCode), "VAT code"),
        LineEdit("vat-rate", "IE95_ALIVA_XML", Of(K::Percent), "VAT rate the order gives (%)"),
        LineEdit("delivery", "IE95_DO31_DATACONS", Of(K::Date), "delivery date"),
    };
    for (int i = 1; i <= 6; ++i) {
        fields.push_back(LineEdit("discount" + std::to_string(i),
                                  "IE95_DO30_SCPER" + std::to_string(i), Of(K::Percent),
                                  "discount " + std::to_string(i) + " (%)"));
    }
    for (int i = 1; i <= 2; ++i) {
        fields.push_back(LineEdit("surcharge" + std::to_string(i),
                                  "IE95_DO30_MAGPER" + std::to_string(i), Of(K::Percent),
                                  "surcharge " + std::to_string(i) + " (%)"));
    }
    return fields;
}

[[noreturn]] void Refuse(const EditField& field, const std::string& takes,
                         const std::string& text) {
    throw Refusal(field.alias + " takes " + takes + ": '" + text + "' is not one");
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

/// The count of digits at `at`.
std::size_t DigitsAt(std::string_view text, std::size_t at) {
    std::size_t n = 0;
    while (at + n < text.size() && IsDigit(text[at + n])) {
        ++n;
    }
    return n;
}

/// A whole number of at most 18 digits with an optional sign; nothing else.
std::optional<std::int64_t> WholeNumber(std::string_view text) {
    const std::size_t sign = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const std::size_t digits = DigitsAt(text, sign);
    if (digits == 0 || digits > 18 || sign + digits != text.size()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (std::size_t i = sign; i < text.size(); ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return text[0] == '-' ? -value : value;
}

Variant ParseCode(const EditField& field, const std::string& text) {
    const std::int64_t high = std::numeric_limits<std::int32_t>::max();
    const std::optional<std::int64_t> value = WholeNumber(text);
    if (!value || *value < 1 || *value > high) {
        Refuse(field, "a " + field.meaning + ", a whole number from 1 to " + std::to_string(high),
               text);
    }
    return static_cast<std::int32_t>(*value);
}

Variant ParseChoice(const EditField& field, const std::string& text) {
    const std::optional<std::int64_t> value = WholeNumber(text);
    for (const std::int16_t choice : field.choices) {
        if (value && *value == choice) {
            return choice;
        }
    }
    Refuse(field, field.meaning, text);
}

/// A number of the decoded columns' form: sign, up to 13 digits, a point or comma and up to 6
/// decimals. A decimal comma is read as a point; no thousands separators.
Variant ParseAmount(const EditField& field, const std::string& text) {
    const std::string takes =
        field.kind == FieldKind::Percent
            ? "a percentage from 0 to 100 with at most 6 decimals"
            : "a number with at most 13 digits before the decimal point and 6 after it";
    const std::size_t sign = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const std::size_t whole = DigitsAt(text, sign);
    std::size_t end = sign + whole;
    if (whole == 0 || whole > kWholeDigits) {
        Refuse(field, takes, text);
    }
    if (end < text.size() && (text[end] == '.' || text[end] == ',')) {
        const std::size_t decimals = DigitsAt(text, end + 1);
        if (decimals == 0 || decimals > kDecimals) {
            Refuse(field, takes, text);
        }
        end += 1 + decimals;
    }
    if (end != text.size()) {
        Refuse(field, takes, text);
    }
    const std::optional<Decimal> value = Decimal::Parse(ReplaceAll(text, ",", "."));
    if (!value) {
        Refuse(field, takes, text);
    }
    if (field.kind == FieldKind::Percent && (*value < Decimal(0) || *value > Decimal(100))) {
        Refuse(field, takes, text);
    }
    return *value;
}

/// The number of `count` digits at `at`, or -1.
int NumberAt(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size() || DigitsAt(text, at) < count) {
        return -1;
    }
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

/// dd/mm/yyyy (day and month of one or two digits) or yyyy-mm-dd; nullopt for any other text.
std::optional<DateTime> DateOf(std::string_view text) {
    if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
        const int year = NumberAt(text, 0, 4);
        const int month = NumberAt(text, 5, 2);
        const int day = NumberAt(text, 8, 2);
        if (year < 0 || month < 0 || day < 0) {
            return std::nullopt;
        }
        return DateTime{year, month, day, 0, 0, 0};
    }
    const std::size_t firstSlash = text.find('/');
    if (firstSlash != 1 && firstSlash != 2) {
        return std::nullopt;
    }
    const std::size_t secondSlash = text.find('/', firstSlash + 1);
    const std::size_t monthDigits = secondSlash - firstSlash - 1;
    if (secondSlash == std::string_view::npos || (monthDigits != 1 && monthDigits != 2) ||
        text.size() != secondSlash + 5) {
        return std::nullopt;
    }
    const int day = NumberAt(text, 0, firstSlash);
    const int month = NumberAt(text, firstSlash + 1, monthDigits);
    const int year = NumberAt(text, secondSlash + 1, 4);
    if (year < 0 || month < 0 || day < 0) {
        return std::nullopt;
    }
    return DateTime{year, month, day, 0, 0, 0};
}

Variant ParseDate(const EditField& field, const std::string& text) {
    const std::optional<DateTime> date = DateOf(text);
    if (!date || !date->IsValid() || date->year < kFirstYear || date->year > kLastYear) {
        Refuse(field, "a date dd/mm/yyyy or yyyy-mm-dd from 01/01/1900 to 31/12/9999", text);
    }
    return *date;
}

Variant ParseText(const EditField& field, const std::string& text) {
    if (FirstInvalidUtf8(text) != std::string_view::npos) {
        throw Refusal(field.alias + " takes text: the value given is not UTF-8 text");
    }
    // A code is compared as the master data holds it, without blanks around it.
    const std::string value = field.master == MasterData::None ? text : Trim(text);
    const std::size_t length = Utf8Length(value);
    if (length > static_cast<std::size_t>(field.width)) {
        throw Refusal(field.alias + " takes at most " + std::to_string(field.width) +
                      " characters: '" + value + "' has " + std::to_string(length));
    }
    return value;
}

} // namespace

const std::vector<EditField>& EditFields() {
    static const std::vector<EditField> fields = MakeFields();
    return fields;
}

const EditField* FindEditField(std::string_view name) {
    for (const EditField& field : EditFields()) {
        if (EqualsNoCase(name, field.alias) || EqualsNoCase(name, field.column)) {
            return &field;
        }
    }
    return nullptr;
}

std::string FieldLabel(const std::string& column) {
    const EditField* field = FindEditField(column);
    return field != nullptr ? field->alias : column;
}

Variant ParseFieldValue(const EditField& field, const std::string& text) {
    const std::string value = Trim(text);
    if (value.empty()) {
        switch (field.kind) {
        case FieldKind::Code:
            return std::int32_t{0};
        case FieldKind::Choice:
            Refuse(field, field.meaning, text);
        case FieldKind::Text:
        case FieldKind::Amount:
        case FieldKind::Percent:
        case FieldKind::Date:
            break;
        }
        return Variant::Null();
    }
    switch (field.kind) {
    case FieldKind::Text:
        return ParseText(field, text);
    case FieldKind::Code:
        return ParseCode(field, value);
    case FieldKind::Choice:
        return ParseChoice(field, value);
    case FieldKind::Amount:
    case FieldKind::Percent:
        return ParseAmount(field, value);
    case FieldKind::Date:
        return ParseDate(field, value);
    }
    return Variant::Null();
}

} // namespace kvad::read_model
