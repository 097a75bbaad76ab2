#include "app/edit_fields.h"

#include <limits>
#include <regex>
#include <stdexcept>

#include "kvad_nso/date_time.h"
#include "kvad_nso/decimal.h"
#include "kvad_nso/text.h"

namespace nsoapp {
namespace {

EditField Header(std::string alias, std::string column, FieldKind kind, int width,
                 std::string meaning) {
    return EditField{std::move(alias), std::move(column), false, kind, width, std::move(meaning)};
}

EditField Line(std::string alias, std::string column, FieldKind kind, int width,
               std::string meaning) {
    return EditField{std::move(alias), std::move(column), true, kind, width, std::move(meaning)};
}

std::vector<EditField> MakeFields() {
    using K = FieldKind;
    std::vector<EditField> fields{
        Header("document", "IE93_DO11_CODDOCUM_MG3G", K::Text, 10, "ERP document code"),
        Header("section", "IE93_DO11_SEZDOC", K::Text, 10, "document section"),
        Header("warehouse", "IE93_DO11_CODDEP", K::Text, 10, "warehouse (depot)"),
        Header("date", "IE93_DO11_DATADOC", K::Date, 0, "document date"),
        Header("customer", "IE93_DO11_CLIFOR_CG44", K::Whole, 0, "customer code"),
        Header("customer-type", "IE93_DO11_TIPOCF_CG44", K::Small, 0, "0 customer, 1 supplier"),
        Header("currency", "IE93_DO11_VALUTA_CG08", K::Text, 10, "ERP currency code"),
        Header("office", "IE93_DO11_UFFICIOPA_CG1M", K::Text, 50, "public-administration office"),
        Header("destination", "IE93_DO11_CLIFORDEST", K::Text, 10, "customer's destination code"),
        Header("note", "IE93_DO12_NOTEVSDOC", K::Text, 240, "document note"),
        Header("cash-discount", "IE93_DO13_SCIMPCASSA", K::Amount, 0, "cash discount amount"),
        Header("order-number", "IE93_DO12_FEIDDOC", K::Text, 50, "NSO order number"),
        Header("order-date", "IE93_DO12_FEDATADOC", K::Date, 0, "NSO order date"),
        Header("order-endpoint", "IE93_DO12_FEIDSOGGETTO", K::Text, 50, "NSO buyer endpoint"),
        Line("item", "IE95_DO30_CODART_MG66", K::Text, 50, "item code"),
        Line("option", "IE95_DO30_OPZIONE_MG5E", K::Text, 20, "item option"),
        Line("line-type", "IE95_DO30_INDTIPORIGA", K::Small, 0, "line type (2: description)"),
        Line("description", "IE95_DO30_DESCART", K::Text, 4000, "description"),
        Line("quantity", "IE95_DO30_QTA1", K::Amount, 0, "quantity"),
        Line("price", "IE95_DO30_PREZZO1", K::Amount, 0, "unit price"),
        Line("allowance", "IE95_DO30_SCIMP", K::Amount, 0, "allowance per unit"),
        Line("charge", "IE95_DO30_MAGIMP", K::Amount, 0, "charge per unit"),
        Line("vat", "IE95_DO30_ALIVA_CG28", K::Text, 10, "VAT code"),
        Line("delivery", "IE95_DO31_DATACONS", K::Date, 0, "delivery date"),
    };
    for (int i = 1; i <= 6; ++i) {
        fields.push_back(Line("discount" + std::to_string(i), "IE95_DO30_SCPER" + std::to_string(i),
                              K::Amount, 0, "discount " + std::to_string(i) + " (%)"));
    }
    for (int i = 1; i <= 2; ++i) {
        fields.push_back(Line("surcharge" + std::to_string(i),
                              "IE95_DO30_MAGPER" + std::to_string(i), K::Amount, 0,
                              "surcharge " + std::to_string(i) + " (%)"));
    }
    return fields;
}

[[noreturn]] void Refuse(const EditField& field, const std::string& takes,
                         const std::string& text) {
    throw std::runtime_error(field.alias + " takes " + takes + ": '" + text + "' is not one");
}

kvad::Variant ParseWhole(const EditField& field, const std::string& text, std::int64_t low,
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

kvad::Variant ParseAmount(const EditField& field, const std::string& text) {
    // A decimal comma is read as a point; no thousands separators.
    static const std::regex kAmount("[-+]?[0-9]{1,13}([.,][0-9]{1,6})?");
    if (!std::regex_match(text, kAmount)) {
        Refuse(field, "a number with at most 13 digits before the decimal point and 6 after it",
               text);
    }
    return *kvad::Decimal::Parse(kvad::ReplaceAll(text, ",", "."));
}

kvad::Variant ParseDate(const EditField& field, const std::string& text) {
    static const std::regex kItalian("([0-9]{1,2})/([0-9]{1,2})/([0-9]{4})");
    static const std::regex kIso("([0-9]{4})-([0-9]{2})-([0-9]{2})");
    std::smatch m;
    kvad::DateTime date;
    if (std::regex_match(text, m, kItalian)) {
        date = kvad::DateTime{std::stoi(m[3]), std::stoi(m[2]), std::stoi(m[1]), 0, 0, 0};
    } else if (std::regex_match(text, m, kIso)) {
        date = kvad::DateTime{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), 0, 0, 0};
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
        if (kvad::EqualsNoCase(name, field.alias) || kvad::EqualsNoCase(name, field.column)) {
            return &field;
        }
    }
    return nullptr;
}

std::string FieldLabel(const std::string& column) {
    const EditField* field = FindEditField(column);
    return field != nullptr ? field->alias : column;
}

kvad::Variant ParseFieldValue(const EditField& field, const std::string& text) {
    const std::string value = kvad::Trim(text);
    if (value.empty()) {
        return kvad::Variant::Null();
    }
    switch (field.kind) {
    case FieldKind::Text: {
        const std::size_t length = kvad::Utf8Length(text);
        if (length > static_cast<std::size_t>(field.width)) {
            throw std::runtime_error(field.alias + " takes at most " + std::to_string(field.width) +
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
    return kvad::Variant::Null();
}

std::string DisplayValue(const kvad::Variant& value) {
    if (value.IsNull() || value.IsEmpty()) {
        return "";
    }
    if (value.Type() == kvad::VarType::Date) {
        return value.ToDate().DateOnly().ToText();
    }
    return kvad::RightTrim(value.Text());
}

std::string NoteText(const kvad::Variant& value) {
    std::string stored = DisplayValue(value);
    if (stored == "null") {
        return "";
    }
    if (stored.size() < 2 || stored[0] != 'N' || stored[1] != '\'') {
        return stored;
    }
    std::string body = stored.substr(2);
    if (!body.empty() && body.back() == '\'' &&
        (body.size() - body.find_last_not_of('\'') - 1) % 2 == 1) {
        body.pop_back(); // the closing apostrophe, when the cut left it
    }
    return kvad::ReplaceAll(body, "''", "'");
}

std::string DescribeEditFields(bool line) {
    std::string text;
    for (const EditField& field : EditFields()) {
        if (field.line == line) {
            text += "  " + field.alias +
                    std::string(field.alias.size() < 15 ? 15 - field.alias.size() : 1, ' ') +
                    field.meaning + " (" + field.column + ")\n";
        }
    }
    return text;
}

} // namespace nsoapp
