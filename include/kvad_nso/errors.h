#pragma once
/// The one exception hierarchy that carries failures between layers. The component's routines
/// catch these at their failure-path guard and turn them into Stato/Errore.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "kvad_nso/enums.h"

namespace kvad {

/// A failure with the runtime's error number, description and source.
class Error : public std::runtime_error {
  public:
    Error(std::int32_t number, const std::string& description, std::string source)
        : std::runtime_error(description), number_(number), source_(std::move(source)) {}

    [[nodiscard]] std::int32_t Number() const noexcept { return number_; }
    [[nodiscard]] std::string Description() const { return what(); }
    [[nodiscard]] const std::string& Source() const noexcept { return source_; }

  private:
    std::int32_t number_;
    std::string source_;
};

/// A run-time error of the component itself (type mismatch, invalid use of Null, overflow,
/// object not set, ...). The source is the component's project name.
class VbError : public Error {
  public:
    VbError(std::int32_t number, const std::string& description)
        : Error(number, description, "KVAD_NSO") {}
};

/// Common run-time errors by their numbers.
namespace vberr {
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kDivisionByZero = 11;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kObjectNotSet = 91;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
inline constexpr std::int32_t kCannotCreateObject = 429;
inline constexpr std::int32_t kInvalidArgument = 5;
} // namespace vberr

[[noreturn]] void ThrowTypeMismatch();
[[noreturn]] void ThrowInvalidUseOfNull();
[[noreturn]] void ThrowOverflow();
[[noreturn]] void ThrowObjectNotSet();

/// The database's own account of a failure, as it travels on a DbError.
struct DbCode {
    /// The extended result code (SQLite's: its primary code in the low byte, e.g. 261 for
    /// SQLITE_BUSY_RECOVERY); 0 when the failure did not come from the database engine (a
    /// statement the translation refuses, a value that does not convert).
    std::int32_t resultCode = 0;
    /// What the failure means for a host that can act on it.
    DatabaseCondition condition = DatabaseCondition::None;
};

/// A failure reported by the database provider: the statement, the provider's message, the SQL
/// state and the database's result code with its condition. The provider's own error list on
/// the connection receives the same entry, as the failure path reads it from there.
class DbError : public Error {
  public:
    /// The runtime error number that a failed provider call raises.
    static constexpr std::int32_t kProviderErrorNumber = -2147217900;

    DbError(const std::string& providerMessage, std::string sqlState, std::string statement,
            std::string source = "KVAD_NSO.SQLite", DbCode code = {})
        : Error(kProviderErrorNumber, providerMessage, std::move(source)),
          sqlState_(std::move(sqlState)), statement_(std::move(statement)), code_(code) {}

    [[nodiscard]] const std::string& SqlState() const noexcept { return sqlState_; }
    [[nodiscard]] const std::string& Statement() const noexcept { return statement_; }
    /// The database's result code and condition, to pass on with the error.
    [[nodiscard]] DbCode Code() const noexcept { return code_; }
    /// The extended result code; 0 when the database engine reported none.
    [[nodiscard]] std::int32_t ResultCode() const noexcept { return code_.resultCode; }
    /// The primary result code: the low byte of the extended one (SQLITE_BUSY is 5).
    [[nodiscard]] std::int32_t PrimaryResultCode() const noexcept {
        return code_.resultCode & 0xff;
    }
    [[nodiscard]] DatabaseCondition Condition() const noexcept { return code_.condition; }

  private:
    std::string sqlState_;
    std::string statement_;
    DbCode code_;
};

} // namespace kvad
