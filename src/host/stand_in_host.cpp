#include "host/stand_ins.h"

#include <cctype>

#include "kvad_nso/errors.h"

namespace kvad::host {
namespace {

/// The host's own Italian texts of the messages the component asks for.
std::map<std::int32_t, std::string> BuiltInCatalogue() {
    return {
        {25382, "Errore nella conversione della data (CLSFW_Date, DBFormat)"},
        {52517, "Valore (data) null non ammesso per il campo."},
        {52518, "Valore (numerico) null non ammesso per il campo."},
    };
}

/// Replaces each %N (N from 1 to the number of parameters) with the text of parameter N.
/// The longest run of digits is taken, so %12 is parameter 12, never parameter 1 and a "2".
std::string FillParameters(const std::string& text, const VariantArray& parameters) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            out += text[i++];
            continue;
        }
        std::size_t end = i + 1;
        std::size_t number = 0;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) &&
               number <= parameters.size()) {
            number = number * 10 + static_cast<std::size_t>(text[end] - '0');
            ++end;
        }
        if (number >= 1 && number <= parameters.size()) {
            out += parameters[number - 1].Text();
            i = end;
            continue;
        }
        out += text[i++];
    }
    return out;
}

} // namespace

StandInHost::StandInHost(const HostConfig& config)
    : userId_(config.userId), companyVat_(config.companyVat), messages_(BuiltInCatalogue()) {
    for (const auto& [number, text] : config.messages) {
        messages_[number] = text;
    }
}

std::int32_t StandInHost::CurrentUserId() {
    return userId_;
}

std::string StandInHost::CurrentCompanyId() {
    return companyVat_;
}

std::string StandInHost::MessageText(std::int32_t number, const VariantArray& parameters) {
    auto it = messages_.find(number);
    if (it == messages_.end()) {
        throw VbError(vberr::kInvalidArgument,
                      "Messaggio " + std::to_string(number) + " non presente nel catalogo");
    }
    return FillParameters(it->second, parameters);
}

void StandInHost::SetBusyPointer(bool busy) {
    busy_ = busy;
    history_.push_back(busy);
}

} // namespace kvad::host
