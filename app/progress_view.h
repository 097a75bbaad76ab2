#pragma once
// The component's OnProgress shown as a bar on a terminal and as plain lines otherwise.

#include <cstdint>
#include <iosfwd>
#include <string>

#include "kvad_nso/clsie_nso.h"

namespace nsoapp {

class ProgressView {
  public:
    /// Where the progress goes.
    enum class Channel {
        Stdout,     ///< a bar on a terminal, else one line per event
        BesideJson, ///< stdout carries a JSON document: a bar on stderr when it is a terminal
        Quiet,      ///< nothing shown (a program that times the phases)
    };

    /// `waiting` is printed for an event without a maximum (the operation has not started).
    explicit ProgressView(std::string waiting, Channel channel = Channel::Stdout);
    /// Stops following the component, if it does.
    ~ProgressView();
    ProgressView(const ProgressView&) = delete;
    ProgressView& operator=(const ProgressView&) = delete;
    ProgressView(ProgressView&&) = delete;
    ProgressView& operator=(ProgressView&&) = delete;

    /// Shows every OnProgress event of `nso` until End or the view's end.
    void Follow(kvad::CLSIE_NSO& nso);
    void Show(std::int32_t current, std::int32_t maximum, const std::string& message);
    /// Ends the bar's line, if one was drawn, and stops following the component.
    void End();
    /// The maximum of the last event.
    [[nodiscard]] std::int32_t Maximum() const { return maximum_; }

  private:
    std::string waiting_;
    std::ostream* out_;
    bool terminal_;
    bool drawn_ = false;
    std::int32_t maximum_ = 0;
    kvad::CLSIE_NSO* followed_ = nullptr;
    int token_ = 0;
};

} // namespace nsoapp
