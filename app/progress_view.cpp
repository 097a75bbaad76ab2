#include "app/progress_view.h"

#include <unistd.h>

#include <iostream>

#include "app/terminal_text.h"
#include "kvad_nso/text.h"

namespace nsoapp {

ProgressView::ProgressView(std::string waiting)
    : waiting_(std::move(waiting)), terminal_(isatty(STDOUT_FILENO) != 0) {}

void ProgressView::Show(std::int32_t current, std::int32_t maximum, const std::string& message) {
    if (maximum == 0) {
        std::cout << waiting_ << "\n" << std::flush;
        return;
    }
    maximum_ = maximum;
    if (!terminal_) {
        // Line by line, so that a log or a pipe follows the operation as it goes.
        std::cout << "[" << current << "/" << maximum << "] " << Printable(message) << "\n"
                  << std::flush;
        return;
    }
    constexpr int kWidth = 30;
    const int done = static_cast<int>(static_cast<long long>(current) * kWidth / maximum);
    std::cout << "\r\033[K[" << std::string(static_cast<std::size_t>(done), '#')
              << std::string(static_cast<std::size_t>(kWidth - done), '.') << "] " << current << "/"
              << maximum << " " << kvad::Utf8Left(Printable(message), 60) << std::flush;
    drawn_ = true;
}

void ProgressView::End() {
    if (drawn_) {
        std::cout << "\n";
        drawn_ = false;
    }
}

} // namespace nsoapp
