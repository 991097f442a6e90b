#include "platform/sleep.h"

#include <ctime>

#include "common/posix/system_calls.h"

namespace zv::platform {

void SleepMilliseconds(unsigned milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  // A signal cuts the sleep short; the rest is slept.
  common::RetryOnInterrupt([&] { return nanosleep(&left, &left); });
}

}  // namespace zv::platform
