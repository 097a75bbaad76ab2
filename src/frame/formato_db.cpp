#include "frame/formato_db.h"

#include "frame/failure_path.h"
#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"

namespace kvad::nso {
namespace {

constexpr const char* kNullNumberText =
    "Si sta tentando di assegnare il valore (numerico) null a un campo che non ammette null.";
constexpr const char* kNullDateText =
    "Si sta tentando di assegnare il valore (data) null a un campo che non ammette null.";
constexpr const char* kDateConversionText =
    "Errore nella conversione della data (ZEFO_ClsStd.CLSFW_Date, metodo DBFormat)";

std::string Quoted(const std::string& text, const char* opening) {
    return opening + ReplaceAll(text, "'", "''") + "'";
}

// A refusal leaves the result Empty and the message in Errore; the caller goes on.
void RefuseValue(NsoState& state, const char* defaultText, std::int32_t number) {
    state.Errore = TestoMessaggio(state, defaultText, number);
    state.Stato = kaErrFormatoDB;
}

} // namespace

Variant FormatoDB(NsoState& state, const Variant& value, std::int32_t typeCode, bool nullAllowed) {
    Variant result;
    GuardOptions options;
    options.stato = kaErrFormatoDB;
    Guard(
        state, "FormatoDB",
        [&] {
            if (value.IsBlank()) {
                if (nullAllowed) {
                    result = "null";
                    return;
                }
                switch (typeCode) {
                case kLiteralText:
                    result = "''";
                    break;
                case kLiteralUnicode:
                    result = "N''";
                    break;
                case kLiteralDecimal:
                case kLiteralNumber:
                    RefuseValue(state, kNullNumberText, 52518);
                    break;
                case kLiteralDate:
                    RefuseValue(state, kNullDateText, 52517);
                    break;
                default:
                    break;
                }
                return;
            }
            switch (typeCode) {
            case kLiteralText:
                result = Quoted(value.Text(), "'");
                break;
            case kLiteralUnicode:
                result = Quoted(value.Text(), "N'");
                break;
            case kLiteralDecimal:
                result = value.ToDecimal();
                break;
            case kLiteralNumber:
                if (!state.numberFormatter) {
                    ThrowObjectNotSet();
                }
                result = state.numberFormatter->Format(value);
                break;
            case kLiteralDate:
                if (!state.dateObject) {
                    ThrowObjectNotSet();
                }
                state.dateObject->SetValue(value.Text());
                if (state.dateObject->ErrorIndicator() == 0) {
                    // Quoted from a named string: GCC 12 at -O3 reports '"'" + temporary' as
                    // an overlapping copy (-Wrestrict).
                    const std::string date = state.dateObject->DBFormat();
                    result = "'" + date + "'";
                } else {
                    RefuseValue(state, kDateConversionText, 25382);
                }
                break;
            default:
                break;
            }
        },
        options);
    return result;
}

Variant RTrimN(const Variant& expression) {
    if (expression.IsEmpty() || expression.IsNull()) {
        return std::string();
    }
    return RightTrim(expression.Text());
}

std::int32_t LunghezzaTesto(const Variant& value) {
    // A text is measured where it lies: a stored document's XML is asked for its length on
    // every fetch, and copying it twice to measure it cost more than the measuring.
    if (const std::string* text = value.AsString()) {
        const std::size_t end = text->find_last_not_of(' ');
        if (end == std::string::npos) {
            return 0;
        }
        return static_cast<std::int32_t>(Utf8Length(std::string_view(*text).substr(0, end + 1)));
    }
    try {
        return static_cast<std::int32_t>(Utf8Length(RightTrim(value.Text())));
    } catch (...) {
        return 0;
    }
}

Variant ValoreODefault(const Variant& value, const Variant& defaultValue) {
    if (const std::string* text = value.AsString()) {
        return text->find_first_not_of(' ') == std::string::npos ? defaultValue : value;
    }
    try {
        if (value.IsEmpty() || value.IsNull() || Trim(value.Text()).empty()) {
            return defaultValue;
        }
        return value;
    } catch (...) {
        return defaultValue;
    }
}

Variant ValoreDecimale(const Variant& value) {
    if (value.IsNull() || value.IsEmpty()) {
        return std::int16_t{0};
    }
    if (const auto* text = value.AsString(); text != nullptr && text->empty()) {
        return std::int16_t{0};
    }
    try {
        return value.ToDecimal();
    } catch (...) {
        // No number: the Empty result counts as 0 in the callers' comparisons.
        return {};
    }
}

bool IsDecimalAboveZero(const Variant& value) {
    const Variant number = ValoreDecimale(value);
    if (!number.IsNumber()) {
        return false;
    }
    return number.ToDecimal().Sign() > 0;
}

void EliminaTabellaTemp(NsoState& state, const std::string& name) {
    try {
        Conn(state).Execute("IF NOT OBJECT_ID('tempdb.." + name + "') IS NULL DROP TABLE " + name);
    } catch (...) {
        // A missing table, connection or failed drop leave the routine silently; the provider's
        // entry is cleared so that it cannot surface in a later error text.
        try {
            if (state.Connessione) {
                state.Connessione->Errors().clear();
            }
        } catch (...) {
        }
    }
}

} // namespace kvad::nso
