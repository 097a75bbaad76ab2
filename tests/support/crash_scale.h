#pragma once
// How much of their full size the crash and fault-injection tests run. They kill or fail nso
// many times over; in a sanitized build every run is several times slower, so there they run a
// tenth of their rounds and sizes. KVAD_CRASH_SCALE=F (0 < F <= 1) chooses the share.

namespace kvad::test {

/// KVAD_CRASH_SCALE when it is a share in (0, 1], else the build's default (1, or 0.1 when
/// built with the sanitizers).
[[nodiscard]] double CrashScale();

/// `full` times CrashScale(), rounded, and never below `least`.
[[nodiscard]] int CrashScaled(int full, int least = 1);

/// Whether the n-th of a test's injected failures or kill points (from 1) is tried: every one at
/// full size; scaled down, the first and then one in 1 / CrashScale().
[[nodiscard]] bool CrashSampled(int n);

} // namespace kvad::test
