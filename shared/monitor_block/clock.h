// The clock of the block's heartbeat, which the monitor stamps and every
// reader compares with.
#pragma once

#include <cstdint>

namespace zv::monitor_block {

// Milliseconds of the clock that every process of the machine reads alike
// and that no one sets (Linux CLOCK_MONOTONIC, Windows GetTickCount64). Read
// the cheap way, it may lag the precise reading by one tick of the system's
// timer (a few milliseconds, 16 at most on Windows): far below the
// heartbeat's slack.
std::uint64_t MonotonicMilliseconds() noexcept;

}  // namespace zv::monitor_block
