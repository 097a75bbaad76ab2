#pragma once
// The one failure path: every routine with an error trap runs its body inside Guard. An error
// stops the body at the failing statement; the handler sets Stato, formats Errore under the
// routine's name and clears the error, and the caller resumes normally.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "frame/nso_state.h"

namespace kvad::nso {

/// The error that is pending when the handler runs (number 0: none).
struct PendingError {
    std::int32_t number = 0;
    std::string description;
    std::string source;
};

/// Describes a caught exception as the runtime's pending error.
[[nodiscard]] PendingError DescribeException(const std::exception_ptr& error);

/// Writes the error text of a routine into Errore and clears the connection's error list:
/// "Routine: " + name, then the pending error's number, description and source, then the
/// provider's first error (description, source and SQL state separated by lone CRs).
void FormattaErrore(NsoState& state, std::string_view routine, const PendingError& pending = {});

/// The user-visible text of a numbered message: the host's text, or "[x" + number + "x] " +
/// the default text without a host object or for a number below 1, or the default text alone
/// when asking the host fails. With doubleQuotes = 1 every "'" is doubled.
[[nodiscard]] std::string TestoMessaggio(NsoState& state, const std::string& defaultText,
                                         std::int32_t number,
                                         const VariantArray* parameters = nullptr,
                                         std::int16_t doubleQuotes = 0);

/// Handler variations of a few routines.
struct GuardOptions {
    /// The state a failure sets (kaErrFormatoDB for FormatoDB).
    kaEnumNSOErrStato stato = kaErrVB;
    /// Restore the default mouse pointer (RecuperaOrdiniNSO, GetXML, AggiornaRiferimenti).
    bool restorePointer = false;
    /// Runs first in the handler (ImportaDocumenti rolls back its transaction).
    std::function<void()> beforeHandler;
};

/// True when the error is the database failing (disk full, read-only, locked, I/O, a lost
/// connection, a statement it cannot run) rather than refusing a value of the data (SQL state
/// class 22: a date, number or text it cannot convert or hold).
[[nodiscard]] bool IsDatabaseFault(const std::exception_ptr& error) noexcept;

/// The database condition a DbError carries; None for any other error.
[[nodiscard]] DatabaseCondition DatabaseConditionOf(const std::exception_ptr& error) noexcept;

/// Counts a database fault that a routine caught itself instead of ending through the failure
/// path (the download of a document clears its errors).
void NoteDatabaseFault(NsoState& state, const std::exception_ptr& error);

/// Throws again the last database fault the failure path handled, with its entry back in the
/// connection's error list, so that the routine that undid the work ends through its own
/// failure path with the database's text.
[[noreturn]] void RethrowDatabaseFault(NsoState& state);

/// Runs the handler steps for a failure of `routine`; the error's database condition becomes
/// the state's last one.
void HandleFailure(NsoState& state, std::string_view routine, const std::exception_ptr& error,
                   const GuardOptions& options);

/// Runs `body` as routine `routine` under the failure path. Returns true when the body ended
/// normally, false when it failed (the handler has then run).
template <class Body>
bool Guard(NsoState& state, std::string_view routine, Body&& body,
           const GuardOptions& options = {}) {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (...) {
        HandleFailure(state, routine, std::current_exception(), options);
        return false;
    }
}

} // namespace kvad::nso
