#pragma once
// What the benchmarks measure with: the wall and CPU time of a piece of work and the process's
// peak memory; and the main of a benchmark, which reports a failure on stderr with status 1.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>

namespace bench {

using Clock = std::chrono::steady_clock;

/// What a piece of work cost.
struct Timing {
    double wallMs = 0;
    double cpuMs = 0;
    double peakMb = 0; ///< the process's peak memory when the work ended
};

/// CPU time the process has used, in milliseconds.
inline double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

/// Wall time since `start`, in milliseconds.
inline double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

/// The process's peak resident memory so far, in MB.
inline double PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

/// Starts the process's peak resident memory afresh (Linux: /proc/self/clear_refs), so that the
/// peak read next is that of the work since. False when the system does not allow it.
inline bool ResetPeak() {
    std::FILE* file = std::fopen("/proc/self/clear_refs", "w");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fputs("5", file) >= 0;
    return std::fclose(file) == 0 && written;
}

/// The process's peak resident memory since the last ResetPeak (VmHWM), in MB; the peak of
/// the whole run when it cannot be read.
inline double PeakSinceResetMb() {
    std::FILE* file = std::fopen("/proc/self/status", "r");
    if (file == nullptr) {
        return PeakMb();
    }
    char line[256];
    double kb = -1;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::sscanf(line, "VmHWM: %lf kB", &kb) == 1) {
            break;
        }
    }
    std::fclose(file);
    return kb < 0 ? PeakMb() : kb / 1024.0;
}

/// Runs `work` and tells what it cost.
template <class Work> Timing Time(Work&& work) {
    const auto wall = Clock::now();
    const double cpu = CpuMs();
    work();
    return {MsSince(wall), CpuMs() - cpu, PeakMb()};
}

/// Tells a `perf record --control fifo:FIFO -D -1` started with KVAD_PERF_CTL=FIFO to record (true)
/// or to stop (false), so that a profile holds only the work measured; nothing without it.
inline void ProfileWindow(bool open) {
    const char* fifo = std::getenv("KVAD_PERF_CTL");
    if (fifo == nullptr || *fifo == '\0') {
        return;
    }
    if (std::FILE* control = std::fopen(fifo, "w"); control != nullptr) {
        std::fputs(open ? "enable\n" : "disable\n", control);
        std::fclose(control);
    }
}

/// Runs a benchmark's body: its status, or 1 with the message of an error it throws.
template <class Body> int Main(Body&& body) {
    try {
        return body();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

} // namespace bench
