#pragma once
// OnProgress shown as a bar on a terminal and as plain lines otherwise.

#include <cstdint>
#include <string>

namespace nsoapp {

class ProgressView {
  public:
    /// `waiting` is printed for an event without a maximum (the operation has not started).
    explicit ProgressView(std::string waiting);

    void Show(std::int32_t current, std::int32_t maximum, const std::string& message);
    /// Ends the bar's line, if one was drawn.
    void End();
    /// The maximum of the last event.
    [[nodiscard]] std::int32_t Maximum() const { return maximum_; }

  private:
    std::string waiting_;
    bool terminal_;
    bool drawn_ = false;
    std::int32_t maximum_ = 0;
};

} // namespace nsoapp
