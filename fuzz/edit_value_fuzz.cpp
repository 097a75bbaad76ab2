// Fuzzes the values `nso edit` takes: the text given for each editable field is read as the field
// takes it (codes, choices, numbers, percentages, dates, texts) or refused with Refusal, never
// anything else; what is read stays within the field's range and reads back the same; and the
// nearest codes named for a refused code come from the edit distance the way it is meant.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "kvad_nso/date_time.h"
#include "kvad_nso/decimal.h"
#include "kvad_nso/read_model/edit_fields.h"
#include "kvad_nso/read_model/master_lookup.h"
#include "kvad_nso/read_model/values.h"
#include "kvad_nso/text.h"
#include "kvad_nso/variant.h"

namespace {

namespace rm = kvad::read_model;

[[noreturn]] void Fail() {
    std::abort();
}

void Require(bool holds) {
    if (!holds) {
        Fail();
    }
}

/// What a field read must be: of its kind, within its range, and the same when its display text
/// is read again.
void CheckRead(const rm::EditField& field, const std::string& text, const kvad::Variant& value) {
    if (value.IsNull()) {
        Require(kvad::Trim(text).empty());
        return;
    }
    switch (field.kind) {
    case rm::FieldKind::Text: {
        const std::string read = value.Text();
        Require(kvad::Utf8Length(read) <= static_cast<std::size_t>(field.width));
        Require(field.master == rm::MasterData::None ? read == text : kvad::Trim(read) == read);
        return;
    }
    case rm::FieldKind::Code: {
        const std::int32_t code = value.ToLong();
        Require(kvad::Trim(text).empty() ? code == 0 : code >= 1);
        return;
    }
    case rm::FieldKind::Choice: {
        bool listed = false;
        for (const std::int16_t choice : field.choices) {
            listed = listed || value.ToLong() == choice;
        }
        Require(listed);
        return;
    }
    case rm::FieldKind::Amount:
    case rm::FieldKind::Percent: {
        const kvad::Decimal amount = value.ToDecimal();
        Require(amount.Scale() <= 6);
        Require(amount.Sign() >= 0 ? amount < kvad::Decimal(10'000'000'000'000)
                                   : amount > kvad::Decimal(-10'000'000'000'000));
        Require(field.kind == rm::FieldKind::Amount ||
                (amount >= kvad::Decimal(0) && amount <= kvad::Decimal(100)));
        Require(rm::ParseFieldValue(field, amount.ToString()).ToDecimal() == amount);
        return;
    }
    case rm::FieldKind::Date: {
        const kvad::DateTime date = value.ToDate();
        Require(date.IsValid() && date.year >= 1900 && date.year <= 9999);
        Require(rm::ParseFieldValue(field, rm::DateText(value)).ToDate() == date);
        Require(rm::ParseFieldValue(field, rm::IsoDateText(value)).ToDate() == date);
        return;
    }
    }
}

void CheckField(const rm::EditField& field, const std::string& text) {
    kvad::Variant value;
    try {
        value = rm::ParseFieldValue(field, text);
    } catch (const rm::Refusal& refusal) {
        // A refusal names the field.
        Require(std::string_view(refusal.what()).find(field.alias) != std::string_view::npos);
        return;
    }
    CheckRead(field, text, value);
}

/// The edit distance is a distance, and the nearest entries come nearest first.
void CheckNearest(const std::string& text) {
    static const std::vector<rm::MasterEntry> entries{
        {"AFP-DM-55120", "GUANTI IN NITRILE NON STERILI TAGLIA M CONF. 100"},
        {"001", "EUR, Euro"},
        {"1003", "Azienda Sanitaria Locale Colline del Metauro"},
        {"S", ""},
        {"", "Camice monouso in TNT taglia S"},
    };
    const std::string_view probe = std::string_view(text).substr(0, 64);
    const std::string_view other = std::string_view(text).substr(probe.size(), 64);
    const std::size_t distance = rm::EditDistance(probe, other);
    Require(distance == rm::EditDistance(other, probe));
    Require(distance <= std::max(probe.size(), other.size()));
    Require(distance >= (probe.size() > other.size() ? probe.size() - other.size()
                                                     : other.size() - probe.size()));
    Require(rm::EditDistance(probe, kvad::AsciiUpper(probe)) == 0);

    // At most three, nearest first, and none left out nearer than the last one named.
    const std::vector<rm::MasterEntry> nearest = rm::NearestEntries(entries, probe);
    Require(nearest.size() == 3);
    for (std::size_t i = 0; i < nearest.size(); ++i) {
        Require(rm::Nearness(probe, nearest[i]) <= rm::EditDistance(probe, nearest[i].code));
        Require(i == 0 || rm::Nearness(probe, nearest[i - 1]) <= rm::Nearness(probe, nearest[i]));
    }
    std::size_t named = 0;
    for (const rm::MasterEntry& entry : entries) {
        bool in = false;
        for (const rm::MasterEntry& near : nearest) {
            in = in || (near.code == entry.code && near.name == entry.name);
        }
        named += in ? 1 : 0;
        Require(in || rm::Nearness(probe, entry) >= rm::Nearness(probe, nearest.back()));
    }
    Require(named == nearest.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const rm::EditField& field : rm::EditFields()) {
        CheckField(field, text);
    }
    CheckNearest(text);
    return 0;
}
