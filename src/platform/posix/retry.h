// The EINTR idiom of system calls, written once.
#pragma once

#include <cerrno>

namespace zv::platform {

// Calls `call` (a system call returning -1 with errno set on failure) again
// for as long as a signal interrupts it; returns its first other result.
template <typename Call>
auto RetryOnInterrupt(Call call) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

}  // namespace zv::platform
