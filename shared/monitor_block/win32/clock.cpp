#include "monitor_block/clock.h"

#include <windows.h>

namespace zv::monitor_block {

// The tick count is kept by the system in memory shared with every process;
// reading it is a load, not a system call.
std::uint64_t MonotonicMilliseconds() noexcept { return GetTickCount64(); }

}  // namespace zv::monitor_block
