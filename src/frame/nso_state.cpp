#include "frame/nso_state.h"

#include "kvad_nso/errors.h"

namespace kvad::nso {

void CreateFrameworkObjects(NsoState& state) {
    try {
        state.numberFormatter = CreateObjectAs<NumberFormatter>(progid::kNumberFormatter);
    } catch (...) {
    }
    try {
        state.dateObject = CreateObjectAs<DateObject>(progid::kDate);
    } catch (...) {
    }
}

int AddProgressListener(NsoState& state, ProgressListener listener) {
    const int token = state.nextListenerToken++;
    state.progressListeners.emplace_back(token, std::move(listener));
    return token;
}

void RemoveProgressListener(NsoState& state, int token) {
    std::erase_if(state.progressListeners,
                  [token](const auto& entry) { return entry.first == token; });
}

void RaiseOnProgress(NsoState& state, kaenumTipoOperazione operation, std::int32_t current,
                     std::int32_t maximum, std::string message) {
    // Listeners may add or remove listeners while being called: iterate over a copy.
    const auto listeners = state.progressListeners;
    for (const auto& [token, listener] : listeners) {
        if (listener) {
            listener(operation, current, maximum, message);
        }
    }
}

std::string CompanyCodeSql(const NsoState& state) {
    return state.CodiceDitta.Text();
}

void ResetStatus(NsoState& state) {
    state.Stato = kaOK;
    state.Errore = std::string();
    state.lastDatabaseCondition = DatabaseCondition::None;
}

void ShowBusyPointer(NsoState& state, bool busy) noexcept {
    if (!state.ActiveInterface) {
        return;
    }
    try {
        state.ActiveInterface->SetBusyPointer(busy);
    } catch (...) {
    }
}

Connection& Conn(const NsoState& state) {
    if (!state.Connessione) {
        ThrowObjectNotSet();
    }
    return *state.Connessione;
}

} // namespace kvad::nso
