#pragma once
// How nso tells a failure: one plain line saying what happened and what to do, on stderr after
// "nso: ", with the component's or the database's own text beneath it when --verbose is given;
// and the exit status that goes with it.

#include <exception>
#include <stdexcept>
#include <string>

#include "kvad_nso/enums.h"
#include "kvad_nso/errors.h"

namespace nsoapp {

/// Exit statuses of nso (the README lists them).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    ///< the command failed; the message says why
inline constexpr int kExitUsage = 2;     ///< bad command line or settings file
inline constexpr int kExitNotLoaded = 3; ///< the fetch ran, but documents could not be loaded
/// `nso run` went through, but orders are left for a clerk: verification found errors in them or
/// their import failed.
inline constexpr int kExitForClerk = 4;

/// A failure told to the user.
class Failure : public std::runtime_error {
  public:
    /// `message` is the plain line; `detail` the text beneath it with --verbose.
    explicit Failure(const std::string& message, std::string detail = {},
                     int exitCode = kExitFailed);

    [[nodiscard]] const std::string& Detail() const noexcept { return detail_; }
    [[nodiscard]] int ExitCode() const noexcept { return exitCode_; }

  private:
    std::string detail_;
    int exitCode_;
};

/// The plain line for a condition of the database that a user can meet and act on (read-only,
/// busy, full, not a database, cannot be opened, written by a newer nso); "" for none.
[[nodiscard]] std::string DatabaseTrouble(kvad::DatabaseCondition condition,
                                          const std::string& database);
/// The same for the condition a database error carries; "" for any other error.
[[nodiscard]] std::string DatabaseTrouble(const std::exception& error, const std::string& database);

/// What to throw for a failure that `message` tells: when the component's last failure was a
/// condition of the database (its LastDatabaseCondition), the plain line for it with `message`
/// beneath; else `message` itself.
[[nodiscard]] Failure ComponentFailure(kvad::DatabaseCondition condition,
                                       const std::string& database, const std::string& message);

/// The database error with `context` before its text, its code and condition kept, so that the
/// failure is still told by its condition.
[[nodiscard]] kvad::DbError WithContext(const kvad::DbError& error, const std::string& context);

/// A failure as nso tells it: the plain line, the text beneath it and the exit status.
struct ToldFailure {
    std::string message;
    std::string detail;
    int exitCode = kExitFailed;
};

/// How nso tells `error`: a Failure as it says; a read-model call whose component method failed
/// by what it was for; a database condition in plain words with the database's text beneath;
/// any other error by its text.
[[nodiscard]] ToldFailure TellFailure(const std::exception& error, const std::string& database);

/// Whether a JSON document has been printed (app/json_output.cpp): a command prints one at most.
[[nodiscard]] bool JsonPrinted() noexcept;

/// Prints the JSON document of a command that failed before it had a document of its own,
/// `{failure, exit_status}` (app/json_output.cpp, the unit that knows JSON).
void PrintFailureJson(const std::string& failure, int exitStatus);

/// Prints the failure as nso tells failures (TellFailure) on stderr and returns its exit status.
/// With `json` (the command was given --json) and no JSON document printed yet, the document
/// {failure, exit_status} goes to stdout too.
int ReportFailure(const std::exception& error, bool verbose, const std::string& database,
                  bool json = false);

} // namespace nsoapp
