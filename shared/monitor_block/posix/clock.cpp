#include "monitor_block/clock.h"

#include <ctime>

namespace zv::monitor_block {

// The coarse clock is CLOCK_MONOTONIC as of the last timer tick: read from
// the vDSO without a system call or a hardware counter.
std::uint64_t MonotonicMilliseconds() noexcept {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000U +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000U;
}

}  // namespace zv::monitor_block
