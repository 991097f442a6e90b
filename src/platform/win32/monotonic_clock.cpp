#include "platform/monotonic_clock.h"

#include <windows.h>

namespace zv::platform {

// The tick count is kept by the system in memory shared with every process;
// reading it is a load, not a system call.
std::uint64_t CoarseMonotonicMilliseconds() noexcept { return GetTickCount64(); }

}  // namespace zv::platform
