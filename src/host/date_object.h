#pragma once
// The framework's date object (ZEFO_ClsStd.CLSFW_Date).

#include <optional>
#include <string>

#include "kvad_nso/date_time.h"
#include "kvad_nso/host.h"

namespace kvad::host {

/// Reads ISO or Italian day/month/year text; DBFormat gives 'YYYY-MM-DD HH:MM:SS'.
class StandInDate final : public DateObject {
  public:
    /// Error indicator of a text that is not a date (and of an object never set).
    static constexpr std::int32_t kInvalidDate = 1;

    void SetValue(const std::string& text) override;
    [[nodiscard]] std::int32_t ErrorIndicator() const override;
    /// Throws VbError 13 when the value set is not a valid date.
    [[nodiscard]] std::string DBFormat() const override;

  private:
    std::optional<DateTime> value_;
};

} // namespace kvad::host
