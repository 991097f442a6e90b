#include "platform/sleep.h"

#include <cerrno>
#include <ctime>

namespace zv::platform {

void SleepMilliseconds(unsigned milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  // A signal cuts the sleep short; sleep the rest.
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace zv::platform
