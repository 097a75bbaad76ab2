#include "app/web/job.h"

#include <utility>

namespace nsoweb {

Job::Job(std::string title) {
    state_.title = std::move(title);
}

void Job::Progress(std::int32_t current, std::int32_t maximum, const std::string& step) {
    const std::lock_guard lock(mutex_);
    state_.current = current;
    state_.maximum = maximum;
    state_.step = step;
    ++state_.version;
    changed_.notify_all();
}

void Job::Waiting(const std::string& what) {
    const std::lock_guard lock(mutex_);
    if (state_.waiting == what) {
        return;
    }
    state_.waiting = what;
    ++state_.version;
    changed_.notify_all();
}

void Job::Finish(std::string outcomeHtml, bool failed) {
    const std::lock_guard lock(mutex_);
    state_.outcome = std::move(outcomeHtml);
    state_.failed = failed;
    state_.done = true;
    state_.waiting.clear();
    ++state_.version;
    changed_.notify_all();
}

JobState Job::State() const {
    const std::lock_guard lock(mutex_);
    return state_;
}

JobState Job::WaitForChange(std::int64_t seen, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return state_.version > seen; });
    return state_;
}

} // namespace nsoweb
