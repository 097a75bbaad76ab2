#include "app/progress_view.h"

#include <unistd.h>

#include <iostream>

#include "app/terminal_text.h"
#include "kvad_nso/text.h"

namespace nsoapp {

ProgressView::ProgressView(std::string waiting, Channel channel)
    : waiting_(std::move(waiting)),
      out_(channel == Channel::Stdout                                     ? &std::cout
           : channel == Channel::BesideJson && isatty(STDERR_FILENO) != 0 ? &std::cerr
                                                                          : nullptr),
      terminal_(out_ != nullptr &&
                isatty(channel == Channel::Stdout ? STDOUT_FILENO : STDERR_FILENO) != 0) {}

ProgressView::~ProgressView() {
    End();
}

void ProgressView::Follow(kvad::CLSIE_NSO& nso) {
    End();
    followed_ = &nso;
    token_ = nso.AddOnProgress([this](kvad::kaenumTipoOperazione&, std::int32_t& current,
                                      std::int32_t& maximum,
                                      std::string& message) { Show(current, maximum, message); });
}

void ProgressView::Show(std::int32_t current, std::int32_t maximum, const std::string& message) {
    if (out_ == nullptr) {
        maximum_ = maximum == 0 ? maximum_ : maximum;
        return;
    }
    if (maximum == 0) {
        *out_ << waiting_ << "\n" << std::flush;
        return;
    }
    maximum_ = maximum;
    if (!terminal_) {
        // Line by line, so that a log or a pipe follows the operation as it goes.
        *out_ << "[" << current << "/" << maximum << "] " << Printable(message) << "\n"
              << std::flush;
        return;
    }
    constexpr int kWidth = 30;
    const int done = static_cast<int>(static_cast<long long>(current) * kWidth / maximum);
    *out_ << "\r\033[K[" << std::string(static_cast<std::size_t>(done), '#')
          << std::string(static_cast<std::size_t>(kWidth - done), '.') << "] " << current << "/"
          << maximum << " " << kvad::Utf8Left(Printable(message), 60) << std::flush;
    drawn_ = true;
}

void ProgressView::End() {
    if (followed_ != nullptr) {
        followed_->RemoveOnProgress(token_);
        followed_ = nullptr;
    }
    if (drawn_) {
        *out_ << "\n";
        drawn_ = false;
    }
}

} // namespace nsoapp
