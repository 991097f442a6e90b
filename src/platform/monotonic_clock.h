// The machine's monotonic clock, read cheaply.
#pragma once

#include <cstdint>

namespace zv::platform {

// Milliseconds of the clock that every process of the machine reads alike
// and that no one sets (Linux CLOCK_MONOTONIC, Windows GetTickCount64), the
// clock of the monitor's heartbeat. Read the cheap way, it may lag the
// precise reading by one tick of the system's timer (a few milliseconds,
// 16 at most on Windows).
std::uint64_t CoarseMonotonicMilliseconds() noexcept;

}  // namespace zv::platform
