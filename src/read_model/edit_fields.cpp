#include "kvad_nso/read_model/edit_fields.h"

#include <limits>
#include <regex>

#include "kvad_nso/date_time.h"
#include "kvad_nso/decimal.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/text.h"

namespace kvad::read_model {
namespace {

EditField HeaderEdit(std::string alias, std::string column, FieldKind kind, int width,
                     std::string meaning) {
    return EditField{std::move(alias), std::move(column), false, kind, width, std::move(meaning)};
}

EditField LineEdit(std::string alias, std::string column, FieldKind kind, int width,
                   std::string meaning) {
    return EditField{std::move(alias), std::move(column), true, kind, width, std::move(meaning)};
}

std::vector<EditField> MakeFields() {
    using K = FieldKind;
    std::vector<EditField> fields{
        HeaderEdit("document", "IE93_DO11_CODDOCUM_MG3G", K::Text, 10, "ERP document code"),
        HeaderEdit("section", "IE93_DO11_SEZDOC", K::Text, 10, "document section"),
        HeaderEdit("warehouse", "IE93_DO11_CODDEP", K::Text, 10, "warehouse (depot)"),
        HeaderEdit("date", "IE93_DO11_DATADOC", K::Date, 0, "document date"),
        HeaderEdit("customer", "IE93_DO11_CLIFOR_CG44", K::Whole, 0, "customer code"),
        HeaderEdit("customer-type", "IE93_DO11_TIPOCF_CG44", K::Small, 0, "0 customer, 1 supplier"),
        HeaderEdit("currency", "IE93_DO11_VALUTA_CG08", K::Text, 10, "ERP currency code"),
        HeaderEdit("office", "IE93_DO11_UFFICIOPA_CG1M", K::Text, 50,
                   "public-administration office"),
        HeaderEdit("destination", "IE93_DO11_CLIFORDEST", K::Text, 10,
                   "customer's destination code"),
        HeaderEdit("note", "IE93_DO12_NOTEVSDOC", K::Text, 240, "document note"),
        HeaderEdit("cash-discount", "IE93_DO13_SCIMPCASSA", K::Amount, 0, "cash discount amount"),
        HeaderEdit("order-number", "IE93_DO12_FEIDDOC", K::Text, 50, "NSO order number"),
        HeaderEdit("order-date", "IE93_DO12_FEDATADOC", K::Date, 0, "NSO order date"),
        HeaderEdit("order-endpoint", "IE93_DO12_FEIDSOGGETTO", K::Text, 50, "NSO buyer endpoint"),
        LineEdit("item", "IE95_DO30_CODART_MG66", K::Text, 50, "item code"),
        LineEdit("option", "IE95_DO30_OPZIONE_MG5E", K::Text, 20, "item option"),
        LineEdit("line-type", "IE95_DO30_INDTIPORIGA", K::Small, 0, "line type (2: description)"),
        LineEdit("description", "IE95_DO30_DESCART", K::Text, 4000, "description"),
        LineEdit("quantity", "IE95_DO30_QTA1", K::Amount, 0, "quantity"),
        LineEdit("price", "IE95_DO30_PREZZO1", K::Amount, 0, "unit price"),
        LineEdit("allowance", "IE95_DO30_SCIMP", K::Amount, 0, "allowance per unit"),
        LineEdit("charge", "IE95_DO30_MAGIMP", K::Amount, 0, "charge per unit"),
        LineEdit("vat", "IE95_DO30_ALIVA_CG28", K::Text, 10, "VAT code"),
        LineEdit("delivery", "IE95_DO31_DATACONS", K::Date, 0, "delivery date"),
    };
    for (int i = 1; i <= 6; ++i) {
        fields.push_back(LineEdit("discount" + std::to_string(i),
                                  "IE95_DO30_SCPER" + std::to_string(i), K::Amount, 0,
                                  "discount " + std::to_string(i) + " (%)"));
    }
    for (int i = 1; i <= 2; ++i) {
        fields.push_back(LineEdit("surcharge" + std::to_string(i),
                                  "IE95_DO30_MAGPER" + std::to_string(i), K::Amount, 0,
                                  "surcharge " + std::to_string(i) + " (%)"));
    }
    return fields;
}

[[noreturn]] void Refuse(const EditField& field, const std::string& takes,
                         const std::string& text) {
    throw Refusal(field.alias + " takes " + takes + ": '" + text + "' is not one");
}

Variant ParseWhole(const EditField& field, const std::string& text, std::int64_t low,
                   std::int64_t high) {
    static const std::regex kWhole("[-+]?[0-9]{1,18}");
    const std::string takes =
        "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    if (!std::regex_match(text, kWhole)) {
        Refuse(field, takes, text);
    }
    const std::int64_t value = std::stoll(text);
    if (value < low || value > high) {
        Refuse(field, takes, text);
    }
    if (field.kind == FieldKind::Small) {
        return static_cast<std::int16_t>(value);
    }
    return static_cast<std::int32_t>(value);
}

Variant ParseAmount(const EditField& field, const std::string& text) {
    // A decimal comma is read as a point; no thousands separators.
    static const std::regex kAmount("[-+]?[0-9]{1,13}([.,][0-9]{1,6})?");
    if (!std::regex_match(text, kAmount)) {
        Refuse(field, "a number with at most 13 digits before the decimal point and 6 after it",
               text);
    }
    return *Decimal::Parse(ReplaceAll(text, ",", "."));
}

Variant ParseDate(const EditField& field, const std::string& text) {
    static const std::regex kItalian("([0-9]{1,2})/([0-9]{1,2})/([0-9]{4})");
    static const std::regex kIso("([0-9]{4})-([0-9]{2})-([0-9]{2})");
    std::smatch m;
    DateTime date;
    if (std::regex_match(text, m, kItalian)) {
        date = DateTime{std::stoi(m[3]), std::stoi(m[2]), std::stoi(m[1]), 0, 0, 0};
    } else if (std::regex_match(text, m, kIso)) {
        date = DateTime{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), 0, 0, 0};
    } else {
        Refuse(field, "a date dd/mm/yyyy or yyyy-mm-dd", text);
    }
    if (!date.IsValid()) {
        Refuse(field, "a date dd/mm/yyyy or yyyy-mm-dd", text);
    }
    return date;
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
        return Variant::Null();
    }
    switch (field.kind) {
    case FieldKind::Text: {
        const std::size_t length = Utf8Length(text);
        if (length > static_cast<std::size_t>(field.width)) {
            throw Refusal(field.alias + " takes at most " + std::to_string(field.width) +
                          " characters: '" + text + "' has " + std::to_string(length));
        }
        return text;
    }
    case FieldKind::Whole:
        return ParseWhole(field, value, std::numeric_limits<std::int32_t>::min(),
                          std::numeric_limits<std::int32_t>::max());
    case FieldKind::Small:
        return ParseWhole(field, value, std::numeric_limits<std::int16_t>::min(),
                          std::numeric_limits<std::int16_t>::max());
    case FieldKind::Amount:
        return ParseAmount(field, value);
    case FieldKind::Date:
        return ParseDate(field, value);
    }
    return Variant::Null();
}

} // namespace kvad::read_model
