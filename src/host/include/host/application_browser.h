#pragma once
// The framework's application browser (ZEFO_RESOURCE.CLSFW_APPLICATION_BROWSER): opens a file
// in the configured viewer program.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "kvad_nso/host.h"

namespace kvad::host {

/// The full path of a program: a name with a '/' is taken as it is, a bare name is looked up
/// on PATH. Empty when it is not an executable file.
[[nodiscard]] std::string FindProgram(const std::string& program);

class StandInApplicationBrowser final : public ApplicationBrowser {
  public:
    /// `viewer`: program name or path; it gets the file's path as its one argument.
    explicit StandInApplicationBrowser(std::string viewer) : viewer_(std::move(viewer)) {}
    StandInApplicationBrowser(const StandInApplicationBrowser&) = delete;
    StandInApplicationBrowser& operator=(const StandInApplicationBrowser&) = delete;
    StandInApplicationBrowser(StandInApplicationBrowser&&) = delete;
    StandInApplicationBrowser& operator=(StandInApplicationBrowser&&) = delete;
    ~StandInApplicationBrowser() override;

    /// True when the viewer program exists and can be run.
    [[nodiscard]] bool IsInstalled() override;
    /// Starts the viewer on the file in a session of its own and does not wait for it.
    /// Throws VbError 53 when the viewer is missing, VbError 5 when it cannot be started,
    /// VbError 91 after Dispose.
    void OpenWithFile(TextFile& file) override;
    /// Collects viewers that have already ended; later calls need a new object.
    void Dispose() override;

  private:
    void ReapEnded() noexcept;

    std::string viewer_;
    bool disposed_ = false;
    std::vector<pid_t> started_;
};

} // namespace kvad::host
