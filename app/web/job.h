#pragma once
// A long action of a clerk (fetch, process, import) run on a thread of its own, followed by the
// browser through Server-Sent Events: its progress, what it waits for, and its outcome as HTML.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace nsoweb {

/// What a job shows at one moment.
struct JobState {
    std::int64_t version = 0; ///< grows with every change
    std::string title;        ///< "Import of the selection"
    std::int32_t current = 0;
    std::int32_t maximum = 0;
    std::string step;    ///< the component's progress text
    std::string waiting; ///< what it waits for, "" when it does not wait
    bool done = false;
    bool failed = false;
    std::string outcome; ///< the summary, as HTML, once done
};

class Job {
  public:
    explicit Job(std::string title);

    void Progress(std::int32_t current, std::int32_t maximum, const std::string& step);
    /// `what` is why the job waits ("another nso import of company 1 is running ..."), "" when
    /// it waits no longer.
    void Waiting(const std::string& what);
    void Finish(std::string outcomeHtml, bool failed);

    [[nodiscard]] JobState State() const;
    /// The state once its version is past `seen`, or as it is after `timeout`.
    [[nodiscard]] JobState WaitForChange(std::int64_t seen,
                                         std::chrono::milliseconds timeout) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    JobState state_;
};

} // namespace nsoweb
