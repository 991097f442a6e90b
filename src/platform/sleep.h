// Pausing the calling thread.
#pragma once

namespace zv::platform {

// Suspends the calling thread for about `milliseconds` without using the CPU.
void SleepMilliseconds(unsigned milliseconds);

}  // namespace zv::platform
