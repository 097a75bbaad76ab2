#include "frame/failure_path.h"

#include <new>

#include "kvad_nso/errors.h"
#include "kvad_nso/text.h"

namespace kvad::nso {

PendingError DescribeException(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Error& e) {
        return {e.Number(), e.Description(), e.Source()};
    } catch (const std::bad_alloc&) {
        return {7, "Out of memory", "KVAD_NSO"};
    } catch (const std::exception& e) {
        return {vberr::kInvalidArgument, e.what(), "KVAD_NSO"};
    } catch (...) {
        return {440, "Automation error", "KVAD_NSO"};
    }
}

void FormattaErrore(NsoState& state, std::string_view routine, const PendingError& pending) {
    std::string text = "Routine: ";
    text += routine;
    if (pending.number != 0) {
        text += "\r\nVB error: " + std::to_string(pending.number) + " " + pending.description +
                "\r\nSource: " + pending.source;
    }
    // A missing or closed connection only skips the provider's block.
    try {
        if (state.Connessione) {
            auto& errors = state.Connessione->Errors();
            if (!errors.empty()) {
                const ProviderError& first = errors.front();
                text += "\r\nADO Error: " + first.description + "\rSource: " + first.source +
                        "\rSQL State: " + first.sqlState;
                errors.clear();
            }
        }
    } catch (...) {
    }
    state.Errore = std::move(text);
}

std::string TestoMessaggio(NsoState& state, const std::string& defaultText, std::int32_t number,
                           const VariantArray* parameters, std::int16_t doubleQuotes) {
    try {
        std::string result;
        if (!state.ActiveInterface || number < 1) {
            result = "[x" + std::to_string(number) + "x] " + defaultText;
        } else {
            result = state.ActiveInterface->MessageText(number,
                                                        parameters ? *parameters : VariantArray{});
        }
        if (doubleQuotes == 1) {
            result = ReplaceAll(result, "'", "''");
        }
        return result;
    } catch (...) {
        return defaultText;
    }
}

bool IsDatabaseFault(const std::exception_ptr& error) noexcept {
    try {
        std::rethrow_exception(error);
    } catch (const DbError& e) {
        return e.SqlState().rfind("22", 0) != 0;
    } catch (...) {
        return false;
    }
}

void NoteDatabaseFault(NsoState& state, const std::exception_ptr& error) {
    if (IsDatabaseFault(error)) {
        ++state.databaseFaults;
        state.lastDatabaseFault = error;
    }
}

void RethrowDatabaseFault(NsoState& state) {
    if (!state.lastDatabaseFault) {
        throw DbError("The database failed.", "HY000", std::string());
    }
    try {
        std::rethrow_exception(state.lastDatabaseFault);
    } catch (const DbError& e) {
        if (state.Connessione) {
            state.Connessione->Errors().assign(
                1, ProviderError{e.Description(), e.Source(), e.SqlState(), e.ResultCode()});
        }
        throw;
    }
}

DatabaseCondition DatabaseConditionOf(const std::exception_ptr& error) noexcept {
    try {
        std::rethrow_exception(error);
    } catch (const DbError& e) {
        return e.Condition();
    } catch (...) {
        return DatabaseCondition::None;
    }
}

void HandleFailure(NsoState& state, std::string_view routine, const std::exception_ptr& error,
                   const GuardOptions& options) {
    if (options.beforeHandler) {
        try {
            options.beforeHandler();
        } catch (...) {
        }
    }
    state.Stato = options.stato;
    const PendingError pending = DescribeException(error);
    state.lastFailureDescription = pending.description;
    state.lastDatabaseCondition = DatabaseConditionOf(error);
    NoteDatabaseFault(state, error);
    FormattaErrore(state, routine, pending);
    if (options.restorePointer) {
        ShowBusyPointer(state, false);
    }
}

} // namespace kvad::nso
